#pragma once
// Import of a Mazda engine computer's data log: six words per sample, no
// header, line ends only white space.

#include <filesystem>
#include <string_view>

#include "datalogs/log_file.h"
#include "datalogs/log_sample.h"

namespace veloquin {

// Replaces the log with the samples of a Mazda log's text, marks it as a
// Mazda log and shows the six channels such a log carries.
LogReadResult read_mazda_text(LogBuffer& log, std::string_view text);

// The same from a file; a file that cannot be read leaves the log unchanged.
LogReadResult mazda_read_file(LogBuffer& log, const std::filesystem::path& path);

// Which readers "Load Log File" runs for a path: the log reader when the
// path contains ".log", the Mazda import when it contains ".mdl" (both, in
// that order, when it contains both). Case matters: "TRIP.MDL" picks neither.
struct LogReaderChoice {
    bool log_file = false;
    bool mazda = false;
};
LogReaderChoice choose_log_readers(std::string_view path);

// Runs the chosen readers. A path that picks neither is refused with a
// message and leaves the log unchanged.
LogReadResult load_log_by_name(LogBuffer& log, const std::filesystem::path& path,
                               const LogReadProgress& progress = {});

}  // namespace veloquin
