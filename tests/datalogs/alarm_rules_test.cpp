#include "datalogs/alarm_rules.h"

#include <gtest/gtest.h>

#include <vector>

#include "datalogs/log_markers.h"
#include "tests/support/temp_dir.h"

namespace veloquin {
namespace {

AlarmRule boost_rule(double threshold, std::uint32_t hold_ms, double hysteresis) {
    AlarmRule r;
    r.name = "Overboost";
    r.channel = "BOOST";
    r.threshold = threshold;
    r.hold_ms = hold_ms;
    r.hysteresis = hysteresis;
    return r;
}

// Feeds boost values 10 ms apart; the indexes of the samples where it fired.
std::vector<int> firings(AlarmWatch& watch, const std::vector<float>& boost, float afr = 14.0F) {
    std::vector<int> at;
    for (std::size_t i = 0; i < boost.size(); ++i) {
        LogSample s;
        s.boost = boost[i];
        s.afr = afr;
        if (!watch.feed(s, static_cast<std::uint32_t>(1000 + 10 * i), 1.5).empty()) {
            at.push_back(static_cast<int>(i));
        }
    }
    return at;
}

TEST(AlarmWatch, FiresOnceTheConditionHasLastedItsHoldTime) {
    AlarmWatch watch;
    watch.set_rules({boost_rule(1.0, 20, 0.0)});
    // Past the threshold at 2, a dip at 3 starts the hold again; 4..6 last 20 ms.
    EXPECT_EQ(firings(watch, {0.5F, 0.9F, 1.1F, 0.8F, 1.2F, 1.3F, 1.4F, 1.5F}),
              std::vector<int>{6});
    EXPECT_TRUE(watch.active(0));
    EXPECT_TRUE(watch.channel_alarmed(LogChannel::boost));
    EXPECT_FALSE(watch.channel_alarmed(LogChannel::afr));
}

TEST(AlarmWatch, HysteresisKeepsAnOscillationInsideTheBandToOneFiring) {
    const std::vector<float> flutter = {1.1F, 0.95F, 1.1F, 0.92F, 1.05F, 0.85F, 1.1F};
    AlarmWatch with_band;
    with_band.set_rules({boost_rule(1.0, 0, 0.1)});
    // Fires at 0; only the fall to 0.85 (past 1.0 - 0.1) lets it fire again.
    EXPECT_EQ(firings(with_band, flutter), (std::vector<int>{0, 6}));
    AlarmWatch without_band;
    without_band.set_rules({boost_rule(1.0, 0, 0.0)});
    EXPECT_EQ(firings(without_band, flutter), (std::vector<int>{0, 2, 4, 6}));
}

TEST(AlarmWatch, WhileConditionMapTopAndBelowRules) {
    AlarmSettings defaults = default_alarm_settings();
    AlarmWatch watch;
    watch.set_rules({defaults.rules[1]});  // AFR above 12.5 while BOOST above 0.3
    EXPECT_TRUE(firings(watch, std::vector<float>(50, 0.2F), 13.5F).empty());
    EXPECT_EQ(firings(watch, std::vector<float>(50, 0.5F), 13.5F).size(), 1U);

    AlarmRule top = defaults.rules[0];  // above the map's top pressure, 1.5 bar here
    top.hold_ms = 0;
    AlarmRule vacuum = boost_rule(-0.5, 0, 0.0);
    vacuum.side = AlarmSide::below;
    watch.set_rules({top, vacuum});
    LogSample s;
    s.boost = 1.6F;
    const auto fired = watch.feed(s, 0, 1.5);
    ASSERT_EQ(fired.size(), 1U);
    EXPECT_EQ(fired[0].text, "Overboost: 1.60 bar");
    s.boost = -0.6F;
    EXPECT_EQ(watch.feed(s, 10, 1.5).at(0).rule, 1U);
}

TEST(AlarmRulesFile, RoundTripsAndAnUnreadableFileGivesTheDefaultsWithAMessage) {
    testing::TempDir dir;
    AlarmSettings s = default_alarm_settings();
    s.sound = false;
    s.rules[2].on = false;
    s.rules[3].side = AlarmSide::below;
    ASSERT_TRUE(write_alarm_settings(dir.path(), s, nullptr));
    const AlarmSettingsRead back = read_alarm_settings(dir.path());
    EXPECT_TRUE(back.message.empty());
    EXPECT_EQ(format_alarm_settings(back.settings), format_alarm_settings(s));

    testing::write_file(dir / std::string(kAlarmRulesFile),
                        "sound off\nOverboost | on | BOOTS > 1.5 | always | hold 0 ms | "
                        "hysteresis 0\n");
    const AlarmSettingsRead bad = read_alarm_settings(dir.path());
    EXPECT_EQ(bad.message,
              "alarm-rules.txt not read (line 2: no channel BOOTS): the default "
              "alarms are used");
    EXPECT_EQ(format_alarm_settings(bad.settings), format_alarm_settings(default_alarm_settings()));
    std::filesystem::remove(dir / std::string(kAlarmRulesFile));
    std::filesystem::create_directory(dir / std::string(kAlarmRulesFile));
    EXPECT_NE(read_alarm_settings(dir.path()).message.find("not read"), std::string::npos);
}

TEST(LogMarkersFile, RoundTripsBesideTheLogAndDropsMarkersPastItsEnd) {
    testing::TempDir dir;
    LogBuffer log;
    log.make_room(100);
    log.count = 100;
    log.has_times = true;
    for (int i = 0; i < log.count; ++i)
        log.samples[static_cast<std::size_t>(i)].time_ms = 5000 + 8 * static_cast<unsigned>(i);
    add_log_marker(log, 40, "Overboost: 1.72 bar");
    add_log_marker(log, 7, "Marked\there");
    const auto path = dir / "run.log";
    ASSERT_TRUE(write_log_markers(path, log, nullptr));
    EXPECT_EQ(testing::read_file(log_markers_path(path)),
              "veloquin log markers 1\n7\t56\tMarked here\n40\t320\tOverboost: 1.72 bar\n");
    log.make_room(30);
    log.count = 30;
    EXPECT_NE(read_log_markers(path, log).find("markers past the log's end were dropped: 1"),
              std::string::npos);
    ASSERT_EQ(log.markers.size(), 1U);
    EXPECT_EQ(log.markers[0].sample, 7);
    log.markers.clear();
    ASSERT_TRUE(write_log_markers(path, log, nullptr));
    EXPECT_FALSE(std::filesystem::exists(log_markers_path(path)));
}

TEST(LogMarkers, NextAndPreviousPutTheViewersCursorOnTheirSampleInAnyView) {
    LogBuffer log;
    log.make_room(20000);
    log.count = 20000;  // more samples than the plot has pixels
    add_log_marker(log, 12345, "b");
    add_log_marker(log, 77, "a");
    LogView view;
    view.range = {0, 500};
    view.zoomed_log_count = log.count;
    ASSERT_EQ(next_log_marker(log, 77, true), 1U);
    EXPECT_EQ(next_log_marker(log, 77, false), std::nullopt);
    put_log_cursor_on(log, view, log.markers[1].sample);
    EXPECT_EQ(log.cursor_index, 12345);
    EXPECT_LE(view.range.first, 12345);
    EXPECT_GT(view.range.first + view.range.count, 12345) << "the zoomed view slid to show it";
    put_log_cursor_on(log, view, log.markers[0].sample);
    EXPECT_EQ(log.cursor_index, 77);
}

}  // namespace
}  // namespace veloquin
