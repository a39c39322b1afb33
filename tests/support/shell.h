#pragma once
// A shell command's standard output, for tests and benchmarks that drive the
// built program with outside tools (xdotool, import).

#include <cstdio>
#include <string>

namespace veloquin::testing {

inline std::string output_of(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
            out += buffer;
        ::pclose(pipe);
    }
    return out;
}

}  // namespace veloquin::testing
