// veloquin-tool devsim: the simulated device on a pseudo-terminal, for trying
// the program without a car and for scripted tests of the tool itself.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "calfile/calibration_file.h"
#include "calibration/conversions.h"
#include "devsim/simulator.h"
#include "tool/commands.h"
#include "tool/edition.h"

namespace veloquin::tool {
namespace {

constexpr const char* kUsage =
    "usage: veloquin-tool devsim [--serial N,N,N,N,N,N,N] [--hw N] [--sw N] [--blank]\n"
    "         [--cal FILE] [--seed N] [--link PATH] [--stream-rate N]\n"
    "         [--stream-limit N] [--start-at MS] [--byte-gap MS] [--verbose]\n"
    "         [--silent] [--wrong-signature] [--noise N] [--drop-every N]\n"
    "         [--refuse-downloads N] [--drop-downloads N] [--refuse-firmware-block N]\n"
    "         [--ignore-uploads] [--vanish-after N]\n"
    "         [--event KIND@TIME[:DURATION]]...\n"
    "  --event plays something on the engine, TIME counted from the device's start,\n"
    "          in s or ms, for DURATION (2s when not given); KIND is one of\n"
    "          overboost  boost surges past the map's top pressure and flutters there\n"
    "          lean       under boost, the mixture goes lean (AFR 14.2)\n"
    "          knock      the knock sensor reads high\n"
    "          e.g. --event overboost@10s --event lean@20s:3s --event knock@25s:500ms";

// A whole decimal number within [lo, hi], or nothing.
bool parse_number(const std::string& text, long lo, long hi, long& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
    out = v;
    return true;
}

bool parse_serial(const std::string& text, std::array<std::uint8_t, 7>& serial) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < serial.size(); ++i) {
        const std::size_t comma = text.find(',', start);
        const bool last = i + 1 == serial.size();
        if (last != (comma == std::string::npos)) return false;
        long v = 0;
        if (!parse_number(text.substr(start, comma - start), 0, 255, v)) return false;
        serial[i] = static_cast<std::uint8_t>(v);
        start = comma + 1;
    }
    return true;
}

struct NumberOption {
    const char* name;
    long lo, hi;
    void (*set)(devsim::SimulatorOptions&, long);
};

constexpr NumberOption kNumberOptions[] = {
    {"--hw", 0, 255,
     [](devsim::SimulatorOptions& o, long v) { o.hardware = static_cast<std::uint8_t>(v); }},
    {"--sw", 0, 255,
     [](devsim::SimulatorOptions& o, long v) { o.software = static_cast<std::uint8_t>(v); }},
    {"--seed", 0, 0xFFFFFFFFL,
     [](devsim::SimulatorOptions& o, long v) { o.seed = static_cast<std::uint32_t>(v); }},
    {"--stream-rate", 1, 100000,
     [](devsim::SimulatorOptions& o, long v) { o.stream_rate = static_cast<double>(v); }},
    {"--stream-limit", 1, 100000000,
     [](devsim::SimulatorOptions& o, long v) { o.stream_limit = static_cast<int>(v); }},
    {"--byte-gap", 0, 1000,
     [](devsim::SimulatorOptions& o, long v) { o.reply_byte_gap_ms = static_cast<int>(v); }},
    {"--start-at", 0, 100000000,
     [](devsim::SimulatorOptions& o, long v) { o.start_at_ms = static_cast<std::uint32_t>(v); }},
    {"--noise", 0, 1000,
     [](devsim::SimulatorOptions& o, long v) { o.noise_bytes = static_cast<int>(v); }},
    {"--drop-every", 1, 1000000,
     [](devsim::SimulatorOptions& o, long v) { o.drop_every = static_cast<int>(v); }},
    {"--refuse-downloads", 0, 1000000,
     [](devsim::SimulatorOptions& o, long v) { o.refuse_downloads = static_cast<int>(v); }},
    {"--drop-downloads", 0, 1000000,
     [](devsim::SimulatorOptions& o, long v) { o.drop_downloads = static_cast<int>(v); }},
    {"--refuse-firmware-block", 0, 1000,
     [](devsim::SimulatorOptions& o, long v) { o.refuse_firmware_block = static_cast<int>(v); }},
    {"--vanish-after", 1, 1000000000,
     [](devsim::SimulatorOptions& o, long v) { o.vanish_after = static_cast<int>(v); }},
};

struct FlagOption {
    const char* name;
    void (*set)(devsim::SimulatorOptions&);
};

constexpr FlagOption kFlagOptions[] = {
    {"--blank", [](devsim::SimulatorOptions& o) { o.blank = true; }},
    {"--silent", [](devsim::SimulatorOptions& o) { o.silent = true; }},
    {"--wrong-signature", [](devsim::SimulatorOptions& o) { o.wrong_signature = true; }},
    {"--ignore-uploads", [](devsim::SimulatorOptions& o) { o.ignore_uploads = true; }},
};

struct Parsed {
    devsim::SimulatorOptions options;
    std::string calibration_file;
    bool verbose = false;
};

// Empty on success, else what was wrong with the arguments.
std::string parse(Args args, Parsed& p) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        bool done = false;
        for (const FlagOption& f : kFlagOptions) {
            if (a == f.name) {
                f.set(p.options);
                done = true;
            }
        }
        if (a == "--verbose") {
            p.verbose = true;
            done = true;
        }
        if (done) continue;
        if (i + 1 >= args.size()) return "unknown option or missing value: " + a;
        const std::string& value = args[++i];
        if (a == "--serial") {
            if (!parse_serial(value, p.options.serial)) {
                return "--serial wants seven numbers 0..255 separated by commas";
            }
            continue;
        }
        if (a == "--event") {
            std::string error;
            const auto event = devsim::parse_engine_event(value, error);
            if (!event) return error;
            p.options.events.push_back(*event);
            continue;
        }
        if (a == "--link") {
            p.options.link = value;
            continue;
        }
        if (a == "--cal") {
            p.calibration_file = value;
            continue;
        }
        const NumberOption* match = nullptr;
        for (const NumberOption& n : kNumberOptions) {
            if (a == n.name) match = &n;
        }
        if (match == nullptr) return "unknown option " + a;
        long v = 0;
        if (!parse_number(value, match->lo, match->hi, v)) {
            return a + " wants a number from " + std::to_string(match->lo) + " to " +
                   std::to_string(match->hi) + ", not '" + value + "'";
        }
        match->set(p.options, v);
    }
    return {};
}

}  // namespace

int run_devsim(Args args) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::printf("%s\n", kUsage);
        return kExitOk;
    }
    Parsed p;
    if (const std::string error = parse(args, p); !error.empty()) {
        std::fprintf(stderr, "%s\n", kUsage);
        return fail(error);
    }
    if (p.verbose) {
        p.options.trace = [](const std::string& line) {
            std::fprintf(stderr, "devsim: %s\n", line.c_str());
        };
    }
    devsim::DeviceStore start_store;
    if (!p.calibration_file.empty()) {
        Calibration cal = devsim::plausible_calibration();
        std::string error;
        if (!std::filesystem::is_regular_file(p.calibration_file)) {
            return fail(p.calibration_file + ": not a readable file");
        }
        if (!read_calibration_file(cal, p.calibration_file, kEdition, &error)) return fail(error);
        recompute_derived_values(cal, kEdition);
        start_store = devsim::encode_for_device(cal);
    }

    // The signals are taken by sigwait below; blocking them first keeps the
    // device's own thread, which inherits the mask, from ever receiving them.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    const bool use_file = !p.calibration_file.empty() && !p.options.blank;
    devsim::Simulator sim(p.options);
    if (use_file) sim.set_store(start_store);
    std::string error;
    if (!sim.start(&error)) return fail("cannot create the simulated device: " + error);
    std::printf("%s\n", sim.slave_path().c_str());
    std::fflush(stdout);

    int signal_number = 0;
    sigwait(&stop_signals, &signal_number);
    sim.stop();
    const devsim::SimulatorLog log = sim.log();
    if (p.verbose) {
        std::fprintf(stderr, "devsim: %zu requests, %zu uploads, %llu streamed records\n",
                     log.commands.size() + log.dropped_entries, log.uploads.size(),
                     static_cast<unsigned long long>(log.streamed_records));
    }
    return kExitOk;
}

}  // namespace veloquin::tool
