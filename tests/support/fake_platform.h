#pragma once
// Test doubles for the platform: a clock that only moves when the logic sleeps,
// recorded status texts and titles, scripted serial lines per port number.

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/platform.h"

namespace veloquin::testing {

// A serial line fed by the test: bytes queued with feed() are read one at a
// time; writes are recorded; failures are switched on by the test.
class ScriptedLine : public SerialLine {
  public:
    struct Script {
        std::deque<int> input;                          // bytes still to be read
        std::vector<std::uint8_t> written;              // everything written, in order
        std::vector<std::vector<std::uint8_t>> frames;  // each write call's bytes
        bool fail_writes = false;                       // writes report 0 bytes
        std::size_t short_write_by = 0;                 // writes report this many bytes fewer
        // Called after each write with the written bytes; may feed a reply.
        std::function<void(Script&, const std::vector<std::uint8_t>&)> responder;
        int purges = 0;
        // Read when `input` is empty, standing for a device that talks unasked
        // (the live stream); returns a byte, or -1 for a read that times out.
        std::function<int(Script&)> unasked;
        void feed(std::initializer_list<int> bytes) { input.insert(input.end(), bytes); }
        void feed(const std::vector<std::uint8_t>& bytes) {
            input.insert(input.end(), bytes.begin(), bytes.end());
        }
    };

    explicit ScriptedLine(Script& script) : script_(script) {}
    std::size_t write(const std::uint8_t* data, std::size_t size) override;
    int read_byte() override;
    void purge_input() override;
    std::size_t available() override;

  private:
    Script& script_;
};

class FakePlatform : public Platform {
  public:
    std::uint32_t clock_ms = 0;
    std::vector<std::uint32_t> sleeps;
    std::vector<std::string> upper_status;  // every text shown, in order
    std::vector<std::string> lower_status;
    std::vector<std::string> titles;
    struct Message {
        std::string text, caption;
    };
    std::vector<Message> messages;
    std::deque<MessageAnswer> answers;  // answers to give; ok when empty
    int enter_after_polls = -1;         // enter_pressed() turns true after this many polls
    int enter_polls = 0;
    int repaints = 0, refills = 0, live_refreshes = 0, focus_requests = 0;
    bool connect_enabled = false;
    int timer_stops = 0, timer_starts = 0;
    bool timers_running = true;
    std::vector<Page> pages_shown;
    // Port number -> script of the line that opens there; a port without a script fails.
    std::map<int, ScriptedLine::Script> ports;
    std::map<int, std::string> open_errors;  // the failure text for a port without a script
    std::map<int, PortAccess> open_access;   // and its kind (missing when neither is given)
    std::vector<std::pair<int, TimeoutSet>> opens;
    // When set, open_serial is delegated (the end-to-end tests open real lines).
    std::function<SerialOpenResult(int, TimeoutSet)> opener;

    std::uint32_t now_ms() override { return clock_ms; }
    LocalTime wall_clock{2026, 12, 7, 21, 50, 3};
    LocalTime local_time() override { return wall_clock; }
    void sleep_ms(std::uint32_t ms) override {
        sleeps.push_back(ms);
        clock_ms += ms;
    }
    SerialOpenResult open_serial(int port_number, TimeoutSet timeouts) override;
    std::string port_name(int port_number) override { return "COM" + std::to_string(port_number); }
    // The port table a rescan gives; nullopt: port numbers are fixed.
    std::optional<std::vector<SerialPortEntry>> port_table;
    std::function<void()> on_rescan;  // runs first in every rescan (a device plugged in meanwhile)
    int rescans = 0;
    std::optional<std::vector<SerialPortEntry>> rescan_ports() override {
        ++rescans;
        if (on_rescan) on_rescan();
        return port_table;
    }
    bool ports_changed = false;        // reported once by serial_ports_changed()
    std::function<bool()> port_watch;  // asked as well when set (a real watcher)
    bool serial_ports_changed() override {
        const bool changed = ports_changed || (port_watch && port_watch());
        ports_changed = false;
        return changed;
    }
    void set_upper_status(std::string_view text) override { upper_status.emplace_back(text); }
    void set_lower_status(std::string_view text) override { lower_status.emplace_back(text); }
    void set_title_line(std::string_view line) override { titles.emplace_back(line); }
    MessageAnswer message_box(std::string_view text, std::string_view caption,
                              MessageButtons buttons) override;
    bool enter_pressed() override;
    void repaint_page() override { ++repaints; }
    void refill_pages() override { ++refills; }
    void refresh_live_panel() override { ++live_refreshes; }
    void set_connect_enabled(bool enabled) override { connect_enabled = enabled; }
    void focus_main_window() override { ++focus_requests; }
    void stop_timers() override {
        ++timer_stops;
        timers_running = false;
    }
    void start_timers() override {
        ++timer_starts;
        timers_running = true;
    }
    void show_page(Page page) override { pages_shown.push_back(page); }

    // The desktop program's extras.
    std::vector<FileDialogRequest> dialogs;
    std::deque<std::optional<std::string>> file_choices;  // answers in order; cancel when empty
    std::vector<std::pair<Page, std::string>> cell_editors_opened;
    int cell_editor_closes = 0, controls_shown = 0, abouts = 0, close_requests = 0;
    std::string cell_text;                    // what the tuner typed into the open in-place editor
    std::function<void()> while_dialog_open;  // runs inside every file dialog
    std::optional<std::string> choose_file(const FileDialogRequest& request) override {
        dialogs.push_back(request);
        if (while_dialog_open) while_dialog_open();
        if (file_choices.empty()) return std::nullopt;
        auto choice = file_choices.front();
        file_choices.pop_front();
        return choice;
    }
    void show_about() override { ++abouts; }
    std::vector<std::vector<SerialPortChoice>> port_lists;  // every port list shown
    std::optional<int> port_choice;                         // the number chosen; cancel when empty
    std::optional<int> choose_serial_port(const std::vector<SerialPortChoice>& list) override {
        port_lists.push_back(list);
        return port_choice;
    }
    void open_cell_editor(Page page, std::string_view typed) override {
        cell_editors_opened.emplace_back(page, std::string(typed));
    }
    void close_cell_editor() override { ++cell_editor_closes; }
    std::string cell_editor_text() override { return cell_text; }
    void controls_changed() override { ++controls_shown; }
    void close_main_window() override { ++close_requests; }

    std::string last_upper() const { return upper_status.empty() ? "" : upper_status.back(); }
    std::string last_lower() const { return lower_status.empty() ? "" : lower_status.back(); }
};

}  // namespace veloquin::testing
