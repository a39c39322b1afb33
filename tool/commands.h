#pragma once
// Command groups of veloquin-tool. Each group parses its own arguments and
// returns the exit code: 0 success, 1 a negative answer (such as "files differ"),
// 2 a usage, file or device error, always with a message on stderr.

#include <span>
#include <string>

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

// "veloquin-tool: <message>" on stderr, then kExitError.
int fail(const std::string& message);

}  // namespace veloquin::tool
