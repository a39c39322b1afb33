#include <gtest/gtest.h>

#include "calibration/conversions.h"
#include "editors/cursor_keys.h"
#include "editors/editor_commands.h"
#include "tests/editors/editor_fixture.h"
#include "tests/support/fake_platform.h"

namespace veloquin {
namespace {

using testing::cell;
using testing::select_cells;
using testing::select_points;
using testing::tuned_calibration;

struct StepCase {
    Page page;
    MapId map;
    int before;
    ValueStep step;
    int after;
};

class MapValueSteps : public ::testing::TestWithParam<StepCase> {};

TEST_P(MapValueSteps, HoldTheLimitsOfThePage) {
    const StepCase& c = GetParam();
    Calibration cal = tuned_calibration();
    EditorState s;
    select_cells(s, 3, 4, 3, 4);
    cal.cell(c.map, 3, 4) = static_cast<std::int16_t>(c.before);
    EXPECT_TRUE(step_values(s, cal, c.page, c.step));
    EXPECT_EQ(cell(cal, c.map, 3, 4), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    EditorKeys, MapValueSteps,
    ::testing::Values(
        // The large step of the MAF emulation page is 2 % of the cell, at least 15.
        StepCase{Page::maf_emulation, MapId::map_2_maf, 1000, ValueStep::increase_large, 1020},
        StepCase{Page::maf_emulation, MapId::map_2_maf, 100, ValueStep::increase_large, 115},
        StepCase{Page::maf_emulation, MapId::map_2_maf, 4090, ValueStep::increase_large, 4095},
        StepCase{Page::maf_emulation, MapId::map_2_maf, 10, ValueStep::decrease_large, 0},
        StepCase{Page::maf_emulation, MapId::map_2_maf, 4093, ValueStep::increase, 4095},
        StepCase{Page::maf_emulation, MapId::map_2_maf, 3, ValueStep::decrease, 0},
        StepCase{Page::fuel_correction, MapId::fuel_correction, -75, ValueStep::decrease, -75},
        StepCase{Page::fuel_correction, MapId::fuel_correction, -74, ValueStep::decrease, -75},
        StepCase{Page::fuel_correction, MapId::fuel_correction, 200, ValueStep::increase, 200},
        StepCase{Page::fuel_correction, MapId::fuel_correction, 199, ValueStep::increase_large,
                 200},
        StepCase{Page::nos_methanol, MapId::meth_correction, -74, ValueStep::decrease_large, -75},
        StepCase{Page::boost_control, MapId::boost_duty, 100, ValueStep::increase_large, 100},
        StepCase{Page::boost_control, MapId::boost_duty, 99, ValueStep::increase_large, 100},
        StepCase{Page::boost_control, MapId::boost_duty, 0, ValueStep::decrease, 0}));

struct CurveStepCase {
    Page page;
    int word;
    int before;
    ValueStep step;
    int after;
};

class CurveValueSteps : public ::testing::TestWithParam<CurveStepCase> {};

TEST_P(CurveValueSteps, HoldTheLimitsOfThePage) {
    const CurveStepCase& c = GetParam();
    Calibration cal = tuned_calibration();
    EditorState s;
    select_points(s, 5, 5);
    cal.curve_word(c.word + 5) = low16(c.before);
    step_values(s, cal, c.page, c.step);
    const std::int16_t w = cal.curve_word(c.word + 5);
    EXPECT_EQ(c.page == Page::maf_calibration ? static_cast<std::uint16_t>(w) : w, c.after);
}

INSTANTIATE_TEST_SUITE_P(
    EditorKeys, CurveValueSteps,
    ::testing::Values(
        CurveStepCase{Page::maf_calibration, cv::MAF_SENSOR, 0, ValueStep::decrease, 0},
        CurveStepCase{Page::maf_calibration, cv::MAF_SENSOR, 20, ValueStep::decrease_large, 0},
        CurveStepCase{Page::maf_calibration, cv::MAF_SENSOR, 32760, ValueStep::increase_large,
                      32768},
        CurveStepCase{Page::maf_calibration, cv::MAF_SENSOR, 40000, ValueStep::decrease, 0},
        CurveStepCase{Page::knock_calibration, cv::KNOCK, 4095, ValueStep::increase, 4095},
        CurveStepCase{Page::knock_calibration, cv::KNOCK, 4080, ValueStep::increase_large, 4095},
        CurveStepCase{Page::knock_calibration, cv::KNOCK, 10, ValueStep::decrease_large, 0},
        CurveStepCase{Page::afr_protect, cv::AFR_PROTECT, 150, ValueStep::increase, 150},
        CurveStepCase{Page::afr_protect, cv::AFR_PROTECT, 103, ValueStep::decrease_large, 100},
        CurveStepCase{Page::temp_correction, cv::IAT_SENSOR, -300, ValueStep::decrease, -301},
        // Held at the word's range instead of wrapping round to the opposite sign.
        CurveStepCase{Page::temp_correction, cv::IAT_SENSOR, 32767, ValueStep::increase, 32767}));

TEST(EditorKeys, MafCurveChangeRebuildsTheReverseTable) {
    Calibration cal = tuned_calibration();
    EditorState s;
    select_points(s, 10, 20);
    const int before = cal.maf_reverse(100);
    step_values(s, cal, Page::maf_calibration, ValueStep::increase_large);
    Calibration expected = cal;
    rebuild_maf_reverse_table(expected);
    EXPECT_EQ(cal.curves, expected.curves);
    EXPECT_NE(cal.maf_reverse(100), before);
}

TEST(EditorKeys, ActiveTemperatureCurveTakesTheSteps) {
    Calibration cal = tuned_calibration();
    EditorState s;
    select_points(s, 0, 32);
    step_values(s, cal, Page::temp_correction, ValueStep::increase);
    EXPECT_EQ(cal.curve_word(cv::IAT_SENSOR + 32), 1);
    EXPECT_EQ(cal.curve_word(cv::IAT_CORRECTION), 0);
    s.active_temp_curve = TempCurve::correction;
    step_values(s, cal, Page::temp_correction, ValueStep::decrease);
    EXPECT_EQ(cal.curve_word(cv::IAT_CORRECTION + 32), -1);
    EXPECT_EQ(cal.curve_word(cv::IAT_SENSOR + 32), 1);
}

TEST(EditorKeys, PagesWithoutTableOnlyRepaint) {
    Calibration cal = tuned_calibration();
    const Calibration before = cal;
    EditorState s;
    testing::FakePlatform platform;
    for (Page p : {Page::parameters, Page::ls_switches, Page::log_viewer, Page::dashboard}) {
        apply_editor_command(s, cal, EditorCommand::increase_large, p, platform);
        apply_editor_command(s, cal, EditorCommand::interpolate, p, platform);
    }
    EXPECT_EQ(cal.maps, before.maps);
    EXPECT_EQ(cal.curves, before.curves);
    EXPECT_EQ(platform.repaints, 8);
}

TEST(EditorCursorMoves, CurveCursorStopsAtTheEndOfEachCurve) {
    EditorState s;
    select_points(s, 16, 16);
    move_cursor(s, Page::afr_protect, CursorMove::right, false);
    EXPECT_EQ(s.cursor.curve_cursor, 16);
    for (int i = 0; i < 10; ++i)
        move_cursor(s, Page::knock_calibration, CursorMove::right, true);
    EXPECT_EQ(s.cursor.curve_cursor, 20);
    EXPECT_EQ(s.cursor.curve_anchor, 16);
    for (int i = 0; i < 20; ++i)
        move_cursor(s, Page::maf_calibration, CursorMove::right, false);
    EXPECT_EQ(s.cursor.curve_cursor, 32);
    EXPECT_EQ(s.cursor.curve_anchor, 32);
}

TEST(EditorCursorMoves, UpAndDownMoveTheMapCursorOnEveryPage) {
    EditorState s;
    select_cells(s, 5, 7, 5, 7);
    move_cursor(s, Page::temp_correction, CursorMove::up, false);
    EXPECT_EQ(s.cursor.map_cursor_row, 6);
    EXPECT_EQ(s.cursor.map_anchor_row, 6);
    // Left and right on a curve page move the curve cursor, not the map cursor.
    move_cursor(s, Page::temp_correction, CursorMove::left, false);
    EXPECT_EQ(s.cursor.map_cursor_col, 7);
    move_cursor(s, Page::maf_emulation, CursorMove::left, true);
    EXPECT_EQ(s.cursor.map_cursor_col, 6);
    EXPECT_EQ(s.cursor.map_anchor_col, 7);
    select_cells(s, 23, 19, 23, 19);
    move_cursor(s, Page::maf_emulation, CursorMove::up, false);
    move_cursor(s, Page::maf_emulation, CursorMove::right, false);
    EXPECT_EQ(s.cursor.map_cursor_row, 23);
    EXPECT_EQ(s.cursor.map_cursor_col, 19);
}

TEST(EditorCursorMoves, TwelveRowEditorsHoldRowsAtEleven) {
    Calibration cal = tuned_calibration();
    EditorState s;
    select_cells(s, 20, 2, 15, 2);
    for (Page p : {Page::nos_methanol, Page::boost_control}) {
        move_cursor(s, p, CursorMove::up, true);
        EXPECT_EQ(s.cursor.map_cursor_row, 11);
        EXPECT_EQ(s.cursor.map_anchor_row, 11);
    }
    select_cells(s, 23, 0, 0, 19);
    step_values(s, cal, Page::boost_control, ValueStep::increase);
    EXPECT_EQ(cell(cal, MapId::boost_duty, 11, 5), 1);
    EXPECT_EQ(cell(cal, MapId::boost_duty, 12, 5), 0);
}

TEST(EditorCursorMoves, SharedCurveCursorNeverWritesPastTheCurve) {
    Calibration cal = tuned_calibration();
    EditorState s;
    select_points(s, 30, 32);  // left there on the MAF calibration page
    const auto output_before = cal.curve_word(cv::AFR_OUTPUT);
    step_values(s, cal, Page::afr_protect, ValueStep::increase_large);
    step_values(s, cal, Page::knock_calibration, ValueStep::increase_large);
    EXPECT_EQ(cal.curve_word(cv::AFR_OUTPUT), output_before);
    EXPECT_EQ(cal.curve_word(cv::KNOCK_EXTRA_POINT), 0);
    EXPECT_EQ(cal.curve_word(cv::AFR_PROTECT), 0);
}

TEST(EditorCursorMoves, CornersOutsideTheGridNeverReachTheMaps) {
    Calibration cal = tuned_calibration();
    Calibration guard = cal;
    EditorState s;
    select_cells(s, -3, -2, 30, 25);
    step_values(s, cal, Page::fuel_correction, ValueStep::increase);
    EXPECT_EQ(s.cursor.first_row, 0);
    EXPECT_EQ(s.cursor.last_col, 19);
    EXPECT_EQ(cell(cal, MapId::fuel_correction, 23, 19), 1);
    EXPECT_EQ(cal.map(MapId::meth_correction), guard.map(MapId::meth_correction));
}

TEST(MapClipboard, PasteAtColumnEighteenKeepsOnlyWhatFits) {
    Calibration cal = tuned_calibration();
    EditorState s;
    for (int c = 0; c < 3; ++c)
        cal.cell(MapId::map_2_maf, 5, c) = static_cast<std::int16_t>(100 + c);
    select_cells(s, 5, 0, 5, 2);
    copy_selection(s, cal, Page::maf_emulation);
    EXPECT_EQ(s.clipboard.clip_width, 3);
    EXPECT_EQ(s.clipboard.clip_height, 1);
    select_cells(s, 9, 18, 9, 18);
    EXPECT_TRUE(paste_clipboard(s, cal, Page::maf_emulation));
    EXPECT_EQ(cell(cal, MapId::map_2_maf, 9, 18), 100);
    EXPECT_EQ(cell(cal, MapId::map_2_maf, 9, 19), 101);
    EXPECT_EQ(cell(cal, MapId::map_2_maf, 10, 0), 0);  // nothing wrapped into the next row
    EXPECT_EQ(s.visits.count(), 2);
    EXPECT_TRUE(s.visits.marked(9, 18));
    EXPECT_TRUE(s.visits.marked(9, 19));
}

TEST(MapClipboard, PasteAfterCopyLandsOnTheLastColumn) {
    Calibration cal = tuned_calibration();
    EditorState s;
    // Two columns, two rows; clipboard row 0 is the selection's top row.
    cal.cell(MapId::fuel_correction, 4, 6) = 1;
    cal.cell(MapId::fuel_correction, 4, 7) = 2;
    cal.cell(MapId::fuel_correction, 3, 6) = 3;
    cal.cell(MapId::fuel_correction, 3, 7) = 4;
    select_cells(s, 3, 6, 4, 7);
    copy_selection(s, cal, Page::fuel_correction);
    paste_clipboard(s, cal, Page::fuel_correction);
    EXPECT_EQ(cell(cal, MapId::fuel_correction, 4, 6), 1);
    EXPECT_EQ(cell(cal, MapId::fuel_correction, 4, 7), 1);
    EXPECT_EQ(cell(cal, MapId::fuel_correction, 4, 8), 2);
    EXPECT_EQ(cell(cal, MapId::fuel_correction, 3, 7), 3);
    EXPECT_EQ(cell(cal, MapId::fuel_correction, 3, 8), 4);
}

TEST(MapClipboard, BlocksCrossBetweenTheTwoMainMapsUnchanged) {
    Calibration cal = tuned_calibration();
    EditorState s;
    cal.cell(MapId::fuel_correction, 0, 0) = -20;
    copy_selection(s, cal, Page::fuel_correction);
    select_cells(s, 1, 1, 1, 1);
    paste_clipboard(s, cal, Page::maf_emulation);
    EXPECT_EQ(cell(cal, MapId::map_2_maf, 1, 1), -20);
}

TEST(MapClipboard, RowsBelowTheMapAreSkipped) {
    Calibration cal = tuned_calibration();
    EditorState s;
    select_cells(s, 0, 0, 2, 0);
    cal.cell(MapId::map_2_maf, 2, 0) = 7;
    copy_selection(s, cal, Page::maf_emulation);
    select_cells(s, 1, 5, 1, 5);
    paste_clipboard(s, cal, Page::maf_emulation);
    EXPECT_EQ(cell(cal, MapId::map_2_maf, 1, 5), 7);
    EXPECT_EQ(s.visits.count(), 2);
}

TEST(MapClipboard, CopyOnAPageWithoutCopyableMapKeepsTheClipboard) {
    Calibration cal = tuned_calibration();
    EditorState s;
    cal.cell(MapId::map_2_maf, 0, 0) = 55;
    copy_selection(s, cal, Page::maf_emulation);
    select_cells(s, 0, 0, 3, 0);
    copy_selection(s, cal, Page::knock_calibration);
    EXPECT_EQ(s.clipboard.clip_height, 1);
    select_cells(s, 10, 10, 10, 10);
    paste_clipboard(s, cal, Page::maf_emulation);
    EXPECT_EQ(cell(cal, MapId::map_2_maf, 10, 10), 55);
    EXPECT_EQ(cell(cal, MapId::map_2_maf, 9, 10), 0);
}

TEST(MapClipboard, EmptyClipboardPastesNothingButRepaints) {
    Calibration cal = tuned_calibration();
    const Calibration before = cal;
    EditorState s;
    testing::FakePlatform platform;
    apply_editor_command(s, cal, EditorCommand::paste, Page::maf_emulation, platform);
    EXPECT_EQ(cal.maps, before.maps);
    EXPECT_EQ(s.visits.count(), 0);
    EXPECT_EQ(platform.repaints, 1);
    apply_editor_command(s, cal, EditorCommand::copy, Page::maf_emulation, platform);
    EXPECT_EQ(platform.repaints, 1);
}

TEST(VisitMarks, EscapeClearsEveryMarkOnAnyPage) {
    Calibration cal = tuned_calibration();
    EditorState s;
    testing::FakePlatform platform;
    s.visits.mark(0, 0);
    s.visits.mark(23, 19);
    s.visits.mark(24, 0);  // outside the grid: ignored
    EXPECT_EQ(s.visits.count(), 2);
    apply_editor_command(s, cal, *editor_command_for_id(32816), Page::dashboard, platform);
    EXPECT_EQ(s.visits.count(), 0);
    EXPECT_EQ(platform.repaints, 1);
}

TEST(EditorCommands, IdsReachTheirCommands) {
    EXPECT_EQ(editor_command_for_id(32778), EditorCommand::move_left);
    EXPECT_EQ(editor_command_for_id(32783), EditorCommand::extend_up);
    EXPECT_EQ(editor_command_for_id(32814), EditorCommand::increase_large);
    EXPECT_EQ(editor_command_for_id(32792), EditorCommand::interpolate);
    EXPECT_EQ(editor_command_for_id(32829), EditorCommand::replicate_fuel_correction);
    EXPECT_FALSE(editor_command_for_id(32805).has_value());  // the map editor opens its own entry
    EXPECT_FALSE(editor_command_for_id(1).has_value());
}

}  // namespace
}  // namespace veloquin
