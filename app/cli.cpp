#include "app/cli.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "editors/pages.h"

namespace veloquin {

ProgramOptions parse_program_options(const std::vector<std::string>& args) {
    ProgramOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--version") {
            o.version = true;
        } else if (a == "--simulate") {
            o.simulate = true;
        } else if (a == "--learn") {
            o.learn = true;
        } else if (a == "--log-bench") {
            o.log_bench = true;
        } else if (a == "--port" || a == "--screenshots" || a == "--compare" || a == "--workdir" ||
                   a == "--record-limit") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                o.error = a + " wants a value";
                return o;
            }
            if (a == "--port") {
                o.ports.push_back(args[++i]);
            } else if (a == "--compare") {
                o.compare = args[++i];
            } else if (a == "--workdir") {
                o.workdir = args[++i];
            } else if (a == "--record-limit") {
                const std::string& n = args[++i];
                char* end = nullptr;
                const long v = std::strtol(n.c_str(), &end, 10);
                if (*end != '\0' || v < 0 || v > 100000000) {
                    o.error = "--record-limit wants a number of samples (0: no limit), not " + n;
                    return o;
                }
                o.record_limit = static_cast<int>(v);
            } else {
                o.screenshots_dir = args[++i];
            }
        } else if (a.size() > 1 && a[0] == '-') {
            o.error = "unknown option " + a;
            return o;
        } else if (!o.file.empty()) {
            o.error = "only one file can be opened, not both " + o.file + " and " + a;
            return o;
        } else {
            o.file = a;
        }
    }
    return o;
}

std::string program_usage(std::string_view program_name) {
    std::string name(program_name);
    return "usage: " + name +
           " [OPTIONS] [FILE]\n"
           "\n"
           "FILE ending in .log or .mdl is loaded into the log viewer; any other FILE\n"
           "is opened as a calibration.\n"
           "\n"
           "  --port PATH        try this serial device first (may be repeated)\n"
           "  --simulate         start a simulated device and connect to it\n"
           "  --compare FILE     compare the calibration with FILE from the start\n"
           "  --workdir DIR      keep default.cfg, workmap.cfg and the maps, settings,\n"
           "                     logs and firmware folders in DIR\n"
           "  --record-limit N   end a recording after N samples (default: no limit;\n"
           "                     every recording is also written as it arrives to\n"
           "                     logs/YYYY-MM-DD_HH-MM-SS.log)\n"
           "  --learn            learn the maps from the log FILE (Tools > Learn from log)\n"
           "  --log-bench        open the log histogram and the scatter on the log FILE\n"
           "                     and compare it with itself, moved by two seconds\n"
           "  --screenshots DIR  write a PNG of every page into DIR, then quit\n"
           "  --version          show the version\n"
           "  --help             show this help\n";
}

bool names_a_log(std::string_view path) {
    return path.find(".log") != std::string_view::npos ||
           path.find(".mdl") != std::string_view::npos;
}

namespace {

// The navigation text in lower case, every run of other characters than
// letters and digits made one dash.
std::string page_slug(Page page) {
    std::string name;
    bool dash = false;
    for (const char c : page_title(page)) {
        if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
            if (dash && !name.empty()) name += '-';
            name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            dash = false;
        } else {
            dash = true;
        }
    }
    return name;
}

}  // namespace

std::string screenshot_file_name(Page page, Edition edition) {
    char number[8];
    std::snprintf(number, sizeof number, "%02d", page_number(page, edition).value_or(0));
    return std::string(number) + "-" + page_slug(page) + ".png";
}

std::string comparison_screenshot_file_name(Page page) {
    return "compare-" + page_slug(page) + ".png";
}

}  // namespace veloquin
