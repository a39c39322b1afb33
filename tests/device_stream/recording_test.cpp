#include "device/recording.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <deque>
#include <string>
#include <vector>

#include "calibration/conversions.h"
#include "datalogs/log_sample.h"
#include "device/device_link.h"
#include "tests/support/fake_platform.h"
#include "tests/support/temp_dir.h"

namespace veloquin {
namespace {

using testing::FakePlatform;
using testing::ScriptedLine;
using testing::TempDir;

constexpr int kPort = 2;

// A device that streams live records after 0x20 until 0x10, the first
// `records` of them, then falls silent. Record i carries rpm i and the MAP
// counts the test chose.
struct StreamingDevice {
    FakePlatform platform;
    DeviceLink link;
    Calibration cal;
    LogBuffer log;
    TempDir dir;
    RecordingContext ctx{.platform = platform,
                         .link = link,
                         .calibration = cal,
                         .log = log,
                         .logs_folder = dir.path()};

    int records = INT_MAX;
    int map_counts = 0;
    bool streaming = false;
    int sent = 0;
    std::deque<int> pending;
    std::vector<std::uint8_t> commands;  // command code of every request

    StreamingDevice() {
        set_start_values(cal);
        map_counts = bar100_to_counts(cal, 50);
        link.port_number = kPort;
        auto& script = platform.ports[kPort];
        script.responder = [this](ScriptedLine::Script& s, const std::vector<std::uint8_t>& f) {
            commands.push_back(f[2]);
            if (f[2] == cmd::start_stream) streaming = true;
            if (f[2] == cmd::identify) {
                streaming = false;
                s.feed({0x11, 0x12, 'K', 'V', 0x00});
            }
        };
        script.unasked = [this](ScriptedLine::Script&) { return next_stream_byte(); };
        link.line = platform.open_serial(kPort, TimeoutSet::normal).line;
    }

    int next_stream_byte() {
        if (pending.empty() && streaming && sent < records) queue_record(sent++);
        if (pending.empty()) return -1;
        const int b = pending.front();
        pending.pop_front();
        return b;
    }
    void queue_record(int index) {
        LiveRecord r;
        r.set_word(2, index);
        r.set_word(6, map_counts);
        r.bytes[18] = 40;
        pending.push_back(0x11);
        pending.push_back(0x12);
        pending.insert(pending.end(), r.bytes.begin(), r.bytes.end());
        pending.push_back(0xA5);
    }
    ScriptedLine::Script& line() { return platform.ports[kPort]; }
    std::vector<std::string> log_lines() const {
        const std::string text = testing::read_file(dir / "default.log");
        std::vector<std::string> lines;
        std::size_t start = 0;
        for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos;
             start = end + 2) {
            lines.push_back(text.substr(start, end - start));
        }
        return lines;
    }
};

TEST(Recording, EnterEndsTheRecordingAfterTheCycleItWasReadIn) {
    StreamingDevice dev;
    dev.platform.clock_ms = 50000;
    // The first poll only clears a stale press; then records 1, 17 and 33 poll.
    dev.platform.enter_after_polls = 3;
    const RecordingResult result = record(dev.ctx, false);

    EXPECT_EQ(result.end, RecordingEnd::enter_pressed);
    EXPECT_EQ(dev.log.count, 34) << "record 33 opens a cycle whose second attempt still runs";
    EXPECT_EQ(result.records, 34);
    for (int i = 0; i < dev.log.count; ++i)
        EXPECT_EQ(dev.log.samples[i].rpm, i);
    EXPECT_EQ(dev.log.samples[5].time_ms, 50005u) << "after the 5 ms settling pause";
    EXPECT_EQ(dev.link.live.rpm(), 33) << "the live record follows the stream";
    EXPECT_EQ(dev.platform.upper_status,
              (std::vector<std::string>{"Logged: 1", "Logged: 17", "Logged: 33"}));
    EXPECT_EQ(dev.platform.lower_status, (std::vector<std::string>{"Logging. Press Enter.", ""}));
}

TEST(Recording, FramesTimersAndPageFollowTheRecordingOrder) {
    StreamingDevice dev;
    dev.records = 10;
    dev.platform.clock_ms = 7000;
    record(dev.ctx, false);

    const auto& frames = dev.line().frames;
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0], request_frame(cmd::start_stream, 0));
    EXPECT_EQ(frames[1], request_frame(cmd::identify, 0));
    EXPECT_EQ(dev.platform.timer_stops, 1);
    EXPECT_EQ(dev.platform.timer_starts, 1);
    EXPECT_TRUE(dev.platform.timers_running);
    EXPECT_EQ(dev.platform.pages_shown, std::vector<Page>{Page::log_viewer});
    EXPECT_EQ(dev.platform.repaints, 1);
    EXPECT_EQ(dev.ctx.last_end_ms, dev.platform.clock_ms);
    EXPECT_TRUE(dev.link.is_open()) << "the poll takes the line back as it was";
}

TEST(Recording, SilentDeviceEndsTheRecordingAndKeepsWhatCame) {
    StreamingDevice dev;
    dev.records = 100;
    const RecordingResult result = record(dev.ctx, false);
    EXPECT_EQ(result.end, RecordingEnd::stream_silent);
    EXPECT_EQ(dev.log.count, 100);
    EXPECT_TRUE(result.log_written);
    const auto lines = dev.log_lines();
    ASSERT_EQ(lines.size(), 102u);
    EXPECT_EQ(lines[0], "MAF-EMULATOR_LOG_FILE_Ver 5.0");
    EXPECT_EQ(lines[101].substr(0, 5), "   99");
}

TEST(Recording, StopsOnceMoreThan5990SamplesAreHeld) {
    StreamingDevice dev;
    const RecordingResult result = record(dev.ctx, false);
    EXPECT_EQ(result.end, RecordingEnd::log_full);
    EXPECT_EQ(dev.log.count, 5992);
    EXPECT_EQ(dev.log_lines().size(), 5994u);
}

TEST(Recording, PassModeKeepsTheLeadInAndThenOnlySamplesUnderBoost) {
    StreamingDevice dev;
    dev.records = 200;
    dev.map_counts = bar100_to_counts(dev.cal, -60);
    ASSERT_LT(counts_to_bar(dev.cal, dev.map_counts), -0.5);
    record(dev.ctx, true);
    EXPECT_EQ(dev.log.count, 21);
    EXPECT_EQ(dev.log.samples[21].rpm, 199) << "the slot after the kept ones is overwritten";
    EXPECT_EQ(dev.log_lines().size(), 23u);

    StreamingDevice boosted;
    boosted.records = 200;
    record(boosted.ctx, true);
    EXPECT_EQ(boosted.log.count, 200);
}

TEST(Recording, StreamCommandThatCannotBeWrittenStillEndsWithAnEmptyLog) {
    StreamingDevice dev;
    dev.log.count = 500;  // a log from before must not survive
    dev.line().fail_writes = true;
    const RecordingResult result = record(dev.ctx, false);
    EXPECT_EQ(result.end, RecordingEnd::stream_refused);
    EXPECT_EQ(dev.log.count, 0);
    EXPECT_EQ(dev.log_lines().size(), 2u);
    EXPECT_EQ(dev.platform.timer_starts, 1);
    EXPECT_EQ(dev.platform.pages_shown, std::vector<Page>{Page::log_viewer});
    EXPECT_TRUE(dev.platform.upper_status.empty());

    StreamingDevice unplugged;
    unplugged.link.line.reset();
    EXPECT_EQ(record(unplugged.ctx, false).end, RecordingEnd::stream_refused);
    EXPECT_EQ(unplugged.log_lines().size(), 2u);
}

TEST(Recording, LogThatCannotBeWrittenIsReportedInTheStatusLine) {
    StreamingDevice dev;
    dev.records = 20;
    dev.ctx.logs_folder = dev.dir / "no-such-folder";
    const RecordingResult result = record(dev.ctx, false);
    EXPECT_FALSE(result.log_written);
    EXPECT_FALSE(result.write_error.empty());
    EXPECT_EQ(dev.log.count, 20) << "the log stays in memory for Save Log As";
    EXPECT_NE(dev.platform.last_lower().find("default.log"), std::string::npos)
        << dev.platform.last_lower();
    EXPECT_EQ(dev.platform.pages_shown, std::vector<Page>{Page::log_viewer});
}

TEST(Recording, StaleRecordsAndTheStopReplyAreNotLeftForThePoll) {
    StreamingDevice dev;
    dev.records = 3;
    record(dev.ctx, false);
    EXPECT_TRUE(dev.line().input.empty());
    EXPECT_GE(dev.line().purges, 3);
}

TEST(RecordingGuard, RefusesWithinASecondOfTheLastEndAcrossClockWrap) {
    EXPECT_FALSE(recording_allowed(11000, 10000));
    EXPECT_TRUE(recording_allowed(11001, 10000));
    EXPECT_FALSE(recording_allowed(10000, 10000));
    EXPECT_TRUE(recording_allowed(0x00000300u, 0xFFFFFF00u));
    EXPECT_FALSE(recording_allowed(0x00000100u, 0xFFFFFF00u));
}

}  // namespace
}  // namespace veloquin
