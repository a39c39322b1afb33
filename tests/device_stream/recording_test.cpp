#include "device/recording.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <deque>
#include <string>
#include <vector>

#include "calibration/conversions.h"
#include "datalogs/log_file.h"
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
constexpr int kRpmWrap = 30000;

int index_of(const LogSample& s) {
    return s.rpm + kRpmWrap * s.speed;
}

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
    // Records the device has sent by the time a tick looks; unlimited: all.
    int pending_limit_per_tick = INT_MAX;
    bool streaming = false;
    int sent = 0;
    std::deque<int> pending;
    std::vector<std::uint8_t> commands;  // command code of every request

    StreamingDevice() {
        set_start_values(cal);
        map_counts = bar100_to_counts(cal, 50);
        link.port_number = kPort;
        platform.wall_clock = {2026, 12, 7, 14, 5, 9};
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
        if (pending.empty() && streaming && sent < records && pending_limit_per_tick > 0) {
            queue_record(sent++);
            if (pending_limit_per_tick != INT_MAX) --pending_limit_per_tick;
        }
        if (pending.empty()) return -1;
        const int b = pending.front();
        pending.pop_front();
        return b;
    }
    void queue_record(int index) {
        LiveRecord r;
        // rpm and speed together number the record: rpm alone would wrap.
        r.set_word(2, index % kRpmWrap);
        r.set_word(4, index / kRpmWrap);
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

std::vector<std::string> lines_of(const std::filesystem::path& file) {
    const std::string text = testing::read_file(file);
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

TEST(Recording, EnterEndsItAndEverySampleIsInTheLogDefaultLogAndItsOwnFile) {
    StreamingDevice dev;
    dev.records = 300;
    dev.platform.clock_ms = 50000;
    dev.platform.enter_after_polls = 2;  // the first poll only clears a stale press
    const RecordingResult result = record(dev.ctx, false);

    EXPECT_EQ(result.end, RecordingEnd::enter_pressed);
    ASSERT_EQ(dev.log.count, 300);
    for (int i = 0; i < dev.log.count; ++i)
        EXPECT_EQ(dev.log.samples[i].rpm, i);
    EXPECT_EQ(dev.link.live.rpm(), 299) << "the live record follows the stream";
    EXPECT_EQ(dev.platform.upper_status.back(), "Logged: 300");
    EXPECT_EQ(dev.platform.lower_status.front(), "Logging. Press Enter.");
    EXPECT_EQ(dev.platform.lower_status.back(), "");
    EXPECT_EQ(dev.log_lines().size(), 302u);
    EXPECT_EQ(result.file.filename(), "2026-12-07_14-05-09.log");
    EXPECT_EQ(lines_of(result.file), dev.log_lines()) << "the dated file holds the same samples";
}

TEST(Recording, FramesPageAndLineFollowTheRecordingOrder) {
    StreamingDevice dev;
    dev.records = 10;
    dev.platform.clock_ms = 7000;
    record(dev.ctx, false);

    const auto& frames = dev.line().frames;
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0], request_frame(cmd::start_stream, 0));
    EXPECT_EQ(frames[1], request_frame(cmd::identify, 0));
    EXPECT_EQ(dev.platform.timer_stops, 0) << "the program's timer drives the recording";
    EXPECT_EQ(dev.platform.pages_shown, std::vector<Page>{Page::log_viewer});
    EXPECT_EQ(dev.ctx.last_end_ms, dev.platform.clock_ms);
    EXPECT_TRUE(dev.link.is_open()) << "the poll takes the line back as it was";
    EXPECT_TRUE(dev.line().input.empty()) << "nothing of the stream is left for the poll";
    EXPECT_GE(dev.line().purges, 2);
}

TEST(Recording, SilenceEndsItKeepingWhatCame) {
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

// A limit of 1000 recorded 1001.
TEST(Recording, ASampleLimitEndsItOnlyWhenOneIsSet) {
    StreamingDevice limited;
    limited.records = 8000;
    limited.ctx.sample_limit = 5990;
    EXPECT_EQ(record(limited.ctx, false).end, RecordingEnd::log_full);
    EXPECT_EQ(limited.log.count, 5990);

    StreamingDevice unlimited;
    unlimited.records = 8000;
    EXPECT_EQ(record(unlimited.ctx, false).end, RecordingEnd::stream_silent);
    EXPECT_EQ(unlimited.log.count, 8000);
}

// Twenty minutes at the line rate (about 443 records a second): the file and
// the log hold every record in order.
TEST(Recording, ARecordingOfAnyLengthKeepsEveryRecordOnDisk) {
    StreamingDevice dev;
    dev.records = 20 * 60 * 443;
    const RecordingResult result = record(dev.ctx, false);
    ASSERT_EQ(result.kept, static_cast<std::uint64_t>(dev.records));
    ASSERT_EQ(dev.log.count, dev.records);
    for (int k = 0; k < dev.records; ++k)
        ASSERT_EQ(index_of(dev.log.samples[static_cast<std::size_t>(k)]), k) << k;
    const auto lines = lines_of(result.file);
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(dev.records) + 2);
    for (int i = 0; i < dev.records; i += 997) {
        EXPECT_EQ(std::stoi(lines[static_cast<std::size_t>(i) + 2].substr(0, 6)), i % kRpmWrap);
    }
}

// What a kill or a power cut leaves: the file as it stands, every record but
// those of the last second.
TEST(Recording, ItsFileIsReadableAtAnyMomentAndAtMostASecondBehind) {
    StreamingDevice dev;
    RecordingSession session(dev.ctx);
    ASSERT_TRUE(session.start(false));
    RecordingEnd why{};
    for (int tick = 0; tick < 150; ++tick) {
        dev.platform.clock_ms += kRecordingTickMs;
        dev.pending_limit_per_tick = 9;  // about 443 records a second
        ASSERT_TRUE(session.take_arrived(why));
    }
    LogBuffer on_disk;
    ASSERT_TRUE(log_read_file(on_disk, session.file()).ok);
    const auto taken = static_cast<int>(session.records());
    EXPECT_GE(on_disk.count, taken - 9 * 50) << "at most a second behind";
    EXPECT_GT(on_disk.count, 0);
    for (int i = 0; i < on_disk.count; ++i)
        ASSERT_EQ(on_disk.samples[i].rpm, i);
    session.finish(RecordingEnd::enter_pressed);
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

TEST(Recording, StreamCommandThatCannotBeWrittenChangesNothing) {
    StreamingDevice dev;
    dev.log.count = 500;  // the log from before stays, and so does its file
    testing::write_file(dev.dir / "default.log", "the last real recording");
    dev.line().fail_writes = true;
    const RecordingResult result = record(dev.ctx, false);
    EXPECT_EQ(result.end, RecordingEnd::stream_refused);
    EXPECT_EQ(dev.log.count, 500);
    EXPECT_EQ(testing::read_file(dev.dir / "default.log"), "the last real recording");
    EXPECT_TRUE(dev.platform.pages_shown.empty());
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

TEST(RecordingGuard, RefusesWithinASecondOfTheLastEndAcrossClockWrap) {
    EXPECT_FALSE(recording_allowed(11000, 10000));
    EXPECT_TRUE(recording_allowed(11001, 10000));
    EXPECT_FALSE(recording_allowed(10000, 10000));
    EXPECT_TRUE(recording_allowed(0x00000300u, 0xFFFFFF00u));
    EXPECT_FALSE(recording_allowed(0x00000100u, 0xFFFFFF00u));
}

}  // namespace
}  // namespace veloquin
