#pragma once
// Command groups of veloquin-tool. Each group parses its own arguments and
// returns the exit code: 0 success, 1 a negative answer (such as "files differ"),
// 2 a usage, file or device error, always with a message on stderr.

#include <span>
#include <string>

namespace veloquin {
struct LogBuffer;
struct LearnFilters;
struct Calibration;
}  // namespace veloquin

namespace veloquin::tool {

using Args = std::span<const std::string>;

inline constexpr int kExitOk = 0;
inline constexpr int kExitNegative = 1;
inline constexpr int kExitError = 2;

int run_cal(Args args);
int run_cal_op(Args args);  // cal op: the editors' map operations on a file
int run_device(Args args);
int run_devsim(Args args);
int run_log(Args args);
int run_log_learn(Args args);      // log learn: a map learnt from a log, applied to a file
int run_log_histogram(Args args);  // log histogram: a channel gathered onto a map's cells

// The learning's filter options (--min-rpm N|off, --trim, ..., --min-samples N),
// shared by every command that filters a log's samples; false with `error` set
// for a bad value or a flag that is none of them.
bool parse_filter_option(const std::string& flag, const std::string& value, LearnFilters& f,
                         std::string& error);

// Reads a log file for a command, by the program's name rules or, under any
// other name, by its header; false (and a message on stderr) when it cannot
// be read or holds more than the log can.
bool load_log_for_tool(const std::string& path, LogBuffer& log);

// Reads a calibration file as the program holds it for working with a log
// (the MAP counts of the map's rows derived from its pressure range); false,
// with a message on stderr, when it cannot be read.
bool read_calibration_for_log(const std::string& path, Calibration& cal);

// "veloquin-tool: <message>" on stderr, then kExitError.
int fail(const std::string& message);

}  // namespace veloquin::tool
