#pragma once
// The program's platform without a window: a real clock and real waits, ports
// from the port table, and nothing to draw. The tool's commands and the
// benchmarks build on it and override what they report.

#include <string>

#include "base/platform.h"
#include "device/port_table.h"

namespace veloquin {

// The machine's clock in its time zone (what the tool dates its files by).
LocalTime system_local_time();

class HeadlessPlatform : public Platform {
  public:
    explicit HeadlessPlatform(const PortTable& ports) : ports_(ports) {}

    std::uint32_t now_ms() override;
    LocalTime local_time() override;
    void sleep_ms(std::uint32_t ms) override;
    SerialOpenResult open_serial(int port_number, TimeoutSet timeouts) override;
    std::string port_name(int port_number) override { return ports_.display_name(port_number); }
    void set_upper_status(std::string_view /*text*/) override {}
    void set_lower_status(std::string_view /*text*/) override {}
    void set_title_line(std::string_view line) override { title_line = line; }
    MessageAnswer message_box(std::string_view /*text*/, std::string_view /*caption*/,
                              MessageButtons /*buttons*/) override {
        return MessageAnswer::ok;
    }
    bool enter_pressed() override { return false; }
    void repaint_page() final {}
    void refill_pages() final {}
    void refresh_live_panel() final {}
    void set_connect_enabled(bool /*enabled*/) final {}
    void focus_main_window() final {}
    void stop_timers() final {}
    void start_timers() final {}
    void show_page(Page /*page*/) final {}

    std::string title_line;
    std::string last_open_error;

  private:
    const PortTable& ports_;
};

}  // namespace veloquin
