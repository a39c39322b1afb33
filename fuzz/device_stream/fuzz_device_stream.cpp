// Whatever a device sends during a recording or a firmware update: the first
// byte chooses recording, pass-mode recording or the update; the rest is what
// arrives on the line, with 0xFE followed by n standing for (n & 31) silent reads.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "app/platform.h"
#include "calibration/calibration.h"
#include "datalogs/log_sample.h"
#include "device/device_link.h"
#include "device/firmware.h"
#include "device/recording.h"

namespace {

using namespace veloquin;

class ReplayLine : public SerialLine {
  public:
    explicit ReplayLine(std::deque<int>& input) : input_(input) {}
    std::size_t write(const std::uint8_t*, std::size_t size) override { return size; }
    int read_byte() override {
        if (input_.empty()) return -1;
        const int b = input_.front();
        input_.pop_front();
        return b;
    }
    void purge_input() override {}

  private:
    std::deque<int>& input_;
};

class QuietPlatform : public Platform {
  public:
    explicit QuietPlatform(std::deque<int>& input) : input_(input) {}
    std::uint32_t now_ms() override { return clock_ += 3; }
    void sleep_ms(std::uint32_t ms) override { clock_ += ms; }
    SerialOpenResult open_serial(int, TimeoutSet) override {
        return {std::make_unique<ReplayLine>(input_), {}};
    }
    std::string port_name(int) override { return "fuzz"; }
    void set_upper_status(std::string_view) override {}
    void set_lower_status(std::string_view) override {}
    void set_title_line(std::string_view) override {}
    MessageAnswer message_box(std::string_view, std::string_view, MessageButtons) override {
        return MessageAnswer::ok;
    }
    bool enter_pressed() override { return false; }
    void repaint_page() override {}
    void refill_pages() override {}
    void refresh_live_panel() override {}
    void set_connect_enabled(bool) override {}
    void focus_main_window() override {}
    void stop_timers() override {}
    void start_timers() override {}
    void show_page(int) override {}

  private:
    std::deque<int>& input_;
    std::uint32_t clock_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    std::deque<int> input;
    // Silent reads drive the miss counter and the block retries.
    for (std::size_t i = 1; i < size; ++i) {
        if (data[i] == 0xFE && i + 1 < size) {
            const int silent_reads = data[++i] & 0x1F;
            for (int n = 0; n < silent_reads; ++n)
                input.push_back(-1);
        } else {
            input.push_back(data[i]);
        }
    }
    QuietPlatform platform(input);
    DeviceLink link;
    static Calibration cal = [] {
        Calibration c;
        set_start_values(c);
        return c;
    }();
    if (data[0] % 3 == 2) {
        FirmwareImage image;
        image.bytes.assign(64 + 3 * 1024, 0x5A);
        link.timeouts = TimeoutSet::firmware;
        update_firmware(link, platform, image);
        return 0;
    }
    static LogBuffer log;
    open_port(link, platform);
    // A folder that does not exist: the write fails at once instead of
    // syncing a file to disk on every input.
    RecordingContext ctx{.platform = platform,
                         .link = link,
                         .calibration = cal,
                         .log = log,
                         .logs_folder = "/nonexistent/veloquin-fuzz"};
    record(ctx, data[0] % 3 == 1);
    return 0;
}
