// veloquin-tool log: convert data logs and summarise them.

#include <cstdio>
#include <filesystem>
#include <string>

#include "datalogs/log_exchange.h"
#include "datalogs/log_file.h"
#include "datalogs/log_import.h"
#include "datalogs/log_markers.h"
#include "datalogs/log_sample.h"
#include "datalogs/log_stats.h"
#include "datalogs/mazda_import.h"
#include "tool/commands.h"
#include "tool/headless_platform.h"

namespace veloquin::tool {
namespace {

constexpr const char* kUsage =
    "usage: veloquin-tool log convert IN OUT | log stats IN | log markers LOG |\n"
    "       log learn LOG CAL OUT ... (log learn --help) |\n"
    "       log histogram LOG CAL --map M --channel NAME ... (log histogram --help)";

// Reads IN by the program's name rules ("Load Log File"), a table by its
// extension. The program goes
// by the name alone; a script may hand over a log under any name, so a file
// whose name picks neither reader is still read when it has the log header.
LogReadResult read_any_log(const std::string& path, LogBuffer& log) {
    if (log_format_of(path) != LogFormat::log) return load_any_log(log, path);
    const LogReaderChoice choice = choose_log_readers(path);
    if (choice.log_file || choice.mazda) return load_log_by_name(log, path);
    LogReadResult refused = load_log_by_name(log, path);
    std::string bytes;
    if (!read_log_bytes(path, bytes, refused.message)) return refused;
    if (!sniff_log_file(bytes)) return refused;
    return read_log_text(log, bytes);
}

}  // namespace

// A log read only in part is refused: a conversion must not drop samples
// without anyone noticing.
bool load_log_for_tool(const std::string& path, LogBuffer& log) {
    const LogReadResult r = read_any_log(path, log);
    if (!r.ok) {
        fail(r.message);
        return false;
    }
    if (r.cut) {
        fail(path + ": " + r.message + "; nothing was converted");
        return false;
    }
    if (!r.message.empty()) {
        std::fprintf(stderr, "veloquin-tool: %s: %s\n", path.c_str(), r.message.c_str());
    }
    return true;
}

namespace {

int convert(const std::string& in, const std::string& out) {
    LogBuffer log;
    if (!load_log_for_tool(in, log)) return kExitError;
    const LogWriteResult w = write_log_as(log, out, system_local_time());
    if (!w.ok) return fail(w.message);
    std::printf("%d samples written to %s\n", log.count, out.c_str());
    return kExitOk;
}

int stats(const std::string& in) {
    LogBuffer log;
    if (!load_log_for_tool(in, log)) return kExitError;
    const LogStats s = compute_log_stats(log);
    std::printf("samples: %d%s\n", s.count, log.mazda_log ? " (Mazda log)" : "");
    if (s.has_times) {
        std::printf("duration: %.3f s\n", static_cast<double>(s.duration_ms) / 1000.0);
    } else {
        std::printf("duration: unknown (the file carries no sample times)\n");
    }
    if (s.columns.empty()) return kExitOk;
    std::printf("%-10s %14s %14s %14s\n", "column", "min", "max", "mean");
    for (const ColumnStats& c : s.columns) {
        std::printf("%-10.*s %14.3f %14.3f %14.3f\n", static_cast<int>(c.name.size()),
                    c.name.data(), c.min, c.max, c.mean);
    }
    return kExitOk;
}

int markers(const std::string& in) {
    LogBuffer log;
    if (!load_log_for_tool(in, log)) return kExitError;
    const std::string problem = read_log_markers(in, log);
    if (log.markers.empty() && !problem.empty()) return fail(problem);
    if (!problem.empty()) std::fprintf(stderr, "veloquin-tool: %s\n", problem.c_str());
    std::printf("%-10s %12s  %s\n", "sample", "time_ms", "text");
    for (const LogMarker& m : log.markers) {
        const auto time = log_marker_time_ms(log, m);
        std::printf("%-10lld %12s  %s\n", static_cast<long long>(m.sample),
                    time ? std::to_string(*time).c_str() : "-", m.text.c_str());
    }
    return kExitOk;
}

}  // namespace

int run_log(Args args) {
    if (args.size() == 3 && args[0] == "convert") return convert(args[1], args[2]);
    if (args.size() == 2 && args[0] == "stats") return stats(args[1]);
    if (args.size() == 2 && args[0] == "markers") return markers(args[1]);
    if (!args.empty() && args[0] == "learn") return run_log_learn(args.subspan(1));
    if (!args.empty() && args[0] == "histogram") return run_log_histogram(args.subspan(1));
    if (args.size() == 1 && (args[0] == "help" || args[0] == "--help")) {
        std::printf("%s\n", kUsage);
        return kExitOk;
    }
    std::fprintf(stderr, "%s\n", kUsage);
    return fail(args.empty() ? "log: missing command" : "log: bad command or arguments");
}

}  // namespace veloquin::tool
