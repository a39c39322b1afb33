#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "calibration/calibration.h"
#include "calibration/config_keys.h"
#include "calibration/conversions.h"

namespace veloquin {
namespace {

Calibration started() {
    Calibration cal;
    set_start_values(cal);
    return cal;
}

TEST(CalibrationModel, FreshStartHoldsOnlyTheEightSensorValuesAndMapUnits) {
    const Calibration cal = started();
    EXPECT_EQ(cal.param(hw::MAP_00V), 1024);
    EXPECT_EQ(cal.param(hw::MAP_05V), 573);
    EXPECT_EQ(cal.param(hw::MAP_LO), 410);
    EXPECT_EQ(cal.param(hw::MAP_HI), 2703);
    EXPECT_EQ(cal.param(hw::THROTTLE_LO), 410);
    EXPECT_EQ(cal.param(hw::THROTTLE_HI), 3686);
    EXPECT_EQ(cal.param(hw::MAF_LO), 164);
    EXPECT_EQ(cal.param(hw::MAF_HI), 4095);
    EXPECT_EQ(cal.param(hw::MAP_UNITS), 1);
    int nonzero = 0;
    for (auto w : cal.header)
        nonzero += w != 0;
    EXPECT_EQ(nonzero, 9);
    for (const auto& m : cal.maps) {
        for (auto v : m)
            ASSERT_EQ(v, 0);
    }
    for (auto v : cal.curves)
        ASSERT_EQ(v, 0);
    for (const auto& s : cal.sums)
        EXPECT_EQ(s.synced, 0U);
}

TEST(CalibrationModel, LayoutMatchesTheTransferBlocks) {
    Calibration cal;
    cal.cell(MapId::boost_duty, 23, 19) = 7;
    EXPECT_EQ(cal.map(MapId::boost_duty)[479], 7);
    cal.cell(MapId::map_2_maf, 2, 3) = 9;
    EXPECT_EQ(cal.map(MapId::map_2_maf)[43], 9);
    EXPECT_EQ(block_bytes(Block::header), 364);
    EXPECT_EQ(block_bytes(Block::sensors), 856);
    EXPECT_EQ(block_bytes(Block::f_map), 960);
    EXPECT_EQ(block_words(cal, Block::boost_map).data(), cal.map(MapId::boost_duty).data());
    EXPECT_EQ(block_name(Block::meth_map), "meth-map");
    EXPECT_EQ(sw::record_start(3), 139);
    EXPECT_EQ(hw::BOOST_DUTY_MIN, 164);
}

TEST(CalibrationModel, MarkAllUnsyncedExceedsEveryPossibleSum) {
    Calibration cal;
    mark_all_unsynced(cal);
    for (const auto& s : cal.sums)
        EXPECT_GT(s.synced, 960U * 255U);
}

TEST(ConfigKeys, TableHoldsEveryKeyOnceWithTheRightEncoding) {
    const auto keys = config_keys();
    ASSERT_EQ(keys.size(), 129U);
    int volts = 0;
    int written = 0;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        volts += keys[i].encoding == KeyEncoding::volts;
        written += keys[i].written;
        EXPECT_GE(keys[i].word, 0);
        EXPECT_LT(keys[i].word, kHeaderWords);
        for (std::size_t j = i + 1; j < keys.size(); ++j) {
            EXPECT_NE(keys[i].name, keys[j].name);
            EXPECT_NE(keys[i].word, keys[j].word) << keys[i].name << " " << keys[j].name;
        }
    }
    EXPECT_EQ(volts, 8);
    EXPECT_EQ(written, 127);
    EXPECT_EQ(find_config_key("SW_D_THR2")->word, 139 + 14);
    EXPECT_EQ(find_config_key("BOOST_GEARD_6")->word, 181);
    EXPECT_EQ(find_config_key("sw_a_name"), nullptr);
    EXPECT_EQ(find_config_key("MAP_LO")->written, false);
    // No key may name a derived or reserved word.
    for (int derived : {37, 46, 47, 167, 169, 64 + 10, 139 + 21, 27, 53, 163}) {
        EXPECT_EQ(config_key_for_word(derived), nullptr) << derived;
    }
}

TEST(VoltsAndCounts, ConvertAsTheDeviceDoes) {
    const std::pair<float, int> cases[] = {{0.0F, 0},     {0.2F, 164},  {0.5F, 410},  {0.7F, 573},
                                           {1.25F, 1024}, {3.3F, 2703}, {4.5F, 3686}, {5.0F, 4095},
                                           {6.0F, 4095},  {-1.0F, 0}};
    for (auto [v, c] : cases)
        EXPECT_EQ(volts_to_counts(v), c) << v;
    EXPECT_FLOAT_EQ(counts_to_volts(0), 0.0F);
    EXPECT_LE(counts_to_volts(4095), 5.0F);
    EXPECT_EQ(format_volts(4095), "5.00");
    EXPECT_EQ(counts_to_volts(9000), 5.0F);
    EXPECT_EQ(counts_to_volts(-5), 0.0F);
}

TEST(VoltsAndCounts, EveryCountSurvivesTheThreeDecimalFileForm) {
    for (int c = 0; c <= 4095; ++c) {
        char text[32];
        std::snprintf(text, sizeof text, "%0.3f", static_cast<double>(counts_to_volts(c)));
        ASSERT_EQ(volts_to_counts(std::strtof(text, nullptr)), c) << text;
    }
}

TEST(Pressure, TwoPointSensorCalibrationAndItsInverse) {
    Calibration cal = started();
    EXPECT_DOUBLE_EQ(counts_to_bar(cal, 1024), 0.0);
    EXPECT_DOUBLE_EQ(counts_to_bar(cal, 573), -0.5);
    EXPECT_EQ(bar100_to_counts(cal, 0), 1024);
    EXPECT_EQ(bar100_to_counts(cal, -50), 573);
    cal.param(hw::MAP_UNITS) = 2;
    EXPECT_EQ(format_map(cal, 1024), "0.00");
    cal.param(hw::MAP_UNITS) = 1;
    EXPECT_EQ(format_map(cal, 573), "-0.50");
    cal.param(hw::MAP_UNITS) = 0;
    EXPECT_EQ(format_map(cal, 4095), "5.00");
    cal.param(hw::MAP_UNITS) = 7;  // unknown unit: volts rather than nothing
    EXPECT_EQ(format_map(cal, 4095), "5.00");
}

TEST(Pressure, DerivedLimitsFromStartValues) {
    Calibration cal = started();
    derive_map_pressure_limits(cal);
    EXPECT_EQ(cal.param(hw::MAP_BAR_LO), -68);
    EXPECT_EQ(cal.param(hw::MAP_BAR_HI), 186);
}

TEST(Pressure, CoincidentCalibrationPointsGiveZeroInsteadOfFaulting) {
    Calibration cal = started();
    cal.param(hw::MAP_05V) = cal.param(hw::MAP_00V);
    EXPECT_EQ(counts_to_bar(cal, 3000), 0.0);
    cal.param(hw::THROTTLE_HI) = cal.param(hw::THROTTLE_LO);
    EXPECT_EQ(tps_counts_to_percent(cal, 3000), 0);
}

TEST(Throttle, PercentIsUnclampedIntegerArithmetic) {
    const Calibration cal = started();
    EXPECT_EQ(tps_counts_to_percent(cal, 410), 0);
    EXPECT_EQ(tps_counts_to_percent(cal, 3686), 100);
    EXPECT_LT(tps_counts_to_percent(cal, 100), 0);
    EXPECT_EQ(tps_percent_to_counts(cal, 50), 410 + 50 * 3276 / 100);
}

TEST(IntakeTemperature, LookupAndReverseLookupThroughTheCurve) {
    Calibration cal;
    for (int i = 0; i < 33; ++i)
        cal.curve_word(cv::IAT_SENSOR + i) = static_cast<std::int16_t>(150 - 5 * i);
    cal.curve_word(cv::IAT_SENSOR + 3) = 60;
    cal.curve_word(cv::IAT_SENSOR + 4) = 50;
    EXPECT_EQ(iat_celsius_to_counts(cal, 55), 448);
    EXPECT_EQ(iat_counts_to_celsius(cal, 448), 54);
    EXPECT_EQ(iat_counts_to_celsius(cal, 0), 150);
    EXPECT_EQ(iat_counts_to_celsius(cal, 4095), 150 - 5 * 32);
    EXPECT_EQ(iat_celsius_to_counts(cal, 150), 0);   // at or above T[0]
    EXPECT_EQ(iat_celsius_to_counts(cal, -100), 0);  // below T[32]
    for (int i = 0; i < 33; ++i)
        cal.curve_word(cv::IAT_SENSOR + i) = static_cast<std::int16_t>(i);
    for (int a = -5; a < 40; ++a)
        EXPECT_EQ(iat_celsius_to_counts(cal, a), 0) << "rising curve";
}

TEST(AirFuelRatio, StraightLineBetweenTheTwoEnds) {
    Calibration cal;
    cal.param(hw::AFR_0V) = 1000;
    cal.param(hw::AFR_5V) = 2000;
    EXPECT_NEAR(afr_counts_to_afr(cal, 0), 10.0F, 1e-4);
    EXPECT_NEAR(afr_counts_to_afr(cal, 4095), 20.0F, 1e-3);
}

TEST(Airflow, ForwardAndReverseInterpolation) {
    Calibration cal;
    for (int i = 0; i <= 32; ++i)
        cal.set_maf_point(i, static_cast<std::uint16_t>(i * 1024));
    rebuild_maf_reverse_table(cal);
    EXPECT_EQ(maf_counts_to_airflow(cal, 0), 0);
    EXPECT_EQ(maf_counts_to_airflow(cal, 4095), (31 * 1024 * 1 + 32768 * 127 + 64) / 128);
    EXPECT_EQ(maf_counts_to_airflow(cal, -10), 0);
    EXPECT_EQ(maf_counts_to_airflow(cal, 99999), maf_counts_to_airflow(cal, 4095));
    EXPECT_EQ(cal.maf_reverse(256), 4096);  // M[32] = 32768 is never below an airflow
    EXPECT_EQ(maf_airflow_to_counts(cal, -1), maf_airflow_to_counts(cal, 0));
    EXPECT_EQ(maf_airflow_to_counts(cal, 40000), maf_airflow_to_counts(cal, 32767));
    for (int c = 0; c < 4096; c += 37) {
        EXPECT_NEAR(maf_airflow_to_counts(cal, maf_counts_to_airflow(cal, c)), c, 1) << c;
    }
}

TEST(Airflow, ReverseTableEdgeCases) {
    Calibration cal;
    cal.set_maf_point(0, 0);
    cal.set_maf_point(1, 1000);
    for (int i = 2; i <= 32; ++i)
        cal.set_maf_point(i, static_cast<std::uint16_t>(1000 + i));
    rebuild_maf_reverse_table(cal);
    EXPECT_EQ(cal.maf_reverse(1), 16);  // (128 * 128 + 500) / 1000
    // Above 32767 the curve is unsigned, never negative.
    cal.set_maf_point(32, 32768);
    EXPECT_EQ(cal.maf_point(32), 32768);
    EXPECT_GT(maf_counts_to_airflow(cal, 4095), 30000);
    // A curve starting above zero leaves low airflows unreachable.
    cal.set_maf_point(0, 500);
    rebuild_maf_reverse_table(cal);
    EXPECT_EQ(cal.maf_reverse(0), 4096);
}

TEST(Airflow, FlatSegmentSendsItsLevelToTheNextRisingSegment) {
    Calibration cal;
    for (int i = 0; i <= 32; ++i)
        cal.set_maf_point(i, static_cast<std::uint16_t>(i * 1024));
    cal.set_maf_point(3, 2048);  // points 2 and 3 both at 2048
    rebuild_maf_reverse_table(cal);
    // airflow 2048 is reverse entry 16: first segment with M[i] <= a < M[i+1] is i = 3
    EXPECT_EQ(cal.maf_reverse(16), 3 * 128);
}

TEST(DerivedValues, RecomputeFillsSwitchWordsAndOutputTable) {
    Calibration cal;
    set_start_values(cal);
    for (int i = 0; i < 33; ++i)
        cal.curve_word(cv::IAT_SENSOR + i) = static_cast<std::int16_t>(150 - 5 * i);
    const int d = sw::record_start(3);
    cal.param(d + sw::MAP1) = 0;
    cal.param(d + sw::MAP2) = -50;
    cal.param(d + sw::THR1) = 100;
    cal.param(d + sw::IAT1) = 145;
    cal.param(hw::BOOST_START) = 0;
    recompute_derived_values(cal, Edition::full);
    EXPECT_EQ(cal.param(d + sw::MAP1_counts), 1024);
    EXPECT_EQ(cal.param(d + sw::MAP2_counts), 573);
    EXPECT_EQ(cal.param(d + sw::THR1_counts), 3686);
    EXPECT_EQ(cal.param(d + sw::IAT1_counts), iat_celsius_to_counts(cal, 145));
    EXPECT_EQ(cal.param(hw::BOOST_START_counts), 1024);
    for (int i = 0; i < 17; ++i)
        EXPECT_EQ(cal.curve_word(cv::AFR_OUTPUT + i), 5000);
}

TEST(DerivedValues, LiteEditionLeavesTheAfrOutputTableAlone) {
    Calibration cal;
    set_start_values(cal);
    cal.curve_word(cv::AFR_OUTPUT + 4) = 77;
    recompute_derived_values(cal, Edition::lite);
    EXPECT_EQ(cal.curve_word(cv::AFR_OUTPUT + 4), 77);
    EXPECT_EQ(cal.curve_word(cv::AFR_OUTPUT), 0);
}

TEST(DerivedValues, HeaderCompletionAfterDownload) {
    Calibration cal = started();
    complete_header_after_download(cal);
    EXPECT_EQ(cal.param(hw::O2FB_Target), 1400);
    EXPECT_EQ(cal.param(hw::MAP_BAR_LO), -68);
    cal.param(hw::O2FB_Target) = 1470;
    cal.param(hw::MAP_BAR_LO) = -50;
    cal.param(hw::MAP_BAR_HI) = 100;
    complete_header_after_download(cal);
    EXPECT_EQ(cal.param(hw::O2FB_Target), 1470);
    EXPECT_EQ(cal.param(hw::MAP_BAR_HI), 100);
}

}  // namespace
}  // namespace veloquin
