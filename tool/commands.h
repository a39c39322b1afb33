#pragma once
// Command groups of veloquin-tool. Each group parses its own arguments and
// returns the exit code: 0 success, 1 a negative answer (such as "files differ"),
// 2 a usage, file or device error, always with a message on stderr.

#include <span>
#include <string>

namespace veloquin {
struct LogBuffer;
}

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
int run_log_learn(Args args);  // log learn: a map learnt from a log, applied to a file

// Reads a log file for a command, by the program's name rules or, under any
// other name, by its header; false (and a message on stderr) when it cannot
// be read or holds more than the log can.
bool load_log_for_tool(const std::string& path, LogBuffer& log);

// "veloquin-tool: <message>" on stderr, then kExitError.
int fail(const std::string& message);

}  // namespace veloquin::tool
