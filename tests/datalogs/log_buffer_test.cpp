#include <gtest/gtest.h>

#include <string>

#include "calibration/calibration.h"
#include "datalogs/live_sample.h"
#include "datalogs/log_exchange.h"
#include "datalogs/log_sample.h"
#include "datalogs/log_stats.h"
#include "tests/datalogs/log_samples.h"

namespace veloquin {
namespace {

using testing::fill_numbered;
using testing::numbered_sample;

TEST(LogCrop, KeepsTheSelectionInOrderAndClearsTheCursor) {
    LogBuffer log;
    fill_numbered(log, 500);
    log.cursor_px = 300;
    log.anchor_px = 150;
    log.cursor_index = 199;
    log.anchor_index = 100;
    log.sel_left_px = 150;
    log.sel_right_px = 300;
    log.sel_first = 100;
    log.sel_last = 199;
    EXPECT_TRUE(log_crop(log));
    ASSERT_EQ(log.count, 100);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(log.samples[static_cast<std::size_t>(i)].rpm, numbered_sample(100 + i).rpm);
    }
    EXPECT_EQ(log.cursor_px + log.anchor_px + log.cursor_index + log.anchor_index +
                  log.sel_left_px + log.sel_right_px + log.sel_first + log.sel_last,
              0);
}

TEST(LogCrop, DoesNothingWithoutASelectionOrSamples) {
    LogBuffer log;
    fill_numbered(log, 50);
    log.cursor_px = 5;
    log.sel_first = 0;
    log.sel_last = 0;
    EXPECT_FALSE(log_crop(log));
    EXPECT_EQ(log.count, 50);
    EXPECT_EQ(log.cursor_px, 5);
    // A single click marks one sample, no range: the log stays whole.
    log.sel_first = log.sel_last = 20;
    EXPECT_FALSE(log_crop(log));
    EXPECT_EQ(log.count, 50);

    log.count = 0;
    log.sel_last = 10;
    EXPECT_FALSE(log_crop(log));
    EXPECT_EQ(log.count, 0);
}

TEST(LogCrop, SelectionFromALongerLogIsHeldInsideTheSamples) {
    LogBuffer log;
    fill_numbered(log, 50);
    log.sel_first = 40;
    log.sel_last = 900;  // painted before a shorter log was loaded
    EXPECT_TRUE(log_crop(log));
    EXPECT_EQ(log.count, 10);
    EXPECT_EQ(log.samples[0].rpm, numbered_sample(40).rpm);
    EXPECT_EQ(log.samples[9].rpm, numbered_sample(49).rpm);
}

TEST(LogRecording, StartClearsMazdaModeFlagsAndEcuBands) {
    LogBuffer log;
    fill_numbered(log, 30);
    log.mazda_log = true;
    log.set_visible(LogChannel::ecu_load, true);
    log.set_visible(LogChannel::ecu_ignition, true);
    log.set_visible(LogChannel::speed, true);
    begin_log_recording(log);
    EXPECT_EQ(log.count, 0);
    EXPECT_FALSE(log.mazda_log);
    EXPECT_FALSE(log.visible(LogChannel::ecu_load));
    EXPECT_FALSE(log.visible(LogChannel::ecu_ignition));
    EXPECT_TRUE(log.visible(LogChannel::speed));
    EXPECT_TRUE(log.has_times);
    EXPECT_EQ(log.next_slot().flags, 0) << "flags left over from the log before";
}

Calibration known_calibration() {
    Calibration cal;
    cal.param(hw::MAP_05V) = 573;   // -0.5 bar
    cal.param(hw::MAP_00V) = 1024;  // 0.0 bar
    cal.param(hw::THROTTLE_LO) = 200;
    cal.param(hw::THROTTLE_HI) = 3800;
    cal.param(hw::AFR_0V) = 1000;  // 10.00 at 0 V
    cal.param(hw::AFR_5V) = 2000;  // 20.00 at 5 V
    for (int i = 0; i <= cv::IAT_SENSOR_POINTS; ++i)
        cal.curve_word(cv::IAT_SENSOR + i) = 30;
    return cal;
}

TEST(LiveSample, KnownRecordConvertsToTheTunersUnits) {
    LiveRecord rec;
    rec.set_word(2, 3000);
    rec.set_word(4, 88);
    rec.set_word(6, 1475);   // +0.5 bar
    rec.set_word(8, 2457);   // 3 V
    rec.set_word(10, 819);   // 1 V
    rec.set_word(12, 2000);  // half way between the throttle ends
    rec.set_word(14, 1500);
    rec.set_word(16, 2048);  // 2.5 V
    rec.bytes[18] = 200;     // unsigned
    rec.bytes[19] = 0xF6;    // -10, signed
    rec.set_word(20, -300);
    rec.set_word(22, 4095);

    LogSample s;
    s.flags = 9;
    s.inj_pulse = 1.5F;
    fill_sample_from_live(s, rec, known_calibration(), 123456);
    EXPECT_EQ(s.time_ms, 123456U);
    EXPECT_EQ(s.rpm, 3000);
    EXPECT_EQ(s.speed, 88);
    EXPECT_NEAR(s.boost, 0.5F, 1e-6F);
    EXPECT_NEAR(s.maf_in, 3.0F, 1e-4F);
    EXPECT_NEAR(s.maf_out, 1.0F, 1e-4F);
    EXPECT_NEAR(s.throttle, 50.0F, 1e-4F);
    EXPECT_EQ(s.temperature, 30);
    EXPECT_NEAR(s.afr, 15.0F, 2e-3F);
    EXPECT_FLOAT_EQ(s.inj_duty, 200.0F);
    EXPECT_FLOAT_EQ(s.wg_duty, -10.0F);
    EXPECT_FLOAT_EQ(s.fuel_corr, -300.0F);
    EXPECT_FLOAT_EQ(s.knock, 5.0F);
    EXPECT_EQ(s.ecu_load, -1);
    EXPECT_FLOAT_EQ(s.ecu_ignition, -1.0F);
    // Fields the device does not report stay as the slot held them.
    EXPECT_EQ(s.flags, 9);
    EXPECT_FLOAT_EQ(s.inj_pulse, 1.5F);
}

TEST(LiveSample, UncalibratedThrottleGivesZeroNotInfinity) {
    Calibration cal = known_calibration();
    cal.param(hw::THROTTLE_HI) = cal.param(hw::THROTTLE_LO);
    LiveRecord rec;
    rec.set_word(12, 3000);
    LogSample s;
    fill_sample_from_live(s, rec, cal, 1);
    EXPECT_FLOAT_EQ(s.throttle, 0.0F);
    // Below the closed reading the opening goes negative, unclamped.
    EXPECT_NEAR(live_throttle_percent(known_calibration(), 20), -5.0F, 1e-4F);
}

TEST(LogExport, TablesNameEachColumnWithItsUnitAndCarryTimesAndMarkers) {
    LogBuffer log;
    fill_numbered(log, 2);
    EXPECT_EQ(format_log_csv(log),
              "RPM (rpm),BOOST (bar),THROTTLE (%),MAFIn (V),MAFOut (V),FuelCorr (%),TEMP (°C),"
              "AFR (AFR),SPEED (km/h),INJ.DUTY (%),KNOCK (V),FLAGS,LOAD (%),IGN (deg),"
              "WGDuty (%)\n"
              "800,-0.5,0,0,0,-25,-10,10,0,0,0,0,-1,-1,0\n"
              "810,-0.25,1,0.5,0.25,-24,-9,10.5,1,0.5,0.25,1,-1,-1,1\n");

    // Times count from the first sample, across a wrap of the device's clock.
    log.samples[0].time_ms = 0xFFFFFFF0U;
    log.samples[1].time_ms = 1010;
    log.has_times = true;
    log.markers = {{1, "lean, \"hot\""}, {1, "second"}};
    const std::string csv = format_log_csv(log);
    EXPECT_TRUE(csv.starts_with("Time (s),RPM (rpm),"));
    EXPECT_NE(csv.find(",WGDuty (%),Marker\n0.000,800,"), std::string::npos);
    EXPECT_TRUE(
        csv.ends_with("\n1.026,810,-0.25,1,0.5,0.25,-24,-9,10.5,1,0.5,0.25,1,-1,-1,1,"
                      "\"lean, \"\"hot\"\"; second\"\n"));

    const std::string msl = format_log_msl(log, "Mon Dec 07 12:00:00 2026");
    EXPECT_TRUE(
        msl.starts_with("\"Veloquin data log\"\nCapture Date: Mon Dec 07 12:00:00 2026\n"
                        "Time\tRPM\tBOOST\t"));
    EXPECT_NE(msl.find("\ns\trpm\tbar\t%\t"), std::string::npos);
    EXPECT_TRUE(msl.ends_with("\t1\tlean, \"hot\"; second\n"));

    // A Mazda log's load and ignition sit in other columns; they travel under their own names.
    log.mazda_log = true;
    log.samples[1].inj_duty = 95.0F;
    log.samples[1].temperature = 12;
    EXPECT_TRUE(format_log_csv(log).starts_with(
        "Time (s),Load (%),BOOST (bar),RPM (rpm),Ignition (deg),AirFlow,Throttle (%),Marker\n"));
    EXPECT_NE(format_log_csv(log).find("\n1.026,95,-0.25,810,12,"), std::string::npos);
}

TEST(LogExport, StatsGiveRangeMeanAndDuration) {
    LogBuffer log;
    EXPECT_TRUE(compute_log_stats(log).columns.empty());

    fill_numbered(log, 3);  // rpm 800, 810, 820
    LogStats stats = compute_log_stats(log);
    EXPECT_EQ(stats.count, 3);
    EXPECT_FALSE(stats.has_times);
    ASSERT_EQ(stats.columns.size(), 15U);
    EXPECT_EQ(stats.columns[0].name, "RPM");
    EXPECT_DOUBLE_EQ(stats.columns[0].min, 800.0);
    EXPECT_DOUBLE_EQ(stats.columns[0].max, 820.0);
    EXPECT_DOUBLE_EQ(stats.columns[0].mean, 810.0);

    // Clock readings that wrap past 2^32 still give the right duration.
    log.samples[0].time_ms = 0xFFFFFF00U;
    log.samples[1].time_ms = 0xFFFFFFF0U;
    log.samples[2].time_ms = 0x100U;
    stats = compute_log_stats(log);
    EXPECT_TRUE(stats.has_times);
    EXPECT_EQ(stats.duration_ms, 0x200U);
}

}  // namespace
}  // namespace veloquin
