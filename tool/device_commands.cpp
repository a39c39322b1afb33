// veloquin-tool device: find, identify, download, upload and watch the device
// from a terminal, with the same link, transfer and connection code as the program.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

#include "calfile/calibration_file.h"
#include "calibration/conversions.h"
#include "device/connection.h"
#include "device/device_link.h"
#include "device/port_table.h"
#include "device/transfer.h"
#include "tool/commands.h"
#include "tool/device_stream_commands.h"
#include "tool/edition.h"
#include "tool/headless_platform.h"

namespace veloquin::tool {
namespace {

// Status lines on stderr when asked for; message boxes as lines on stderr.
class ConsolePlatform : public HeadlessPlatform {
  public:
    ConsolePlatform(const PortTable& ports, bool verbose)
        : HeadlessPlatform(ports), verbose_(verbose) {}

    void set_upper_status(std::string_view text) override { status("status", text); }
    void set_lower_status(std::string_view text) override { status("transfer", text); }
    MessageAnswer message_box(std::string_view text, std::string_view caption,
                              MessageButtons) override {
        std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(),
                     static_cast<int>(text.size()), text.data());
        return MessageAnswer::ok;
    }

  private:
    void status(const char* which, std::string_view text) const {
        if (verbose_ && !text.empty()) {
            std::fprintf(stderr, "%s: %.*s\n", which, static_cast<int>(text.size()), text.data());
        }
    }
    bool verbose_;
};

struct Options {
    std::string port;
    std::optional<long> count;
    long every_ms = 20;
    bool verbose = false;
    std::vector<std::string> positional;
};

bool whole_number(const std::string& text, long lo, long hi, long& out) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
        text.size() > 9) {
        return false;
    }
    out = std::strtol(text.c_str(), nullptr, 10);
    return out >= lo && out <= hi;
}

// Empty on success, else what is wrong with the arguments.
std::string parse(Args args, Options& o) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--verbose") {
            o.verbose = true;
            continue;
        }
        if (a == "--port" || a == "--count" || a == "--every") {
            if (i + 1 >= args.size()) return a + " wants a value";
            const std::string& v = args[++i];
            long n = 0;
            if (a == "--port") {
                o.port = v;
            } else if (!whole_number(v, a == "--count" ? 1 : 5, 100000000, n)) {
                return a + " wants a whole number, not '" + v + "'";
            } else if (a == "--count") {
                o.count = n;
            } else {
                o.every_ms = n;
            }
            continue;
        }
        if (a.rfind("--", 0) == 0) return "unknown option " + a;
        o.positional.push_back(a);
    }
    return {};
}

// A session with one port: the table that names it and the link that uses it.
struct Session {
    PortTable ports;
    std::unique_ptr<ConsolePlatform> platform;
    DeviceLink link;
    std::string name;
};

// P is a logical port number (the port table's numbering) or a device path.
bool open_session(const Options& o, Session& s) {
    if (o.port.empty()) {
        fail("--port P is required (a device path or a port number from 'device list')");
        return false;
    }
    long number = 0;
    if (whole_number(o.port, 1, PortTable::kMaxPorts, number)) {
        s.ports.discover();
        if (number > s.ports.size()) {
            fail("port " + o.port + ": no such port (" + std::to_string(s.ports.size()) +
                 " serial ports found; see 'veloquin-tool device list')");
            return false;
        }
    } else {
        s.ports.add_explicit(o.port);
        number = 1;
    }
    s.platform = std::make_unique<ConsolePlatform>(s.ports, o.verbose);
    const int port = static_cast<int>(number);
    s.link.port_number = port;
    s.link.found_ports[0] = port;
    s.link.found_count = 1;
    s.name = s.ports.display_name(port);
    return true;
}

// Opens the port and identifies the device, without the download a connection
// attempt would make. Prints why on failure.
bool identify(Session& s) {
    if (!open_port(s.link, *s.platform)) {
        fail("cannot open " + s.name + ": " + s.platform->last_open_error);
        return false;
    }
    if (!send_command(s.link, cmd::identify, 0) ||
        !receive_reply(s.link, static_cast<std::size_t>(kIdentificationSize))) {
        fail("no answer from the device on " + s.name);
        return false;
    }
    const std::string line =
        identification_line({s.link.frame.data(), static_cast<std::size_t>(kIdentificationSize)});
    if (line.empty()) {
        fail("the device on " + s.name + " answered with a wrong signature (not a KVX unit)");
        return false;
    }
    s.link.connected = true;
    s.platform->set_title_line(line);
    return true;
}

// Downloads the six blocks into `cal` as a connection does, keeping what it
// received; false (with a message) when the device stops answering.
bool download_blocks(Session& s, Calibration& cal,
                     std::array<std::vector<std::uint8_t>, kBlockCount>* received) {
    for (const Block b : kBlockOrder) {
        download_block(s.link, cal, *s.platform, kEdition, b);
        if (!s.link.connected) {
            fail("the device on " + s.name + " did not send its " + std::string(block_name(b)) +
                 " block");
            return false;
        }
        const auto size = static_cast<std::size_t>(block_bytes(b));
        if (received)
            (*received)[static_cast<std::size_t>(b)].assign(
                s.link.frame.begin(), s.link.frame.begin() + static_cast<std::ptrdiff_t>(size));
        if (is_unprogrammed({s.link.frame.data(), size})) {
            std::fprintf(
                stderr,
                "veloquin-tool: the %s block is unprogrammed on the device; start values kept\n",
                std::string(block_name(b)).c_str());
        }
    }
    update_sums(cal);
    for (BlockSums& sums : cal.sums)
        sums.synced = sums.current;
    return true;
}

int list(const Options& o) {
    if (!o.positional.empty()) return fail("usage: veloquin-tool device list");
    PortTable ports;
    if (!o.port.empty()) ports.add_explicit(o.port);
    ports.discover();
    if (ports.size() == 0) {
        std::printf("no serial ports found\n");
        return kExitNegative;
    }
    for (int p = 1; p <= ports.size(); ++p) {
        const SerialOpenResult r = ports.open(p, TimeoutSet::normal);
        std::printf("%2d  %s  %s\n", p, ports.display_name(p).c_str(),
                    r.line ? "opens" : ("cannot open: " + r.error).c_str());
    }
    return kExitOk;
}

int info(const Options& o) {
    if (!o.positional.empty()) return fail("usage: veloquin-tool device info --port P");
    Session s;
    if (!open_session(o, s) || !identify(s)) return kExitError;
    std::printf("%s\n", s.platform->title_line.c_str());
    return kExitOk;
}

int download(const Options& o) {
    if (o.positional.size() != 1) return fail("usage: veloquin-tool device download --port P OUT");
    Session s;
    if (!open_session(o, s) || !identify(s)) return kExitError;
    Calibration cal;
    set_start_values(cal);
    if (!download_blocks(s, cal, nullptr)) return kExitError;
    std::string error;
    if (!write_calibration_file(cal, o.positional[0], kEdition, &error)) return fail(error);
    std::printf("%s\ndownloaded 6 blocks to %s\n", s.platform->title_line.c_str(),
                o.positional[0].c_str());
    return kExitOk;
}

// Where two copies of a block first differ, in words, and how many words do.
std::string block_difference(const std::vector<std::uint8_t>& sent,
                             const std::vector<std::uint8_t>& held) {
    if (sent.size() != held.size())
        return "size " + std::to_string(held.size()) + " instead of " + std::to_string(sent.size());
    int words = 0;
    std::size_t first = 0;
    for (std::size_t w = 0; w + 1 < sent.size(); w += 2) {
        if (sent[w] == held[w] && sent[w + 1] == held[w + 1]) continue;
        if (words++ == 0) first = w / 2;
    }
    if (words == 0) return {};
    return std::to_string(words) + " word" + (words == 1 ? "" : "s") + " differ, first at word " +
           std::to_string(first);
}

int upload(const Options& o) {
    if (o.positional.size() != 1) return fail("usage: veloquin-tool device upload --port P IN");
    const std::string& in = o.positional[0];
    Calibration cal;
    set_start_values(cal);
    std::string error;
    if (!std::filesystem::is_regular_file(in)) return fail(in + ": not a readable file");
    if (!read_calibration_file(cal, in, kEdition, &error)) return fail(error);
    Session s;
    if (!open_session(o, s) || !identify(s)) return kExitError;

    // The file read marked every block unsynced, so this sends all six in order.
    upload_changed_blocks(s.link, cal, *s.platform, kEdition);
    for (const Block b : kBlockOrder) {
        if (cal.block_sums(b).current != cal.block_sums(b).synced) {
            return fail("the " + std::string(block_name(b)) + " block could not be sent to " +
                        s.name);
        }
    }
    Calibration back;
    set_start_values(back);
    std::array<std::vector<std::uint8_t>, kBlockCount> held;
    if (!download_blocks(s, back, &held)) return kExitError;
    int differing = 0;
    for (const Block b : kBlockOrder) {
        const std::string why =
            block_difference(encode_block(cal, b), held[static_cast<std::size_t>(b)]);
        if (why.empty()) continue;
        std::printf("%s: the device holds something else: %s\n", std::string(block_name(b)).c_str(),
                    why.c_str());
        ++differing;
    }
    if (differing > 0) return kExitNegative;
    std::printf("%s\nuploaded 6 blocks from %s; the device holds them\n",
                s.platform->title_line.c_str(), in.c_str());
    return kExitOk;
}

void print_live(const Calibration& cal, const LiveRecord& r) {
    const int lo = cal.param(hw::THROTTLE_LO);
    const int span = cal.param(hw::THROTTLE_HI) - lo;
    const double throttle = span == 0 ? 0.0 : (r.throttle_counts() - lo) * 100.0 / span;
    std::printf(
        "rpm %5d  boost %5.2f bar  MAF in %.2f V out %.2f V  throttle %5.1f %%  IAT %3d C  AFR "
        "%5.2f  "
        "speed %3d km/h  inj %3d %%  wg %3d %%  fuel corr %4d  knock %.2f V\n",
        r.rpm(), counts_to_bar(cal, r.map_counts()),
        static_cast<double>(counts_to_volts(r.maf_in_counts())),
        static_cast<double>(counts_to_volts(r.maf_out_counts())), throttle,
        iat_counts_to_celsius(cal, r.iat_counts()),
        static_cast<double>(afr_counts_to_afr(cal, r.afr_counts())), r.speed_kmh(),
        r.injector_duty(), r.wastegate_duty(), r.fuel_correction(),
        static_cast<double>(counts_to_volts(r.knock_counts())));
    std::fflush(stdout);
}

int watch(const Options& o) {
    if (!o.positional.empty())
        return fail("usage: veloquin-tool device watch --port P [--count N] [--every MS]");
    Session s;
    if (!open_session(o, s) || !identify(s)) return kExitError;
    // The conversions to the tuner's units need the device's own calibration.
    Calibration cal;
    set_start_values(cal);
    if (!download_blocks(s, cal, nullptr)) return kExitError;
    for (long n = 0; !o.count || n < *o.count; ++n) {
        bool answered = false;
        for (int attempt = 0; attempt < kLiveRequestAttempts && !answered; ++attempt) {
            answered = send_command(s.link, cmd::live_data, 0) &&
                       receive_reply(s.link, static_cast<std::size_t>(LiveRecord::kSize));
        }
        if (!answered) return fail("Disconnected: the device on " + s.name + " stopped answering");
        LiveRecord r;
        std::copy_n(s.link.frame.begin(), LiveRecord::kSize, r.bytes.begin());
        print_live(cal, r);
        s.platform->sleep_ms(static_cast<std::uint32_t>(o.every_ms));
    }
    return kExitOk;
}

}  // namespace

int run_device(Args args) {
    constexpr const char* kUsage =
        "usage: veloquin-tool device list|info|download|upload|watch|record|flash ...";
    if (args.empty()) return fail(kUsage);
    if (args[0] == "record") return run_device_record(args.subspan(1));
    if (args[0] == "flash") return run_device_flash(args.subspan(1));
    Options o;
    if (const std::string error = parse(args.subspan(1), o); !error.empty()) return fail(error);
    const std::string& command = args[0];
    if (command == "list") return list(o);
    if (command == "info") return info(o);
    if (command == "download") return download(o);
    if (command == "upload") return upload(o);
    if (command == "watch") return watch(o);
    return fail("unknown device command '" + command + "'; " + kUsage);
}

}  // namespace veloquin::tool
