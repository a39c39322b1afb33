// Recording and firmware update against the simulated device on a
// pseudo-terminal, through the real POSIX serial line.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "calibration/conversions.h"
#include "datalogs/log_file.h"
#include "datalogs/log_sample.h"
#include "device/device_link.h"
#include "device/firmware.h"
#include "device/recording.h"
#include "device/serial_posix.h"
#include "devsim/simulator.h"
#include "tests/e2e/device_turn.h"
#include "tests/support/fake_platform.h"
#include "tests/support/temp_dir.h"

namespace veloquin {
namespace {

using testing::FakePlatform;
using testing::TempDir;

// A recording looks at the line every tick of real time, as the program's
// timer does.
struct RealTimePlatform : FakePlatform {
    std::uint32_t now_ms() override {
        return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                              std::chrono::steady_clock::now().time_since_epoch())
                                              .count());
    }
    void sleep_ms(std::uint32_t ms) override {
        sleeps.push_back(ms);
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
};

// The program's side of a link to a simulated device: a real terminal with
// real timeouts, and a clock that runs.
struct SimulatedLink {
    devsim::Simulator sim;
    RealTimePlatform platform;
    DeviceLink link;
    Calibration cal;
    LogBuffer log;
    TempDir dir;
    RecordingContext ctx{.platform = platform,
                         .link = link,
                         .calibration = cal,
                         .log = log,
                         .logs_folder = dir.path()};

    explicit SimulatedLink(devsim::SimulatorOptions options = {}) : sim(std::move(options)) {
        set_start_values(cal);
        std::string error;
        started = sim.start(&error);
        EXPECT_TRUE(started) << error;
        platform.opener = [this](int, TimeoutSet timeouts) {
            return testing::taking_turns(open_posix_serial(sim.slave_path(), timeouts), sim);
        };
        link.port_number = 1;
    }
    ~SimulatedLink() { sim.stop(); }

    bool connect() { return started && open_port(link, platform); }
    std::size_t log_lines() const {
        const std::string text = testing::read_file(dir / "default.log");
        std::size_t lines = 0;
        for (std::size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos; at += 2)
            ++lines;
        return lines;
    }
    // Nothing of the stream is left on the line, and a live request gets its
    // record. The line's reads wait until all the device sent has arrived.
    bool line_clean_and_answering() {
        if (link.line->read_byte() >= 0) return false;
        if (!send_command(link, cmd::live_data, 0) ||
            !receive_reply(link, static_cast<std::size_t>(LiveRecord::kSize))) {
            return false;
        }
        return link.line->read_byte() < 0;
    }

    bool started = false;
};

TEST(StreamRecordingE2E, EnterStopsTheStreamAndTheLinkCarriesOn) {
    SimulatedLink s;
    ASSERT_TRUE(s.connect());
    s.platform.enter_after_polls = 10;  // about 200 ms of the stream
    const RecordingResult result = record(s.ctx, false);

    EXPECT_EQ(result.end, RecordingEnd::enter_pressed);
    EXPECT_GT(s.log.count, 20);
    EXPECT_FALSE(s.sim.streaming());
    EXPECT_EQ(s.log_lines(), static_cast<std::size_t>(s.log.count) + 2);
    for (int i = 0; i < s.log.count; ++i) {
        EXPECT_GT(s.log.samples[i].rpm, 500) << "sample " << i;
        EXPECT_EQ(s.log.samples[i].ecu_load, -1);
    }
    LogBuffer own_file;
    ASSERT_TRUE(log_read_file(own_file, result.file).ok);
    EXPECT_EQ(own_file.count, s.log.count);
    const auto codes = s.sim.log().codes();
    ASSERT_GE(codes.size(), 2u);
    EXPECT_EQ(codes[codes.size() - 2], cmd::start_stream);
    EXPECT_EQ(codes.back(), cmd::identify);
    EXPECT_TRUE(s.line_clean_and_answering());
}

TEST(StreamRecordingE2E, DeviceThatFallsSilentEndsTheRecordingWithWhatCame) {
    SimulatedLink s;
    ASSERT_TRUE(s.connect());
    // Unplugged once the device has streamed a good part of a second.
    std::thread unplug([&s] {
        testing::wait_until([&s] { return s.sim.log().streamed_records >= 150; });
        s.sim.stop();
    });
    const RecordingResult result = record(s.ctx, false);
    unplug.join();

    EXPECT_EQ(result.end, RecordingEnd::stream_silent);
    EXPECT_GT(s.log.count, 50);
    EXPECT_TRUE(result.log_written);
    EXPECT_EQ(s.log_lines(), static_cast<std::size_t>(s.log.count) + 2);
}

TEST(StreamRecordingE2E, PassModeAtIdleVacuumKeepsTheLeadInOnly) {
    SimulatedLink s;  // the simulated car idles at about -0.68 bar for its first seconds
    ASSERT_TRUE(s.connect());
    s.platform.enter_after_polls = 10;
    const RecordingResult result = record(s.ctx, true);
    EXPECT_GT(result.records, 40u);
    EXPECT_EQ(s.log.count, 21);
    for (int i = 0; i <= 21; ++i)
        EXPECT_LT(s.log.samples[i].boost, -0.5F) << "sample " << i;
}

// The device streams at the full line rate, about 443 records a second,
// while the recording looks at the line every 20 ms: nothing is lost.
TEST(StreamRecordingE2E, FullRateStreamIsCapturedWithoutLoss) {
    SimulatedLink s;
    ASSERT_TRUE(s.connect());
    s.platform.enter_after_polls = 150;  // three seconds
    const RecordingResult result = record(s.ctx, false);

    EXPECT_EQ(result.end, RecordingEnd::enter_pressed);
    const auto streamed = s.sim.log().streamed_records;
    // Only the records still on their way when the stop went out may be
    // missing. A receiver that cannot keep up makes the device drop records.
    EXPECT_GT(s.log.count, 1000);
    EXPECT_GE(streamed, static_cast<std::uint64_t>(s.log.count));
    EXPECT_LE(streamed, static_cast<std::uint64_t>(s.log.count) + 200u)
        << "records were lost on the way";
    std::uint32_t last_time = 0;
    for (int i = 0; i < s.log.count; ++i) {
        EXPECT_GE(s.log.samples[i].time_ms - s.log.samples[0].time_ms, last_time);
        last_time = s.log.samples[i].time_ms - s.log.samples[0].time_ms;
    }
}

// A log file carried no times, so its time axis was 4.3 times too long.
TEST(StreamRecordingE2E, ARecordingsTimesComeBackWithItsFile) {
    SimulatedLink s;
    ASSERT_TRUE(s.connect());
    RecordingSession session(s.ctx);
    const std::uint32_t began = s.platform.now_ms();
    ASSERT_TRUE(session.start(false));
    RecordingEnd why{};
    while (s.platform.now_ms() - began < 3000) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kRecordingTickMs));
        ASSERT_TRUE(session.take_arrived(why));
    }
    const std::uint32_t wall_ms = s.platform.now_ms() - began;
    const RecordingResult result = session.finish(RecordingEnd::enter_pressed);
    LogBuffer loaded;
    ASSERT_TRUE(log_read_file(loaded, result.file).ok);
    ASSERT_EQ(loaded.count, s.log.count);
    ASSERT_TRUE(loaded.has_times);
    const auto span = static_cast<double>(loaded.samples[loaded.valid().size() - 1].time_ms);
    EXPECT_NEAR(span, wall_ms, 0.02 * wall_ms);
}

// The device streams exactly 5000 records back to back at the line rate and
// then falls silent: every one of them must be in the log and the files,
// none twice.
TEST(StreamRecordingE2E, EveryRecordOfAFullRateStreamIsKept) {
    devsim::SimulatorOptions options;
    options.stream_limit = 5000;
    SimulatedLink s(options);
    ASSERT_TRUE(s.connect());
    const RecordingResult result = record(s.ctx, false);
    EXPECT_EQ(result.end, RecordingEnd::stream_silent);
    EXPECT_EQ(s.sim.log().streamed_records, 5000u);
    EXPECT_EQ(s.log.count, 5000);
    EXPECT_EQ(s.log_lines(), 5000u + 2u) << "header lines plus one line per sample";
    EXPECT_EQ(result.kept, 5000u);
}

std::string firmware_image(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 13 + 5) & 0xFF);
    return bytes;
}

TEST(FirmwareE2E, ImageWithPartialLastBlockFlashesHeaderAndThreeBlocks) {
    SimulatedLink s;
    const std::string image = firmware_image(64 + 3 * 1024 + 500);
    testing::write_file(s.dir / "image.frw", image);
    EXPECT_EQ(update_firmware_from_file(s.link, s.platform, s.dir / "image.frw"),
              FirmwareOutcome::complete);

    EXPECT_EQ(
        s.platform.lower_status,
        (std::vector<std::string>{"(update: step 1...)", "(update: step 2...)", "(update:  0%)",
                                  "(update:  33%)", "(update:  66%)", "(update:  100%)", ""}));
    EXPECT_EQ(s.platform.messages.back().text, "Update complete!");
    const devsim::FirmwareRecord fw = s.sim.firmware();
    EXPECT_TRUE(fw.loader_entered);
    EXPECT_EQ(std::string(fw.header.begin(), fw.header.end()), image.substr(0, 64));
    EXPECT_EQ(fw.accepted_blocks, (std::vector<std::uint32_t>{0, 1, 2}));
    for (std::uint32_t k = 0; k < 3; ++k) {
        const auto& got = fw.image.at(k);
        EXPECT_EQ(std::string(got.begin(), got.end()), image.substr(64 + 1024 * k, 1024));
    }
    EXPECT_FALSE(s.link.is_open());
    EXPECT_EQ(s.link.timeouts, TimeoutSet::normal);
}

TEST(FirmwareE2E, BlocksRefusedThreeTimesStillComplete) {
    devsim::SimulatorOptions options;
    options.refuse_firmware_block = 3;
    SimulatedLink s(options);
    testing::write_file(s.dir / "image.frw", firmware_image(64 + 2 * 1024));
    EXPECT_EQ(update_firmware_from_file(s.link, s.platform, s.dir / "image.frw"),
              FirmwareOutcome::complete);
    const devsim::FirmwareRecord fw = s.sim.firmware();
    EXPECT_EQ(fw.accepted_blocks, (std::vector<std::uint32_t>{0, 1}));
    EXPECT_EQ(fw.refusals, 6);
}

TEST(FirmwareE2E, ShortFileNeverOpensThePort) {
    SimulatedLink s;
    testing::write_file(s.dir / "short.frw", firmware_image(40));
    EXPECT_EQ(update_firmware_from_file(s.link, s.platform, s.dir / "short.frw"),
              FirmwareOutcome::file_refused);
    EXPECT_TRUE(s.platform.opens.empty());
    EXPECT_TRUE(s.sim.log().commands.empty());
    EXPECT_FALSE(s.sim.firmware().loader_entered);
    EXPECT_EQ(s.platform.messages.back().caption, "Error");
}

}  // namespace
}  // namespace veloquin
