// Alarms against the simulated device: devsim's overboost event during a
// recording, through the program's own poll, recording and log files.

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>
#include <thread>

#include "app/application.h"
#include "app/commands.h"
#include "datalogs/log_exchange.h"
#include "datalogs/log_markers.h"
#include "device/serial_posix.h"
#include "devsim/simulator.h"
#include "tests/support/fake_platform.h"
#include "tests/support/temp_dir.h"

namespace veloquin::testing {
namespace {

struct AlarmPlatform : FakePlatform {
    int sounds = 0;
    void play_alarm_sound() override { ++sounds; }
};

// The sample where a rule "BOOST > top for hold_ms" must fire first.
std::int64_t first_firing(const LogBuffer& log, double top, std::uint32_t hold_ms) {
    std::int64_t since = -1;
    for (int i = 0; i < log.count; ++i) {
        const LogSample& s = log.samples[static_cast<std::size_t>(i)];
        if (s.boost <= top) {
            since = -1;
            continue;
        }
        if (since < 0) since = i;
        if (s.time_ms - log.samples[static_cast<std::size_t>(since)].time_ms >= hold_ms) return i;
    }
    return -1;
}

TEST(AlarmsE2E, OverboostEventFiresOnceMarksItsSampleAndTheMarkerSurvivesSaveAndLoad) {
    TempDir dir;
    // A band wider than the event's flutter: one alarm for the whole surge.
    write_file(dir / "alarm-rules.txt",
               "Overboost | on | BOOST > map-top | always | hold 100 ms | hysteresis 0.3\n");
    devsim::SimulatorOptions options;
    std::string error;
    options.events.push_back(*devsim::parse_engine_event("overboost@1500ms:1500ms", error));
    devsim::Simulator sim(options);
    ASSERT_TRUE(sim.start(&error)) << error;
    AlarmPlatform platform;
    platform.opener = [&](int port, TimeoutSet timeouts) -> SerialOpenResult {
        if (port != 1) return {nullptr, "no such device"};
        return open_posix_serial(sim.slave_path(), timeouts);
    };
    Application app(platform, Edition::full);
    app.start(working_folders(base_folder(dir.path().string())), dir.path());
    app.create_main_window();
    auto poll = [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        platform.clock_ms += 20;
        app.poll_tick();
    };
    for (int i = 0; i < 40 && !app.state().link.connected; ++i)
        poll();
    ASSERT_TRUE(app.state().link.connected);
    const CalibrationWords before = calibration_words(app.state().cal);

    app.command(cmd::start_log_record);
    ASSERT_TRUE(app.recording());
    for (int i = 0; i < 175; ++i)
        poll();
    app.stop_recording();

    const LogBuffer& log = app.state().log;
    const double top = map_top_bar(app.state().cal);
    const std::int64_t expected = first_firing(log, top, 100);
    ASSERT_GE(expected, 0) << "the boost never passed " << top << " bar for 100 ms";
    ASSERT_EQ(log.markers.size(), 1U);
    EXPECT_EQ(log.markers[0].sample, expected);
    EXPECT_EQ(log.markers[0].text.rfind("Overboost: ", 0), 0U) << log.markers[0].text;
    EXPECT_EQ(platform.sounds, 1);
    EXPECT_NE(
        std::find(platform.lower_status.begin(), platform.lower_status.end(), log.markers[0].text),
        platform.lower_status.end());
    EXPECT_EQ(calibration_words(app.state().cal), before) << "an alarm only tells";

    ASSERT_TRUE(app.save_log((dir / "saved.log").string()));
    for (const std::filesystem::path& file : {dir / "saved.log", app.last_recording().file}) {
        ASSERT_TRUE(app.load_log(file.string()));
        ASSERT_EQ(app.state().log.markers.size(), 1U) << file;
        EXPECT_EQ(app.state().log.markers[0].sample, expected) << file;
    }
    // The CSV export carries it on the same sample's line (the header is line 0).
    std::istringstream csv(format_log_csv(app.state().log));
    std::string line;
    for (std::int64_t i = 0; i <= expected + 1 && std::getline(csv, line); ++i) {
        if (i != 0 && i != expected + 1) {
            EXPECT_EQ(line.find("Overboost"), std::string::npos) << "line " << i;
        }
    }
    EXPECT_NE(line.find("Overboost: "), std::string::npos) << line;
    close_port(app.state().link);
}

}  // namespace
}  // namespace veloquin::testing
