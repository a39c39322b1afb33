#pragma once
// The desktop program's command line, and the names of the screenshots it
// can write.

#include <string>
#include <string_view>
#include <vector>

#include "base/page.h"
#include "calibration/calibration.h"

namespace veloquin {

struct ProgramOptions {
    std::string file;                // a calibration, or a log by its ".log" / ".mdl"
    std::vector<std::string> ports;  // --port PATH, first in the port table
    bool simulate = false;
    std::string screenshots_dir;
    std::string compare;  // --compare FILE: compare with it from the start
    std::string workdir;  // --workdir DIR: the start files and folders in DIR
    bool learn = false;   // --learn: "Learn from log..." on the log FILE from the start
    bool log_bench =
        false;             // --log-bench: the histogram, scatter and a second copy of the log FILE
    int record_limit = 0;  // --record-limit N: samples a recording keeps at most; 0: no limit
    bool help = false;
    bool version = false;
    std::string error;  // nonempty: the command line could not be understood
};

ProgramOptions parse_program_options(const std::vector<std::string>& args);
std::string program_usage(std::string_view program_name);

// Whether a file named on the command line is a log (loaded as "Load Log
// File" would) rather than a calibration.
bool names_a_log(std::string_view path);

// "01-parameters.png": the page's number in the edition, a dash, and the
// navigation text in lower case with every run of other characters than
// letters and digits made one dash.
std::string screenshot_file_name(Page page, Edition edition);
// "compare-maf-emulation.png": a page taken while comparing.
std::string comparison_screenshot_file_name(Page page);

}  // namespace veloquin
