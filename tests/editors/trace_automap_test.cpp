#include <gtest/gtest.h>

#include <cmath>

#include "calibration/conversions.h"
#include "editors/map_operations.h"
#include "editors/trace_automap.h"
#include "tests/editors/editor_fixture.h"
#include "tests/support/fake_platform.h"

namespace veloquin {
namespace {

using testing::cell;
using testing::select_cells;
using testing::tuned_calibration;

LiveRecord live_at(int rpm, int map_counts, int maf_counts = 0, int throttle = 0) {
    LiveRecord live;
    live.set_word(2, rpm);
    live.set_word(6, map_counts);
    live.set_word(8, maf_counts);
    live.set_word(12, throttle);
    return live;
}

TEST(LiveBox, ColumnsFollowEngineSpeed) {
    const Calibration cal = tuned_calibration();
    const int map_lo = cal.param(hw::MAP_LO);
    struct Case {
        int rpm, first, last;
    };
    for (const Case& c : {Case{1000, 1, 1}, Case{1250, 1, 2}, Case{600, 0, 0}, Case{0, 0, 0},
                          Case{-3000, 0, 0}, Case{10000, 19, 19}, Case{20000, 19, 19}}) {
        EditorCursor cursor;
        ASSERT_TRUE(live_box(cursor, cal, live_at(c.rpm, map_lo), Page::maf_emulation));
        EXPECT_EQ(cursor.map_anchor_col, c.first) << c.rpm << " rpm";
        EXPECT_EQ(cursor.map_cursor_col, c.last) << c.rpm << " rpm";
    }
}

TEST(LiveBox, RowsFollowTheLoadAxisAndStayOnTheMap) {
    Calibration cal = tuned_calibration();
    const int lo = cal.param(hw::MAP_LO);
    const int hi = cal.param(hw::MAP_HI);
    EditorCursor cursor;
    live_box(cursor, cal, live_at(1000, lo), Page::maf_emulation);
    EXPECT_EQ(cursor.map_anchor_row, 0);
    EXPECT_EQ(cursor.map_cursor_row, 0);
    live_box(cursor, cal, live_at(1000, hi), Page::maf_emulation);
    EXPECT_EQ(cursor.map_anchor_row, 23);
    EXPECT_EQ(cursor.map_cursor_row, 23);
    live_box(cursor, cal, live_at(1000, lo + (hi - lo) / 2), Page::maf_emulation);
    EXPECT_EQ(cursor.map_anchor_row, 11);
    EXPECT_EQ(cursor.map_cursor_row, 12);
    live_box(cursor, cal, live_at(1000, 4095), Page::maf_emulation);
    EXPECT_EQ(cursor.map_anchor_row, 23);
    live_box(cursor, cal, live_at(1000, -2000), Page::maf_emulation);
    EXPECT_EQ(cursor.map_cursor_row, 0);

    // The fuel correction map is laid over throttle while FLM_LOAD is 0.
    const int t_hi = cal.param(hw::THROTTLE_HI);
    cal.param(hw::FLM_LOAD) = 0;
    live_box(cursor, cal, live_at(1000, lo, 0, t_hi), Page::fuel_correction);
    EXPECT_EQ(cursor.map_anchor_row, 23);
    cal.param(hw::FLM_LOAD) = 1;
    live_box(cursor, cal, live_at(1000, lo, 0, t_hi), Page::fuel_correction);
    EXPECT_EQ(cursor.map_anchor_row, 0);
}

TEST(LiveBox, LoadAxisWithoutSpanLeavesTheCursor) {
    Calibration cal = tuned_calibration();
    cal.param(hw::MAP_HI) = cal.param(hw::MAP_LO);
    EditorState s;
    select_cells(s, 4, 4, 5, 5);
    EXPECT_FALSE(live_box(s.cursor, cal, live_at(3000, 1000), Page::maf_emulation));
    EXPECT_EQ(s.cursor.map_anchor_row, 4);
    EXPECT_FALSE(live_box(s.cursor, cal, live_at(3000, 1000), Page::knock_calibration));
}

// The MAF reading and MAP reading whose estimate for the cell is nearest its own airflow.
LiveRecord live_matching(const Calibration& cal, int row, int col, int cell_counts) {
    const double target = maf_counts_to_airflow(cal, cell_counts);
    int best_m = 0;
    for (int m = 0; m < 4096; ++m) {
        if (std::abs(maf_counts_to_airflow(cal, m) * 1.01 - target) <
            std::abs(maf_counts_to_airflow(cal, best_m) * 1.01 - target)) {
            best_m = m;
        }
    }
    int best_v = 0;
    for (int v = 0; v < 4096; ++v) {
        const double p = row_pressure(cal, row);
        if (std::abs(counts_to_bar(cal, v) + 1.0 - p) <
            std::abs(counts_to_bar(cal, best_v) + 1.0 - p)) {
            best_v = v;
        }
    }
    return live_at(500 * (col + 1), best_v, best_m);
}

TEST(AutomapStep, EstimateEqualToTheCellKeepsItAndCountsEleven) {
    Calibration cal = tuned_calibration();
    cal.cell(MapId::map_2_maf, 10, 1) = 2000;
    EditorState s;
    select_cells(s, 10, 1, 10, 1);
    automap_step(s, cal, live_matching(cal, 10, 1, 2000));
    EXPECT_NEAR(cell(cal, MapId::map_2_maf, 10, 1), 2000, 1);
    EXPECT_EQ(s.automap_cell(10, 1).count, 11);
}

TEST(AutomapStep, EmptyCellTakesTheFirstEstimateAlone) {
    Calibration cal = tuned_calibration();
    EditorState s;
    select_cells(s, 10, 1, 10, 1);
    automap_step(s, cal, live_matching(cal, 10, 1, 2000));
    EXPECT_EQ(s.automap_cell(10, 1).count, 1);
    EXPECT_NEAR(cell(cal, MapId::map_2_maf, 10, 1), 2000, 2);
}

TEST(AutomapStep, PressureAtOrBelowVacuumNeverReachesTheMeans) {
    Calibration cal = tuned_calibration();
    cal.cell(MapId::map_2_maf, 0, 1) = 1500;
    EditorState s;
    select_cells(s, 0, 1, 0, 1);
    ASSERT_LE(counts_to_bar(cal, 0) + 1.0, 0.0);
    automap_step(s, cal, live_at(1000, 0, 3000));
    EXPECT_EQ(s.automap_cell(0, 1).count, 0);
    EXPECT_EQ(cell(cal, MapId::map_2_maf, 0, 1), 1500);
}

void run_ticks(EditorState& s, Calibration& cal, testing::FakePlatform& p, const LiveRecord& live,
               int ticks) {
    for (int i = 0; i < ticks; ++i)
        process_live_data(s, cal, live, Page::maf_emulation, p, false);
}

TEST(Automapping, SwitchingOffAndOnContinuesTheMeans) {
    Calibration cal = tuned_calibration();
    for (auto& v : cal.map(MapId::map_2_maf))
        v = 1800;
    const LiveRecord live = live_at(2750, 1500, 2600);
    testing::FakePlatform platform;

    Calibration straight_cal = cal;
    EditorState straight;
    set_automapping(straight, platform);
    run_ticks(straight, straight_cal, platform, live, 6);

    EditorState paused;
    set_automapping(paused, platform);
    run_ticks(paused, cal, platform, live, 4);
    set_automapping(paused, platform);
    EXPECT_FALSE(paused.automapping);
    EXPECT_FALSE(paused.trace);
    run_ticks(paused, cal, platform, live, 3);  // nothing learnt while off
    set_automapping(paused, platform);
    run_ticks(paused, cal, platform, live, 2);

    EXPECT_EQ(cal.maps, straight_cal.maps);
    const auto& c = straight.cursor;
    EXPECT_EQ(paused.automap_cell(c.map_cursor_row, c.map_cursor_col).count, 16);
    EXPECT_EQ(paused.automap_cell(c.map_cursor_row, c.map_cursor_col).sum,
              straight.automap_cell(c.map_cursor_row, c.map_cursor_col).sum);
    EXPECT_NE(cell(cal, MapId::map_2_maf, c.map_cursor_row, c.map_cursor_col), 1800);
}

TEST(Automapping, TicksWhileTypingAreThinnedToEveryEleventh) {
    Calibration cal = tuned_calibration();
    EditorState s;
    testing::FakePlatform platform;
    const LiveRecord live = live_at(2000, 1500, 2000);
    for (int i = 0; i < 22; ++i)
        process_live_data(s, cal, live, Page::maf_emulation, platform, true);
    EXPECT_EQ(platform.repaints, 2);
    for (int i = 0; i < 3; ++i)
        process_live_data(s, cal, live, Page::maf_emulation, platform, false);
    EXPECT_EQ(platform.repaints, 5);
    process_live_data(s, cal, live, Page::parameters, platform, false);
    process_live_data(s, cal, live, Page::temp_correction, platform, false);
    EXPECT_EQ(platform.repaints, 6);
}

TEST(Trace, MarksTheCornersOfTheLiveBox) {
    Calibration cal = tuned_calibration();
    EditorState s;
    testing::FakePlatform platform;
    cal.param(hw::FLM_LOAD) = 1;
    set_trace(s, platform, Page::fuel_correction);
    const int lo = cal.param(hw::MAP_LO);
    const int hi = cal.param(hw::MAP_HI);
    process_live_data(s, cal, live_at(1250, lo + (hi - lo) / 2), Page::fuel_correction, platform,
                      false);
    EXPECT_EQ(s.visits.count(), 4);
    EXPECT_TRUE(s.visits.marked(11, 1));
    EXPECT_TRUE(s.visits.marked(12, 2));
    // Far beyond the map the box sits on its edge.
    process_live_data(s, cal, live_at(15000, 4095), Page::fuel_correction, platform, false);
    EXPECT_TRUE(s.visits.marked(23, 19));
    for (int r = 0; r < kMapRows; ++r) {
        for (int c = 0; c < kMapCols; ++c)
            ASSERT_EQ(s.automap_cell(r, c).count, 0);
    }
}

TEST(Trace, ButtonsSwitchMarksAndSelection) {
    EditorState s;
    testing::FakePlatform platform;
    s.visits.mark(3, 3);
    set_trace(s, platform, Page::fuel_correction);
    EXPECT_TRUE(s.trace);
    EXPECT_EQ(s.visits.count(), 1);  // the fuel page's button keeps the marks
    select_cells(s, 1, 1, 4, 6);
    set_trace(s, platform, Page::fuel_correction);
    EXPECT_EQ(s.cursor.map_anchor_row, 4);
    EXPECT_EQ(s.cursor.map_anchor_col, 6);
    set_trace(s, platform, Page::maf_emulation);
    EXPECT_EQ(s.visits.count(), 0);
    EXPECT_EQ(platform.focus_requests, 3);
}

TEST(Automapping, ButtonStatesFollowTheModes) {
    EditorState s;
    testing::FakePlatform platform;
    AutomapButtons b = automap_buttons(s);
    EXPECT_EQ(b.automap_text, "Start Automaping");
    EXPECT_TRUE(b.map_trace_enabled);
    s.visits.mark(0, 0);
    set_automapping(s, platform);
    b = automap_buttons(s);
    EXPECT_TRUE(b.automap_pressed);
    EXPECT_EQ(b.automap_text, "Stop Automaping");
    EXPECT_TRUE(b.map_trace_pressed);
    EXPECT_FALSE(b.map_trace_enabled);
    EXPECT_EQ(s.visits.count(), 0);
    stop_live_modes(s);
    b = automap_buttons(s);
    EXPECT_FALSE(b.automap_pressed);
    EXPECT_FALSE(b.map_trace_pressed);
    EXPECT_FALSE(b.fuel_trace_pressed);
}

}  // namespace
}  // namespace veloquin
