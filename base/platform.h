#pragma once
// The one door from the program's logic to the outside world. The Qt program
// implements it with real windows, timers and serial ports; tests implement it
// with a fake clock that advances on sleep, recorded status texts and scripted
// serial lines. Nothing in the core libraries reaches the outside any other way.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/alarm_rule.h"
#include "base/page.h"

namespace veloquin {

// The two read/write timeout sets of the serial line. Under `normal` a one-byte
// read gives up after a few milliseconds so that a missing device costs only
// tens of milliseconds per exchange; the firmware loader needs `firmware`.
enum class TimeoutSet { normal, firmware };

// A raw serial line, opened with the device's line settings. One byte per read,
// returning -1 when the active timeout passes without a byte (or the line is gone).
class SerialLine {
  public:
    virtual ~SerialLine() = default;
    // Bytes actually written; fewer than `size` is a failed send.
    virtual std::size_t write(const std::uint8_t* data, std::size_t size) = 0;
    // The next byte 0..255, or -1 after the timeout of the set it was opened with.
    virtual int read_byte() = 0;
    // Throws away whatever the device sent that nobody has read yet.
    virtual void purge_input() = 0;
    // Bytes that have arrived and wait to be read: read_byte returns that
    // many without waiting. A recording reads the stream this way from the
    // program's timer, never holding the window in a wait.
    virtual std::size_t available() = 0;
};

// Whether a serial port can be had now, as the port list shows it.
enum class PortAccess { free, busy, no_permission, missing, unusable };

struct SerialOpenResult {
    std::unique_ptr<SerialLine> line;          // null when the open failed
    std::string error;                         // why, in words a Linux user can act on
    PortAccess access = PortAccess::unusable;  // what kind of failure (free when it opened)
};

// One port of the platform's port table: port n is entry n - 1.
struct SerialPortEntry {
    std::string path;
    std::string by_id;  // the name under /dev/serial/by-id, where the system gives one
};

// A port as the "Serial port..." list offers it.
struct SerialPortChoice {
    int number = 0;
    SerialPortEntry port;
    std::string state;  // "free", "busy", "no permission", "connected", or why it cannot be used
};

// A file dialog as the file commands ask for it.
struct FileDialogRequest {
    bool save = false;
    std::string title;
    // "Text [*.ext]" and its pattern, in the order offered.
    std::vector<std::pair<std::string, std::string>> filters;
    std::string default_extension;  // ".emu"; empty for none
    std::string folder;
    std::string name;
};

// Columns of a log table whose names say nothing, for the tuner to assign.
struct ColumnChoiceRequest {
    std::string file;
    std::vector<std::string> columns;  // titles as the file has them
    std::vector<std::string> choices;  // what each may hold; the first is "Ignore"
};

// A moment of the wall clock in the machine's time zone.
struct LocalTime {
    int year = 1970;
    int month = 1;  // 1 to 12
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The same moment as the C library's broken-down time (no weekday, no DST).
inline std::tm tm_of(const LocalTime& l) {
    std::tm t{};
    t.tm_year = l.year - 1900;
    t.tm_mon = l.month - 1;
    t.tm_mday = l.day;
    t.tm_hour = l.hour;
    t.tm_min = l.minute;
    t.tm_sec = l.second;
    return t;
}

// Which message box buttons to offer and which one the user chose.
enum class MessageButtons { ok, ok_cancel, yes_no };
enum class MessageAnswer { ok, cancel, yes, no };

class Platform {
  public:
    virtual ~Platform() = default;

    // Milliseconds since an arbitrary start; wraps like a 32-bit tick counter.
    virtual std::uint32_t now_ms() = 0;
    virtual void sleep_ms(std::uint32_t ms) = 0;
    // The date and time a tuner reads (what the snapshots are named by).
    virtual LocalTime local_time() = 0;

    // The serial port behind logical port number 1..16, or a failure text.
    virtual SerialOpenResult open_serial(int port_number, TimeoutSet timeouts) = 0;
    // The name shown for a port number (a path, with its by-id name where known).
    virtual std::string port_name(int port_number) = 0;
    // The port table made anew from the serial devices there are now (the
    // ports named on the command line first); nullopt from a platform whose
    // port numbers are fixed.
    virtual std::optional<std::vector<SerialPortEntry>> rescan_ports() { return std::nullopt; }
    // True once after a serial device appeared (or its permissions changed)
    // since the last call; asked on every tick.
    virtual bool serial_ports_changed() { return false; }

    virtual void set_upper_status(std::string_view text) = 0;
    virtual void set_lower_status(std::string_view text) = 0;
    // The window title is the program's title base followed by this line.
    virtual void set_title_line(std::string_view line) = 0;
    virtual MessageAnswer message_box(std::string_view text, std::string_view caption,
                                      MessageButtons buttons) = 0;

    // Whether Enter is held down now or was pressed since the last call (stops a
    // recording, which reads it once at the start to forget an earlier press).
    virtual bool enter_pressed() = 0;

    // Redraw the visible page without erasing it first.
    virtual void repaint_page() = 0;
    // Fill the parameter pages' controls from the calibration again.
    virtual void refill_pages() = 0;
    // Show the live record in the live-values panel.
    virtual void refresh_live_panel() = 0;
    virtual void set_connect_enabled(bool enabled) = 0;
    virtual void focus_main_window() = 0;

    // The keep-alive poll (20 ms) and the parameter read-back (1000 ms); a
    // recording holds both off while it has the line to itself.
    virtual void stop_timers() = 0;
    virtual void start_timers() = 0;
    // Switch the main window to a page, numbered as in the running edition.
    virtual void show_page(Page page) = 0;

    // What only the desktop program has; the tool and the benchmarks keep the
    // defaults (no dialogs: every choice is a cancel).
    //
    // A file dialog; nullopt when cancelled. `folder` is where it opens (empty:
    // wherever the platform likes), `name` the file name it proposes.
    virtual std::optional<std::string> choose_file(const FileDialogRequest& /*request*/) {
        return std::nullopt;
    }
    virtual void show_about() {}
    // The index of the choice for every column; nullopt when cancelled.
    virtual std::optional<std::vector<std::size_t>> choose_log_columns(
        const ColumnChoiceRequest& /*request*/) {
        return std::nullopt;
    }
    // The "Target AFR" window, the table the fuel learning aims at.
    virtual void show_target_afr() {}
    // Work that may take long (reading a large file). The desktop program
    // runs it away from the window's thread behind a progress bar with
    // Cancel, the window painting meanwhile; `job` is handed a callback to
    // report how far it is (0 to 1), which returns false once the user
    // cancelled. The default runs it here. False when cancelled.
    using ProgressJob = std::function<void(const std::function<bool(double)>& progress)>;
    virtual bool run_with_progress(std::string_view /*title*/, const ProgressJob& job) {
        job([](double) { return true; });
        return true;
    }
    // The "Serial port..." list; the number of the port chosen, nullopt when cancelled.
    virtual std::optional<int> choose_serial_port(const std::vector<SerialPortChoice>& /*ports*/) {
        return std::nullopt;
    }
    // The in-place value editor over the cursor cell of the page's map editor,
    // with `typed` already in it; and closing it without storing anything.
    virtual void open_cell_editor(Page /*page*/, std::string_view /*typed*/) {}
    virtual void close_cell_editor() {}
    // What the tuner typed into the open in-place value editor.
    virtual std::string cell_editor_text() { return {}; }
    // The page controls' values changed: show them again.
    virtual void controls_changed() {}
    virtual void close_main_window() {}
    // The alarm sound; without an audio device nothing, and no error either.
    virtual void play_alarm_sound() {}
    // The "Alarms..." dialog on a copy of the settings; nullopt when cancelled.
    virtual std::optional<AlarmSettings> edit_alarms(const AlarmSettings& /*settings*/) {
        return std::nullopt;
    }

    // Holds the working folder for this program until it ends (a lock file
    // the system lets go of when the process dies); false when another
    // running program holds it.
    virtual bool lock_folder(const std::string& /*folder*/) { return true; }

    // A question whose buttons say what each does; the index of the choice,
    // -1 when none was made. Without buttons of its own a platform asks a
    // yes/no question: Yes the first choice, No the second.
    virtual int ask(std::string_view text, std::string_view caption,
                    const std::vector<std::string>& choices) {
        switch (message_box(text, caption, MessageButtons::yes_no)) {
            case MessageAnswer::yes:
                return 0;
            case MessageAnswer::no:
                return choices.size() > 1 ? 1 : -1;
            default:
                return -1;
        }
    }
    // A list to choose a row from (File > History...): the row chosen for
    // `action`, nullopt when closed.
    virtual std::optional<int> choose_row(std::string_view /*title*/,
                                          const std::vector<std::string>& /*columns*/,
                                          const std::vector<std::vector<std::string>>& /*rows*/,
                                          std::string_view /*action*/) {
        return std::nullopt;
    }
};

}  // namespace veloquin
