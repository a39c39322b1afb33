#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "calibration/conversions.h"
#include "editors/editor_commands.h"
#include "editors/map_operations.h"
#include "tests/editors/editor_fixture.h"
#include "tests/support/fake_platform.h"

namespace veloquin {
namespace {

using testing::cell;
using testing::select_cells;
using testing::select_points;
using testing::tuned_calibration;

int airflow_of(const Calibration& cal, int row, int col) {
    return maf_counts_to_airflow(cal, cal.cell(MapId::map_2_maf, row, col));
}

// What a cell holds after its airflow went through the conversion pair unchanged.
int round_trip(const Calibration& cal, int counts) {
    return maf_airflow_to_counts(cal, maf_counts_to_airflow(cal, counts));
}

TEST(Interpolate, OneRowOnMafEmulationFollowsAirflowNotCounts) {
    Calibration cal = tuned_calibration();
    EditorState s;
    cal.cell(MapId::map_2_maf, 7, 0) = 500;
    cal.cell(MapId::map_2_maf, 7, 4) = 3500;
    select_cells(s, 7, 0, 7, 4);
    Calibration boost = cal;
    boost.cell(MapId::boost_duty, 7, 0) = 10;
    boost.cell(MapId::boost_duty, 7, 4) = 50;
    EditorState boost_state = s;

    interpolate_selection(s, cal, Page::maf_emulation);
    const int a0 = airflow_of(cal, 7, 0);
    const int a4 = airflow_of(cal, 7, 4);
    for (int c = 1; c <= 3; ++c) {
        const int wanted = a0 + (a4 - a0) * c / 4;
        // One count of this sensor spans at most ~20 airflow units.
        EXPECT_NEAR(airflow_of(cal, 7, c), wanted, 20) << "column " << c;
    }
    EXPECT_NE(cell(cal, MapId::map_2_maf, 7, 2), 2000);  // the count midpoint
    EXPECT_EQ(cell(cal, MapId::map_2_maf, 7, 0), 500);
    EXPECT_EQ(cell(cal, MapId::map_2_maf, 7, 4), 3500);

    const Calibration before = boost;
    interpolate_selection(boost_state, boost, Page::boost_control);
    EXPECT_EQ(boost.maps, before.maps);
}

TEST(Interpolate, PlainMapsFillFromTheFourCorners) {
    Calibration cal = tuned_calibration();
    EditorState s;
    cal.cell(MapId::fuel_correction, 2, 1) = 0;
    cal.cell(MapId::fuel_correction, 2, 5) = 40;
    cal.cell(MapId::fuel_correction, 6, 1) = 80;
    cal.cell(MapId::fuel_correction, 6, 5) = 120;
    select_cells(s, 6, 5, 2, 1);  // corners given in either order
    interpolate_selection(s, cal, Page::fuel_correction);
    for (int r = 2; r <= 6; ++r) {
        for (int c = 1; c <= 5; ++c) {
            EXPECT_EQ(cell(cal, MapId::fuel_correction, r, c), 20 * (r - 2) + 10 * (c - 1));
        }
    }
    EXPECT_EQ(cell(cal, MapId::fuel_correction, 7, 3), 0);
}

TEST(Interpolate, BoostControlFillsBetweenRowsOnly) {
    Calibration cal = tuned_calibration();
    EditorState s;
    for (int c = 0; c < 3; ++c) {
        cal.cell(MapId::boost_duty, 0, c) = static_cast<std::int16_t>(10 * c);
        cal.cell(MapId::boost_duty, 4, c) = 40;
    }
    select_cells(s, 0, 0, 4, 2);
    interpolate_selection(s, cal, Page::boost_control);
    EXPECT_EQ(cell(cal, MapId::boost_duty, 0, 1), 10);  // the edge rows are left as they are
    EXPECT_EQ(cell(cal, MapId::boost_duty, 2, 0), 20);
    EXPECT_EQ(cell(cal, MapId::boost_duty, 2, 2), 30);
    EXPECT_EQ(cell(cal, MapId::boost_duty, 3, 1), 32);
}

TEST(Interpolate, SingleCellChangesNothingButRepaints) {
    Calibration cal = tuned_calibration();
    cal.cell(MapId::map_2_maf, 3, 3) = 1234;
    const Calibration before = cal;
    EditorState s;
    testing::FakePlatform platform;
    select_cells(s, 3, 3, 3, 3);
    apply_editor_command(s, cal, EditorCommand::interpolate, Page::maf_emulation, platform);
    EXPECT_EQ(cal.maps, before.maps);
    EXPECT_EQ(platform.repaints, 1);
}

TEST(Interpolate, CurvesFillBetweenTheEndPoints) {
    Calibration cal = tuned_calibration();
    EditorState s;
    cal.curve_word(cv::KNOCK + 2) = 100;
    cal.curve_word(cv::KNOCK + 5) = 400;
    cal.curve_word(cv::KNOCK + 3) = 7;
    select_points(s, 5, 2);
    interpolate_selection(s, cal, Page::knock_calibration);
    EXPECT_EQ(cal.curve_word(cv::KNOCK + 3), 200);
    EXPECT_EQ(cal.curve_word(cv::KNOCK + 4), 300);
    // Adjacent end points leave nothing in between.
    select_points(s, 3, 4);
    cal.curve_word(cv::KNOCK + 3) = 7;
    interpolate_selection(s, cal, Page::knock_calibration);
    EXPECT_EQ(cal.curve_word(cv::KNOCK + 3), 7);
}

TEST(Interpolate, MafCurveEndsAreUnsignedAndTheReverseTableFollows) {
    Calibration cal = tuned_calibration();
    EditorState s;
    cal.set_maf_point(30, 30000);
    cal.set_maf_point(32, 40000);  // above 32767: must count as a positive airflow
    select_points(s, 30, 32);
    interpolate_selection(s, cal, Page::maf_calibration);
    EXPECT_EQ(cal.maf_point(31), 35000);
    Calibration expected = cal;
    rebuild_maf_reverse_table(expected);
    EXPECT_EQ(cal.curves, expected.curves);

    // A reverse table that came with a download and no longer fits the curve
    // is rebuilt even when the range holds no point to fill.
    cal.curve_word(cv::MAF_REVERSE + 100) = 1;
    select_points(s, 12, 13);
    interpolate_selection(s, cal, Page::maf_calibration);
    EXPECT_EQ(cal.curves, expected.curves);
}

TEST(Interpolate, TemperaturePageUsesTheActiveCurve) {
    Calibration cal = tuned_calibration();
    EditorState s;
    s.active_temp_curve = TempCurve::correction;
    cal.curve_word(cv::IAT_CORRECTION + 0) = -20;
    cal.curve_word(cv::IAT_CORRECTION + 4) = 20;
    select_points(s, 0, 4);
    interpolate_selection(s, cal, Page::temp_correction);
    EXPECT_EQ(cal.curve_word(cv::IAT_CORRECTION + 1), -10);
    EXPECT_EQ(cal.curve_word(cv::IAT_CORRECTION + 3), 10);
    EXPECT_EQ(cal.curve_word(cv::IAT_SENSOR + 1), 0);
}

// Corners taken from a field linear in airflow: the airflow-domain
// interpolation must give back the field everywhere inside. With a sensor
// linear in voltage the conversions are exact and the result is within one
// count; on a curved sensor the reverse table's own rounding (up to a count
// each way through the conversion pair) can add a second count.
struct LinearFieldCase {
    double linear_share;  // 1.0: airflow proportional to voltage
    int tolerance;
};

class InterpolateProperty : public ::testing::TestWithParam<LinearFieldCase> {};

TEST_P(InterpolateProperty, LinearAirflowFieldIsReproduced) {
    Calibration cal = tuned_calibration();
    const double lin = GetParam().linear_share;
    for (int k = 0; k <= 32; ++k) {
        const double x = k / 32.0;
        cal.set_maf_point(
            k, static_cast<std::uint16_t>(std::lround(32768.0 * x * (lin + (1 - lin) * x))));
    }
    rebuild_maf_reverse_table(cal);
    std::srand(12345);
    for (int trial = 0; trial < 300; ++trial) {
        const int r0 = std::rand() % 24;
        const int r1 = std::rand() % 24;
        const int c0 = std::rand() % 20;
        const int c1 = std::rand() % 20;
        const int base = 2000 + std::rand() % 6000;
        const int per_row = std::rand() % 600;  // the field stays below full scale
        const int per_col = std::rand() % 500 - 100;
        auto field = [&](int r, int c) { return base + per_row * r + per_col * c; };
        for (int r = 0; r < kMapRows; ++r) {
            for (int c = 0; c < kMapCols; ++c) {
                cal.cell(MapId::map_2_maf, r, c) = low16(maf_airflow_to_counts(cal, field(r, c)));
            }
        }
        EditorState s;
        select_cells(s, r0, c0, r1, c1);
        interpolate_selection(s, cal, Page::maf_emulation);
        for (int r = std::min(r0, r1); r <= std::max(r0, r1); ++r) {
            for (int c = std::min(c0, c1); c <= std::max(c0, c1); ++c) {
                const int wanted = maf_airflow_to_counts(cal, field(r, c));
                ASSERT_NEAR(cell(cal, MapId::map_2_maf, r, c), wanted, GetParam().tolerance)
                    << "trial " << trial << " cell " << r << "," << c;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(SensorCurves, InterpolateProperty,
                         ::testing::Values(LinearFieldCase{1.0, 1}, LinearFieldCase{0.4, 2},
                                           LinearFieldCase{0.8, 2}));

TEST(SmoothMap, ZeroCellsAreNeitherChangedNorUsed) {
    Calibration cal = tuned_calibration();
    for (auto& v : cal.map(MapId::map_2_maf))
        v = 2000;
    cal.cell(MapId::map_2_maf, 5, 5) = 0;
    // An island: all eight neighbours empty, so it has no pair to average with.
    for (int r = 9; r <= 11; ++r) {
        for (int c = 9; c <= 11; ++c)
            cal.cell(MapId::map_2_maf, r, c) = 0;
    }
    cal.cell(MapId::map_2_maf, 10, 10) = 3000;
    smooth_map(cal);
    EXPECT_EQ(cell(cal, MapId::map_2_maf, 5, 5), 0);
    EXPECT_EQ(cell(cal, MapId::map_2_maf, 9, 9), 0);
    EXPECT_EQ(cell(cal, MapId::map_2_maf, 10, 10), round_trip(cal, 3000));
    // With the empty cells left out, every filled cell sees only its equals.
    for (int r = 0; r < kMapRows; ++r) {
        for (int c = 0; c < kMapCols; ++c) {
            const int v = cell(cal, MapId::map_2_maf, r, c);
            if (v != 0 && !(r == 10 && c == 10)) {
                ASSERT_EQ(v, round_trip(cal, 2000)) << r << "," << c;
            }
        }
    }
}

TEST(SmoothMap, SpikeIsPulledTowardsItsNeighbours) {
    Calibration cal = tuned_calibration();
    for (auto& v : cal.map(MapId::map_2_maf))
        v = 2000;
    cal.cell(MapId::map_2_maf, 8, 8) = 3000;
    const int low = airflow_of(cal, 0, 0);
    const int high = airflow_of(cal, 8, 8);
    smooth_map(cal);
    const int smoothed = airflow_of(cal, 8, 8);
    EXPECT_GT(smoothed, low);
    EXPECT_LT(smoothed, high);
    EXPECT_NEAR(smoothed, (low + high) / 2, (high - low) / 5);
}

TEST(SmoothMap, ActsOnlyOnTheMafEmulationPage) {
    Calibration cal = tuned_calibration();
    for (auto& v : cal.map(MapId::map_2_maf))
        v = 2000;
    cal.cell(MapId::map_2_maf, 8, 8) = 3000;
    const Calibration before = cal;
    EditorState s;
    testing::FakePlatform platform;
    EXPECT_EQ(
        apply_editor_command(s, cal, EditorCommand::smooth_map, Page::fuel_correction, platform),
        "Smooth MAP works on the MAF Emulation map: nothing was changed");
    apply_editor_command(s, cal, EditorCommand::extrapolate_boost_up, Page::knock_calibration,
                         platform);
    EXPECT_EQ(cal.maps, before.maps);
    EXPECT_EQ(platform.repaints, 0);
    EXPECT_EQ(
        apply_editor_command(s, cal, EditorCommand::smooth_map, Page::maf_emulation, platform), "");
    EXPECT_NE(cell(cal, MapId::map_2_maf, 8, 8), 3000);
    EXPECT_EQ(platform.repaints, 1);
    for (const auto command :
         {EditorCommand::extrapolate_boost_up, EditorCommand::rest_all_map_data})
        EXPECT_NE(apply_editor_command(s, cal, command, Page::maf_emulation, platform)
                      .find("found nothing to do: the map is unchanged"),
                  std::string::npos);
}

TEST(ExtrapolateBoostUp, SkipsColumnsWithoutBaseOrRoomAbove) {
    Calibration cal = tuned_calibration();
    cal.cell(MapId::map_2_maf, 0, 0) = 1500;  // only row 0: never a base
    for (int r = 0; r < kMapRows; ++r)
        cal.cell(MapId::map_2_maf, r, 1) = 2000;
    cal.cell(MapId::map_2_maf, 5, 1) = 0;  // filled at row 23
    const Calibration before = cal;
    extrapolate_boost_up(cal);
    EXPECT_EQ(cal.maps, before.maps);
}

TEST(ExtrapolateBoostUp, AirflowGrowsWithTwoThirdsOfThePressure) {
    Calibration cal = tuned_calibration();
    for (int r = 0; r <= 10; ++r)
        cal.cell(MapId::map_2_maf, r, 3) = 1800;
    extrapolate_boost_up(cal);
    const double lo = cal.param(hw::MAP_BAR_LO) / 100.0;
    const double hi = cal.param(hw::MAP_BAR_HI) / 100.0;
    auto absolute = [&](int r) { return 1.0 + lo + (hi - lo) * r / 23.0; };
    const double a = airflow_of(cal, 10, 3);
    EXPECT_EQ(cell(cal, MapId::map_2_maf, 10, 3), 1800);
    for (int r = 11; r < kMapRows; ++r) {
        const double wanted = a * (2.0 * absolute(r) / absolute(10) + 1.0) / 3.0;
        EXPECT_NEAR(airflow_of(cal, r, 3), wanted, 20) << "row " << r;
        EXPECT_GT(cell(cal, MapId::map_2_maf, r, 3), cell(cal, MapId::map_2_maf, r - 1, 3));
    }
    EXPECT_EQ(cell(cal, MapId::map_2_maf, 11, 4), 0);
}

TEST(ReplicateFuelCorrection, ZeroCorrectionLeavesTheMapAsItIsHoweverOftenFolded) {
    Calibration cal = tuned_calibration();
    for (int i = 0; i < kMapCells; ++i) {
        cal.map(MapId::map_2_maf)[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(8 * i);
    }
    cal.cell(MapId::map_2_maf, 0, 0) = 542;
    const Calibration before = cal;
    for (int n = 0; n < 5; ++n)
        replicate_fuel_correction(cal);
    EXPECT_EQ(cal.map(MapId::map_2_maf), before.map(MapId::map_2_maf));
}

TEST(ReplicateFuelCorrection, CorrectionsScaleAndAreCleared) {
    Calibration cal = tuned_calibration();
    for (auto& v : cal.map(MapId::map_2_maf))
        v = 2500;
    cal.cell(MapId::fuel_correction, 0, 0) = 1;     // +1 %
    cal.cell(MapId::fuel_correction, 0, 1) = 10;    // +10 %
    cal.cell(MapId::fuel_correction, 0, 2) = -150;  // below -100: held at no airflow
    cal.cell(MapId::fuel_correction, 0, 3) = 300;   // capped at full-scale airflow
    const int a = airflow_of(cal, 0, 0);
    replicate_fuel_correction(cal);
    EXPECT_EQ(cell(cal, MapId::map_2_maf, 0, 0), maf_airflow_to_counts(cal, a * 101 / 100));
    EXPECT_EQ(cell(cal, MapId::map_2_maf, 0, 1), maf_airflow_to_counts(cal, a * 110 / 100));
    EXPECT_EQ(cell(cal, MapId::map_2_maf, 0, 2), 0);
    EXPECT_EQ(cell(cal, MapId::map_2_maf, 0, 3), maf_airflow_to_counts(cal, 32767));
    for (auto v : cal.map(MapId::fuel_correction))
        ASSERT_EQ(v, 0);
}

TEST(AirflowDomain, NegativeInputsAreHeldAtZero) {
    const Calibration cal = tuned_calibration();
    EXPECT_EQ(maf_counts_to_airflow(cal, -5), maf_counts_to_airflow(cal, 0));
    EXPECT_EQ(maf_airflow_to_counts(cal, -32768), maf_airflow_to_counts(cal, 0));
}

TEST(RowPressure, SpansTheMappingLimits) {
    Calibration cal = tuned_calibration();
    cal.param(hw::MAP_BAR_LO) = -60;
    cal.param(hw::MAP_BAR_HI) = 170;
    EXPECT_NEAR(row_pressure(cal, 0), 0.40, 1e-6);
    EXPECT_NEAR(row_pressure(cal, 23), 2.70, 1e-6);
    EXPECT_NEAR(row_pressure(cal, 10), 1.40, 1e-6);
}

LogBuffer log_of(std::initializer_list<std::pair<int, float>> samples) {
    LogBuffer log;
    for (const auto& [rpm, knock] : samples) {
        LogSample& s = log.next_slot();
        ++log.count;
        s.rpm = rpm;
        s.knock = knock;
    }
    return log;
}

// A short part-throttle log set every point it never reached to 0 V, which
// the device reads as knock everywhere there. Unreached points keep theirs.
TEST(KnockFromLog, PointsNoSampleReachesKeepTheirValues) {
    Calibration cal = tuned_calibration();
    for (int k = 0; k <= cv::KNOCK_POINTS; ++k)
        cal.curve_word(cv::KNOCK + k) = 555;
    testing::FakePlatform platform;
    EXPECT_EQ(
        calibrate_knock_by_log(cal, log_of({{1900, 1.0F}, {2400, 0.5F}, {3100, 1.0F}}), platform),
        3);
    for (int k = 0; k <= cv::KNOCK_POINTS; ++k) {
        const int expected = k == 3 || k == 6 ? 901 : k == 4 ? volts_to_counts(0.5F * 1.1F) : 555;
        EXPECT_EQ(cal.curve_word(cv::KNOCK + k), expected) << "point " << k;
    }
    EXPECT_EQ(platform.pages_shown, std::vector<Page>{Page::knock_calibration});
}

TEST(KnockFromLog, EachBandTakesItsHighestVoltage) {
    Calibration cal = tuned_calibration();
    ASSERT_EQ(
        knock_from_log(
            cal, log_of({{1000, 0.5F}, {1499, 2.0F}, {1200, 1.0F}, {10600, 1.0F}, {9999, 6.0F}})),
        3);
    EXPECT_EQ(cal.curve_word(cv::KNOCK + 2), volts_to_counts(2.0F * 1.1F));
    EXPECT_EQ(cal.curve_word(cv::KNOCK + 19), 4095);  // held at full scale
    EXPECT_EQ(cal.curve_word(cv::KNOCK_EXTRA_POINT), 901);
}

TEST(KnockFromLog, SamplesOutsideTheBandsAreLeftOut) {
    Calibration cal = tuned_calibration();
    const Calibration before = cal;
    testing::FakePlatform platform;
    EXPECT_EQ(
        calibrate_knock_by_log(cal, log_of({{11000, 3.0F}, {32000, 3.0F}, {-600, 3.0F}}), platform),
        0);
    EXPECT_EQ(cal.curves, before.curves);
    EXPECT_TRUE(platform.pages_shown.empty());
}

TEST(KnockFromLog, EmptyLogChangesNothingAndStays) {
    Calibration cal = tuned_calibration();
    cal.curve_word(cv::KNOCK + 3) = 999;
    testing::FakePlatform platform;
    calibrate_knock_by_log(cal, LogBuffer{}, platform);
    EXPECT_EQ(cal.curve_word(cv::KNOCK + 3), 999);
    EXPECT_TRUE(platform.pages_shown.empty());
}

}  // namespace
}  // namespace veloquin
