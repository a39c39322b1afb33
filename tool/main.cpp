// veloquin-tool: the headless companion of the program, built from the same
// libraries, for scripts and for working without a desktop.

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "tool/commands.h"

namespace veloquin::tool {

int fail(const std::string& message) {
    std::fprintf(stderr, "veloquin-tool: %s\n", message.c_str());
    return kExitError;
}

namespace {

struct Group {
    std::string_view name;
    int (*run)(Args);
    std::string_view usage;
};

// One line per command group; each group lists its own commands on `help`.
constexpr Group kGroups[] = {
    {"cal", run_cal,
     "cal normalize IN OUT | cal diff A B | cal show IN [--json] | cal factory OUT |\n"
     "         cal op smooth|extrapolate|replicate-fuel IN OUT |\n"
     "         cal op knock-from-log --log LOG IN OUT |\n"
     "         cal op interpolate --table TABLE (--rows A:B --cols C:D | --points A:B) IN OUT"},
    {"device", run_device,
     "device list | device info --port P | device download --port P OUT |\n"
     "         device upload --port P IN | device watch --port P [--count N] [--every MS] |\n"
     "         device record --port P OUT.log [--pass] [--seconds N] |\n"
     "         device flash --port P FILE.frw"},
    {"log", run_log,
     "log convert IN OUT (.log, .mdl, .csv or .msl into .log, .csv or .msl) | log stats IN |\n"
     "         log markers LOG (the markers kept beside LOG: sample, time, text) |\n"
     "         log learn LOG CAL OUT [--map maf|fuel] [filters] [--json]\n"
     "           (the map learnt from a recorded log, written into OUT; log learn --help) |\n"
     "         log histogram LOG CAL --map maf|fuel|meth|boost --channel NAME [--stat S]\n"
     "           [filters] [--where EXPR]... (--json | --tsv)\n"
     "           (a channel gathered onto a map's cells; log histogram --help)"},
    {"devsim", run_devsim,
     "devsim [options] (a simulated device on a pseudo-terminal; devsim --help)"},
};

void print_usage(std::FILE* out) {
    std::fprintf(out, "usage: veloquin-tool COMMAND ...\n\ncommands:\n");
    for (const auto& g : kGroups) {
        std::fprintf(out, "  %.*s\n", static_cast<int>(g.usage.size()), g.usage.data());
    }
}

}  // namespace
}  // namespace veloquin::tool

int main(int argc, char** argv) {
    using namespace veloquin::tool;
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        print_usage(stderr);
        return kExitError;
    }
    if (args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
        print_usage(stdout);
        return kExitOk;
    }
    for (const auto& g : kGroups) {
        if (args[0] == g.name) return g.run(Args(args).subspan(1));
    }
    print_usage(stderr);
    return fail("unknown command '" + args[0] + "'");
}
