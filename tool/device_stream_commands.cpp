// veloquin-tool device record / device flash: the recording of the live stream
// and the firmware update with the program's own code, for a terminal or a script.

#include "tool/device_stream_commands.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "calibration/calibration.h"
#include "datalogs/log_sample.h"
#include "device/connection.h"
#include "device/device_link.h"
#include "device/firmware.h"
#include "device/port_table.h"
#include "device/recording.h"
#include "tool/edition.h"
#include "tool/headless_platform.h"

namespace veloquin::tool {
namespace {

// Set by Ctrl-C during a recording: the recording then ends as if Enter was
// pressed, so the device is told to stop streaming and the log is written.
volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void note_interrupt(int) {
    g_interrupted = 1;
}

class InterruptStops {
  public:
    InterruptStops() {
        struct sigaction action {};
        action.sa_handler = note_interrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &old_int_);
        sigaction(SIGTERM, &action, &old_term_);
    }
    ~InterruptStops() {
        sigaction(SIGINT, &old_int_, nullptr);
        sigaction(SIGTERM, &old_term_, nullptr);
    }
    InterruptStops(const InterruptStops&) = delete;
    InterruptStops& operator=(const InterruptStops&) = delete;

  private:
    struct sigaction old_int_ {};
    struct sigaction old_term_ {};
};

// Which status line a command reports as its progress.
enum class Progress { upper, lower };

// The platform for a terminal: real clock and waits, ports from the port
// table, one status line as the progress line on stderr; the last message box
// is the command's result.
// Enter counts only when typed at a terminal: a script's closed input must not
// end a recording. A deadline and Ctrl-C stop a recording the same way.
class StreamPlatform : public HeadlessPlatform {
  public:
    StreamPlatform(const PortTable& ports, Progress progress)
        : HeadlessPlatform(ports),
          progress_(progress),
          stdin_is_terminal_(isatty(STDIN_FILENO) != 0),
          stderr_is_terminal_(isatty(STDERR_FILENO) != 0) {}
    ~StreamPlatform() override { end_progress_line(); }

    void set_upper_status(std::string_view text) override {
        if (progress_ == Progress::upper && progress_on) show_progress(text);
    }
    void set_lower_status(std::string_view text) override {
        if (progress_ == Progress::lower && progress_on) show_progress(text);
    }
    MessageAnswer message_box(std::string_view text, std::string_view,
                              MessageButtons buttons) override {
        end_progress_line();
        // The command line is the tuner's yes; what the question says
        // (the bytes left out) is still worth reading before the transfer.
        if (buttons != MessageButtons::ok) {
            std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
            return MessageAnswer::ok;
        }
        // Shown by the command once the update has ended, as its result.
        last_message = text;
        return MessageAnswer::ok;
    }
    bool enter_pressed() override {
        if (g_interrupted != 0) return true;
        if (deadline_ms && static_cast<std::int32_t>(now_ms() - *deadline_ms) >= 0) return true;
        return enter_typed();
    }
    void stop_after_seconds(long seconds) {
        deadline_ms = now_ms() + static_cast<std::uint32_t>(seconds * 1000);
    }

    bool progress_on = true;
    // Without a terminal the progress goes to a log: at most one line this often.
    std::uint32_t piped_progress_every_ms = 0;
    std::string last_message;
    std::optional<std::uint32_t> deadline_ms;

    // Ends a progress line left open on a terminal, before the result is printed.
    void end_progress_line() {
        if (line_open_) std::fputc('\n', stderr);
        line_open_ = false;
    }

  private:
    bool enter_typed() {
        if (!stdin_is_terminal_) return false;
        pollfd in{STDIN_FILENO, POLLIN, 0};
        if (poll(&in, 1, 0) <= 0 || (in.revents & POLLIN) == 0) return false;
        char buffer[256];
        const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            stdin_is_terminal_ = false;  // Ctrl-D: nothing more will be typed
            return false;
        }
        return std::string_view(buffer, static_cast<std::size_t>(got)).find('\n') !=
               std::string_view::npos;
    }
    void show_progress(std::string_view text) {
        if (text.empty()) return;
        if (stderr_is_terminal_) {
            std::fprintf(stderr, "\r%.*s\033[K", static_cast<int>(text.size()), text.data());
            line_open_ = true;
        } else {
            const std::uint32_t now = now_ms();
            if (last_piped_ms_ && now - *last_piped_ms_ < piped_progress_every_ms) return;
            last_piped_ms_ = now;
            std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
        }
        std::fflush(stderr);
    }

    Progress progress_;
    bool stdin_is_terminal_;
    bool stderr_is_terminal_;
    bool line_open_ = false;
    std::optional<std::uint32_t> last_piped_ms_;
};

struct Options {
    std::string port;
    bool pass = false;
    std::optional<long> seconds;
    std::vector<std::string> positional;
};

// Empty on success, else what is wrong with the arguments.
std::string parse(Args args, bool accepts_record_options, Options& o) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--pass" && accepts_record_options) {
            o.pass = true;
        } else if (a == "--port" || (a == "--seconds" && accepts_record_options)) {
            if (i + 1 >= args.size()) return a + " wants a value";
            const std::string& v = args[++i];
            if (a == "--port") {
                o.port = v;
                continue;
            }
            char* end = nullptr;
            const long n = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end != '\0' || n < 1 || n > 86400) {
                return "--seconds wants a whole number of seconds from 1 to 86400, not '" + v + "'";
            }
            o.seconds = n;
        } else if (a.rfind("--", 0) == 0) {
            return "unknown option " + a;
        } else {
            o.positional.push_back(a);
        }
    }
    if (o.port.empty()) return "--port P is required (a device path or a port number)";
    return {};
}

// P is a logical port number (the port table's numbering) or a device path.
struct Port {
    PortTable table;
    int number = 0;
    std::string name;
};

bool resolve_port(const std::string& text, Port& port, std::string& error) {
    char* end = nullptr;
    const long n = std::strtol(text.c_str(), &end, 10);
    if (!text.empty() && *end == '\0') {
        port.table.discover();
        if (n < 1 || n > port.table.size()) {
            error = "port " + text + ": no such port (" + std::to_string(port.table.size()) +
                    " serial ports found; see 'veloquin-tool device list')";
            return false;
        }
        port.number = static_cast<int>(n);
    } else {
        port.table.add_explicit(text);
        port.number = 1;
    }
    port.name = port.table.display_name(port.number);
    return true;
}

const char* end_text(RecordingEnd end) {
    switch (end) {
        case RecordingEnd::enter_pressed:
            return "stopped";
        case RecordingEnd::stream_silent:
            return "the device stopped streaming";
        case RecordingEnd::log_full:
            return "the sample limit was reached";
        case RecordingEnd::stream_refused:
            return "the stream could not be started";
        case RecordingEnd::closing:
            return "interrupted";
    }
    return "";
}

}  // namespace

int run_device_record(Args args) {
    constexpr const char* kUsage =
        "usage: veloquin-tool device record --port P OUT.log [--pass] [--seconds N]";
    Options o;
    if (const std::string error = parse(args, true, o); !error.empty()) {
        return fail(error + "\n" + kUsage);
    }
    if (o.positional.size() != 1) return fail(kUsage);
    const std::filesystem::path out = o.positional[0];
    if (out.filename().empty() || std::filesystem::is_directory(out)) {
        return fail(out.string() + ": not a file name for the log");
    }

    Port port;
    std::string error;
    if (!resolve_port(o.port, port, error)) return fail(error);
    StreamPlatform platform(port.table, Progress::upper);
    platform.progress_on = false;  // the connection's own texts name ports by number
    platform.piped_progress_every_ms = 1000;
    DeviceLink link;
    link.port_number = port.number;

    // The samples are converted with the device's own sensor calibration, so
    // the recording starts the way the program's connection does: identify, download.
    Calibration cal;
    set_start_values(cal);
    connection_attempt(link, cal, platform, kEdition);
    if (!link.connected) {
        if (!link.is_open())
            return fail("cannot open " + port.name + ": " + platform.last_open_error);
        return fail("no device answered on " + port.name + " (or it stopped during the download)");
    }

    LogBuffer log;
    RecordingContext ctx{.platform = platform,
                         .link = link,
                         .calibration = cal,
                         .log = log,
                         .edition = kEdition,
                         .logs_folder = out.has_parent_path() ? out.parent_path() : ".",
                         .log_file_name = out.filename().string(),
                         // OUT is the recording's one file here.
                         .stream_to_file = false};
    if (isatty(STDIN_FILENO) != 0) std::fprintf(stderr, "Recording. Press Enter to stop.\n");
    if (o.seconds) platform.stop_after_seconds(*o.seconds);
    platform.progress_on = true;
    const InterruptStops interrupt_stops;
    g_interrupted = 0;
    const RecordingResult result = record(ctx, o.pass);
    close_port(link);
    platform.end_progress_line();

    if (result.end == RecordingEnd::stream_refused) {
        return fail("the live stream could not be started on " + port.name);
    }
    if (!result.log_written) return fail(result.write_error);
    if (result.samples == 0) {
        return fail("no live record arrived from " + port.name + "; wrote an empty log to " +
                    out.string());
    }
    std::printf("%d samples recorded to %s (%s)\n", result.samples, out.string().c_str(),
                end_text(result.end));
    return kExitOk;
}

int run_device_flash(Args args) {
    constexpr const char* kUsage = "usage: veloquin-tool device flash --port P FILE.frw";
    Options o;
    if (const std::string error = parse(args, false, o); !error.empty()) {
        return fail(error + "\n" + kUsage);
    }
    if (o.positional.size() != 1) return fail(kUsage);

    Port port;
    std::string error;
    if (!resolve_port(o.port, port, error)) return fail(error);
    DeviceLink link;
    link.port_number = port.number;
    FirmwareOutcome outcome;
    std::string message;
    {
        StreamPlatform platform(port.table, Progress::lower);
        outcome = update_firmware_from_file(link, platform, o.positional[0]);
        message = platform.last_message;
        if (outcome == FirmwareOutcome::not_confirmed && !platform.last_open_error.empty()) {
            message += " (cannot open " + port.name + ": " + platform.last_open_error + ")";
        }
    }
    if (outcome != FirmwareOutcome::complete) return fail(message);
    std::printf("%s\n", message.c_str());
    return kExitOk;
}

}  // namespace veloquin::tool
