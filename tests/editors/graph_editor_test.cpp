#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "editors/curve_editor_paint.h"
#include "editors/editor_mouse.h"
#include "editors/graph_editors.h"
#include "tests/editors/editor_fixture.h"

namespace veloquin {
namespace {

using testing::select_cells;
using testing::select_points;
using testing::tuned_calibration;

// Every editor at the size its page gives it.
struct Editors {
    Calibration cal = tuned_calibration();
    EditorState state;
    LiveRecord live;

    PaintModel paint(EditorKind kind, const Calibration* compared = nullptr) {
        const EditorInfo& info = editor_info(kind);
        return paint_editor(kind, EditorView{info.width, info.height, cal, state, live, compared});
    }
    MapGrid grid(EditorKind kind) const {
        const EditorInfo& info = editor_info(kind);
        return *map_grid(kind, info.width, info.height);
    }
};

// The text drawn last at an anchor point: later ops paint over earlier ones.
const TextOp* text_at(const PaintModel& m, int x, int y) {
    const TextOp* found = nullptr;
    for (const TextOp* t : m.texts()) {
        if (t->at == Point{x, y}) found = t;
    }
    return found;
}

std::vector<LineOp> lines(const PaintModel& m) {
    std::vector<LineOp> out;
    for (const auto& op : m.ops) {
        if (const auto* l = std::get_if<LineOp>(&op)) out.push_back(*l);
    }
    return out;
}

bool has_line(const PaintModel& m, Point from, Point to, Pen pen) {
    const auto all = lines(m);
    return std::any_of(all.begin(), all.end(), [&](const LineOp& l) {
        return l.from == from && l.to == to && l.pen == pen;
    });
}

int yellow_fills(const PaintModel& m) {
    return static_cast<int>(std::count_if(m.ops.begin(), m.ops.end(), [](const PaintOp& op) {
        const auto* f = std::get_if<FillOp>(&op);
        return f != nullptr && f->color == colors::yellow;
    }));
}

// The MAPEDIT cell text of row r, column c.
const TextOp* map_cell_text(const PaintModel& m, const MapGrid& g, int r, int c) {
    return text_at(m, ((c + 1) * g.width) / 20 + 55, ((23 - r) * g.height) / 24 + 4);
}

struct CellColorCase {
    int value;
    bool counted, visited, selected;
    Rgb color;
};

TEST(MapToMafPaint, CellColoursFollowAutomapVisitAndSelection) {
    const CellColorCase cases[] = {
        {0, false, false, false, colors::text_grey}, {0, true, false, false, colors::black},
        {800, false, false, false, colors::black},   {0, true, true, false, colors::yellow},
        {0, false, true, true, colors::white},       {800, true, true, true, colors::white},
    };
    for (const CellColorCase& c : cases) {
        Editors e;
        e.cal.cell(MapId::map_2_maf, 5, 7) = static_cast<std::int16_t>(c.value);
        e.state.automap_cell(5, 7).count = c.counted ? 3 : 0;
        if (c.visited) e.state.visits.mark(5, 7);
        select_cells(e.state, c.selected ? 5 : 0, c.selected ? 7 : 0, c.selected ? 5 : 0,
                     c.selected ? 7 : 0);
        const PaintModel m = e.paint(EditorKind::map_to_maf);
        const TextOp* t = map_cell_text(m, e.grid(EditorKind::map_to_maf), 5, 7);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->color, c.color) << c.value << c.counted << c.visited << c.selected;
        EXPECT_EQ(t->align, Align::right);
    }
}

TEST(MapEditorPaint, CursorCellHasAWhiteAndABlackRingOnEveryMap) {
    for (const EditorKind kind :
         {EditorKind::map_to_maf, EditorKind::fuel_correction, EditorKind::boost_duty}) {
        Editors e;
        select_cells(e.state, 5, 7, 5, 7);
        const PaintModel m = e.paint(kind);
        const MapGrid g = e.grid(kind);
        const int x = (7 * g.width) / 20 + 60, y = ((g.rows - 6) * g.height) / g.rows;
        const int w = (8 * g.width) / 20 - (7 * g.width) / 20 + 1;
        for (const FillOp top :
             {FillOp{x, y, w, 1, colors::white}, FillOp{x + 1, y + 1, w - 2, 1, colors::black}})
            EXPECT_NE(std::find(m.ops.begin(), m.ops.end(), PaintOp{top}), m.ops.end());
    }
}

// A difference frame is four one-pixel fills drawn top edge first; the top
// edge starts at the frame's top-left corner.
std::vector<Point> difference_frame_corners(const PaintModel& m) {
    std::vector<Point> out;
    int edge = 0;
    for (const auto& op : m.ops) {
        const auto* f = std::get_if<FillOp>(&op);
        if (f == nullptr || f->color != colors::difference) continue;
        if (edge++ % 4 == 0) out.push_back({f->x, f->y});
    }
    return out;
}

TEST(MapEditorPaint, FramesExactlyTheShownCellsAndPointsThatDifferFromTheComparedFile) {
    Editors e;
    const Calibration file = e.cal;
    e.cal.cell(MapId::map_2_maf, 3, 4) = 900;
    e.cal.cell(MapId::map_2_maf, 23, 19) = 1;
    e.cal.cell(MapId::map_2_maf, 5, 4) = 900;
    e.cal.cell(MapId::boost_duty, 11, 0) = 7;
    e.cal.cell(MapId::boost_duty, 12, 0) = 7;  // above the twelve rows the editor shows
    e.cal.curve_word(cv::KNOCK + 2) = 300;
    e.cal.set_maf_point(5, 1234);
    rebuild_maf_reverse_table(e.cal);
    EXPECT_TRUE(difference_frame_corners(e.paint(EditorKind::map_to_maf)).empty());

    const MapGrid g = e.grid(EditorKind::map_to_maf);
    auto cell_corner = [&](int r, int c) {
        return Point{(c * g.width) / 20 + 62, ((23 - r) * g.height) / 24 + 2};
    };
    const auto maf = difference_frame_corners(e.paint(EditorKind::map_to_maf, &file));
    EXPECT_EQ(maf, (std::vector<Point>{cell_corner(3, 4), cell_corner(5, 4), cell_corner(23, 19)}));
    EXPECT_EQ(difference_frame_corners(e.paint(EditorKind::boost_duty, &file)).size(), 1U);
    EXPECT_TRUE(difference_frame_corners(e.paint(EditorKind::fuel_correction, &file)).empty());
    EXPECT_EQ(difference_frame_corners(e.paint(EditorKind::knock, &file)).size(), 1U);
    EXPECT_EQ(difference_frame_corners(e.paint(EditorKind::maf_sensor, &file)).size(), 1U);
    // The reverse table follows the curve; only the curve is marked.
    EXPECT_TRUE(difference_frame_corners(e.paint(EditorKind::maf_reverse, &file)).empty());
}

TEST(MapToMafPaint, CellsShowVolts) {
    Editors e;
    e.cal.cell(MapId::map_2_maf, 0, 0) = 4095;
    e.cal.cell(MapId::map_2_maf, 23, 19) = 2048;
    e.cal.cell(MapId::map_2_maf, 10, 3) = 0;
    const PaintModel m = e.paint(EditorKind::map_to_maf);
    const MapGrid g = e.grid(EditorKind::map_to_maf);
    EXPECT_EQ(map_cell_text(m, g, 0, 0)->text, "5.00");
    EXPECT_EQ(map_cell_text(m, g, 23, 19)->text, "2.50");
    EXPECT_EQ(map_cell_text(m, g, 10, 3)->text, "0.00");
}

TEST(MapToMafPaint, SpeedMarkerStandsOverItsColumn) {
    Editors e;
    const MapGrid g = e.grid(EditorKind::map_to_maf);
    const int marker_y = g.height - 4;
    // 500 rpm over the middle of column 0, 250 rpm on the grid's left edge.
    const int column0_middle = 60 + g.width / 20 / 2;
    for (auto [rpm, x] : {std::pair{500, column0_middle}, std::pair{250, 60}}) {
        e.live.set_word(2, rpm);
        const PaintModel m = e.paint(EditorKind::map_to_maf);
        for (int dx : {0, 1}) {
            const TextOp* t = text_at(m, x + dx, marker_y);
            ASSERT_NE(t, nullptr) << rpm;
            EXPECT_EQ(t->text, "^");
            EXPECT_EQ(t->color, colors::red);
        }
    }
}

bool has_load_marker(const PaintModel& m) {
    const auto texts = m.texts();
    return std::any_of(texts.begin(), texts.end(), [](const TextOp* t) { return t->text == ">"; });
}

TEST(MapEditorPaint, LoadMarkerLeftOutWhenTheAxisHasNoSpan) {
    Editors e;
    EXPECT_TRUE(has_load_marker(e.paint(EditorKind::map_to_maf)));
    EXPECT_TRUE(has_load_marker(e.paint(EditorKind::fuel_correction)));
    e.cal.param(hw::MAP_HI) = e.cal.param(hw::MAP_LO);
    EXPECT_FALSE(has_load_marker(e.paint(EditorKind::map_to_maf)));
    e.cal.param(hw::FLM_LOAD) = 0;
    e.cal.param(hw::THROTTLE_HI) = e.cal.param(hw::THROTTLE_LO);
    EXPECT_FALSE(has_load_marker(e.paint(EditorKind::fuel_correction)));
    e.cal.param(hw::FLM_LOAD) = 1;
    EXPECT_FALSE(has_load_marker(e.paint(EditorKind::fuel_correction)));
}

int load_marker_y(const PaintModel& m) {
    for (const TextOp* t : m.texts())
        if (t->text == ">") return t->at.y;
    return -1;
}

// A load below or above the axis (the zero record before any device answered
// reads below the lowest pressure) stands at the axis end, inside the grid.
TEST(MapEditorPaint, LoadMarkerBeyondTheAxisStandsAtItsEnd) {
    Editors e;
    const MapGrid g = e.grid(EditorKind::map_to_maf);
    const int lo = e.cal.param(hw::MAP_LO);
    const int hi = e.cal.param(hw::MAP_HI);
    const auto at_counts = [&](int counts) {
        e.live.set_word(6, static_cast<std::int16_t>(counts));
        return load_marker_y(e.paint(EditorKind::map_to_maf));
    };
    EXPECT_EQ(at_counts(lo - 200), at_counts(lo));
    EXPECT_EQ(at_counts(hi + 200), at_counts(hi));
    EXPECT_GT(at_counts(lo), at_counts(hi));
    EXPECT_LT(at_counts(lo), g.height);
    EXPECT_GT(at_counts(hi), 0);
}

struct RowLabelCase {
    EditorKind kind;
    std::vector<std::string> bottom_up;
};

TEST(MapEditorPaint, RowLabelsReadFromTheBottom) {
    const RowLabelCase cases[] = {
        {EditorKind::fuel_correction,
         {"0",  "4",  "8",  "13", "17", "21", "26", "30", "34", "39", "43", "47",
          "52", "56", "60", "65", "69", "73", "78", "82", "86", "91", "95", "100"}},
        {EditorKind::boost_duty,
         {"0", "9", "18", "27", "36", "45", "54", "63", "72", "81", "90", "100"}},
    };
    for (const RowLabelCase& c : cases) {
        Editors e;
        e.cal.param(hw::FLM_LOAD) = 0;
        const PaintModel m = e.paint(c.kind);
        const MapGrid g = e.grid(c.kind);
        std::vector<std::string> labels;
        for (int r = 0; r < g.rows; ++r) {
            const TextOp* t = text_at(m, 51, ((g.rows - 1 - r) * g.height) / g.rows + 4);
            ASSERT_NE(t, nullptr);
            labels.push_back(t->text);
        }
        EXPECT_EQ(labels, c.bottom_up);
    }
}

// The horizontal extent of a text as the shared fonts lay it out.
std::pair<int, int> text_span(const TextOp& t) {
    const int w = text_width(t.text, t.font);
    if (t.align == Align::right) return {t.at.x - w, t.at.x};
    if (t.align == Align::center) return {t.at.x - w / 2, t.at.x + (w + 1) / 2};
    return {t.at.x, t.at.x + w};
}

// Texts on one baseline that overlap, or reach past the window's edge.
std::vector<std::string> crowded_texts(const PaintModel& m, int y) {
    std::vector<const TextOp*> row;
    for (const TextOp* t : m.texts()) {
        if (t->at.y == y) row.push_back(t);
    }
    std::sort(row.begin(), row.end(),
              [](const TextOp* a, const TextOp* b) { return text_span(*a) < text_span(*b); });
    std::vector<std::string> out;
    for (std::size_t i = 0; i < row.size(); ++i) {
        const bool overlaps = i > 0 && text_span(*row[i]).first < text_span(*row[i - 1]).second;
        if (overlaps || text_span(*row[i]).second > m.width) out.push_back(row[i]->text);
    }
    return out;
}

TEST(EditorPaint, LabelsAndMarkersNeverRunTogether) {
    Editors e;
    e.cal.param(hw::MAP_UNITS) = 2;  // PSI: a digit wider than bar
    const PaintModel maf = e.paint(EditorKind::map_to_maf);
    const MapGrid g = e.grid(EditorKind::map_to_maf);
    const int section_labels_y = g.height + 26 + 106 + 4;
    EXPECT_EQ(crowded_texts(maf, section_labels_y), std::vector<std::string>{});

    const PaintModel knock = e.paint(EditorKind::knock);
    const auto knock_texts = knock.texts();
    ASSERT_FALSE(knock_texts.empty());
    const auto ten_thousand = std::find_if(knock_texts.begin(), knock_texts.end(),
                                           [](const TextOp* t) { return t->text == "10000"; });
    ASSERT_NE(ten_thousand, knock_texts.end());
    EXPECT_EQ(crowded_texts(knock, (*ten_thousand)->at.y), std::vector<std::string>{});

    // At full throttle the live ">" stands beside the "100" row label, not on it.
    e.cal.param(hw::FLM_LOAD) = 0;
    e.live.set_word(12, static_cast<std::int16_t>(e.cal.param(hw::THROTTLE_HI)));
    const PaintModel fuel = e.paint(EditorKind::fuel_correction);
    const TextOp* hundred = nullptr;
    int marker_left = 1000;
    for (const TextOp* t : fuel.texts()) {
        if (t->text == "100" && t->align == Align::right && t->at.x < 60) hundred = t;
        if (t->text == ">") marker_left = std::min(marker_left, text_span(*t).first);
    }
    ASSERT_NE(hundred, nullptr);
    EXPECT_LT(text_span(*hundred).second, marker_left);
}

TEST(MapToMafPaint, RowSectionHoldsCellsAboveFullScaleAtFiveVolts) {
    Editors e;
    select_cells(e.state, 4, 0, 4, 0);
    for (int c = 0; c < 20; ++c)
        e.cal.cell(MapId::map_2_maf, 4, c) = c < 10 ? 5000 : 32767;
    const PaintModel m = e.paint(EditorKind::map_to_maf);
    const MapGrid g = e.grid(EditorKind::map_to_maf);
    const int section = g.width / 2 - 20;
    const int top = g.height + 26;  // the 5 V level
    for (int c = 1; c < 20; ++c) {
        const Point from{(c * section) / 20 + 60, top};
        const Point to{((c + 1) * section) / 20 + 60, top};
        EXPECT_TRUE(has_line(m, from, to, pens::black)) << c;
    }
}

TEST(TwelveRowEditors, PaintHoldsTheCursorRowsAtEleven) {
    Editors e;
    select_cells(e.state, 22, 3, 20, 5);
    e.paint(EditorKind::meth_correction);
    EXPECT_EQ(e.state.cursor.map_cursor_row, 11);
    EXPECT_EQ(e.state.cursor.map_anchor_row, 11);
}

TEST(CurveEditorPaint, KnockRangeIsWhiteAndTheBoxStandsOnTheCursor) {
    Editors e;
    for (int k = 0; k < 21; ++k)
        e.cal.curve_word(cv::KNOCK + k) = static_cast<std::int16_t>(k * 100);
    e.cal.curve_word(cv::KNOCK + 6) = 4095;
    select_points(e.state, 3, 6);
    const PaintModel m = e.paint(EditorKind::knock);
    const int plot_w = 774 - 71;
    const int plot_h = 650 - 55;
    auto point = [&](int k) {
        const int v = e.cal.curve_word(cv::KNOCK + k);
        return Point{(k * plot_w) / 20 + 50, plot_h - (plot_h * v) / 4096};
    };
    for (int k = 1; k < 21; ++k) {
        const bool white = k >= 4 && k <= 6;
        EXPECT_TRUE(has_line(m, point(k - 1), point(k), white ? pens::white : pens::black)) << k;
    }
    EXPECT_EQ(point(6).y, 1);  // full scale at the top of the plot
    EXPECT_EQ(yellow_fills(m), 1);
    const TextOp* readout = text_at(m, plot_w + 30, 4);
    ASSERT_NE(readout, nullptr);
    EXPECT_EQ(readout->text, "Knock 5.00V");
}

TEST(CurveEditorPaint, CursorBeyondTheCurveMarksNothing) {
    Editors e;
    select_points(e.state, 32, 32);  // left there by the 33-point MAF page
    const PaintModel m = e.paint(EditorKind::knock);
    EXPECT_EQ(yellow_fills(m), 0);
    EXPECT_EQ(text_at(m, 774 - 71 + 30, 4), nullptr);
}

// A file that held no AFR protect curve leaves zeros: a paint draws them at
// the plot's floor and says so, and leaves every word (and so every block the
// next upload would send) as it was.
TEST(CurveEditorPaint, AfrProtectPointsOutsideThePlotAreDrawnAtItsEdgeAndKept) {
    Editors e;
    for (int k = 0; k < cv::AFR_PROTECT_POINTS; ++k)
        e.cal.curve_word(cv::AFR_PROTECT + k) = 0;
    e.cal.curve_word(cv::AFR_PROTECT + 1) = 160;
    const Calibration before = e.cal;
    const PaintModel m = e.paint(EditorKind::afr_protect);
    EXPECT_EQ(e.cal.curves, before.curves);
    const EditorInfo& info = editor_info(EditorKind::afr_protect);
    const int floor = info.height - 55;
    const int x1 = scaled(1, info.width - 71, cv::AFR_PROTECT_POINTS - 1) + 50;
    EXPECT_TRUE(has_line(m, {50, floor}, {x1, 0}, pens::black));
    ASSERT_NE(text_at(m, 56, 4), nullptr);
    EXPECT_EQ(text_at(m, 56, 4)->text, kAfrOutsideText);
}

TEST(CurveEditorPaint, FlatTemperatureCurveIsDrawnAcrossTheMiddle) {
    Editors e;
    for (int k = 0; k < 33; ++k)
        e.cal.curve_word(cv::IAT_SENSOR + k) = 20;
    const PaintModel m = e.paint(EditorKind::iat_sensor);
    const int plot_h = 320 - 55;
    EXPECT_TRUE(has_line(m, {50, plot_h - plot_h / 2}, {(774 - 71) / 32 + 50, plot_h - plot_h / 2},
                         pens::black));
    EXPECT_EQ(text_at(m, 774 - 71 + 30, 4)->text, "Temperature 20C @0.00V");
}

TEST(TemperaturePage, ClickedEditorOwnsCursorAndBrightTitle) {
    Editors e;
    MouseEvent click;
    EXPECT_TRUE(editor_left_down(EditorKind::iat_correction, e.state, click).repaint);
    EXPECT_EQ(e.state.active_temp_curve, TempCurve::correction);
    const PaintModel upper = e.paint(EditorKind::iat_sensor);
    const PaintModel lower = e.paint(EditorKind::iat_correction);
    EXPECT_EQ(yellow_fills(upper), 0);
    EXPECT_EQ(yellow_fills(lower), 1);
    EXPECT_EQ(text_at(upper, 0, (320 - 55) / 2)->color, colors::text_grey);
    EXPECT_EQ(text_at(lower, 0, (320 - 31) / 2)->color, colors::white);
    EXPECT_FALSE(editor_left_down(EditorKind::maf_sensor, e.state, click).repaint);
}

TEST(EditorPaint, DegenerateSizesAndZeroSpansDrawWithoutFault) {
    Editors e;
    e.live.set_word(6, 32767);  // a MAP reading far beyond the map
    e.live.set_word(12, -32768);
    auto paint_all = [&](std::pair<int, int> size) {
        for (const EditorInfo& info : graph_editors()) {
            const EditorView view{size.first, size.second, e.cal, e.state, e.live};
            EXPECT_FALSE(paint_editor(info.kind, view).ops.empty());
            EXPECT_FALSE(cell_at(info.kind, 61, 185, 60, 0).has_value());
        }
    };
    for (auto size : {std::pair{0, 0}, std::pair{61, 25}, std::pair{1 << 24, 1 << 24}}) {
        paint_all(size);
    }
    e.cal.param(hw::MAP_HI) = e.cal.param(hw::MAP_LO);
    e.cal.param(hw::THROTTLE_HI) = e.cal.param(hw::THROTTLE_LO);
    paint_all({774, 670});
}

struct HitCase {
    int x, y;
    std::optional<GridCell> cell;
};

TEST(MapEditorMouse, CellUnderThePointTruncatesTowardZero) {
    // MAPEDIT at 774 x 670: W 713 (35 pixels a column), H 485.
    const HitCase cases[] = {
        {60, 0, GridCell{0, 23}},    {25, 100, GridCell{0, 19}}, {24, 100, std::nullopt},
        {772, 484, GridCell{19, 0}}, {773, 484, std::nullopt},   {100, 485, std::nullopt},
    };
    for (const HitCase& c : cases) {
        EXPECT_EQ(cell_at(EditorKind::map_to_maf, 774, 670, c.x, c.y), c.cell) << c.x << "," << c.y;
    }
}

TEST(MapEditorMouse, ClickSetsCursorAndAnchorUnlessShiftHeld) {
    Editors e;
    MouseEvent click{774, 670, 25, 0, false, false, true};
    MouseResult r = editor_left_down(EditorKind::map_to_maf, e.state, click);
    EXPECT_TRUE(r.cancel_cell_editor && r.repaint);
    EXPECT_FALSE(r.focus_main_window);
    EXPECT_EQ(e.state.cursor.map_anchor_col, 0);
    EXPECT_EQ(e.state.cursor.map_anchor_row, 23);

    click = {774, 670, 400, 400, true, false, false};
    editor_left_down(EditorKind::map_to_maf, e.state, click);
    EXPECT_EQ(e.state.cursor.map_anchor_row, 23);
    EXPECT_EQ(e.state.cursor.map_cursor_col, 9);
    EXPECT_EQ(e.state.cursor.map_cursor_row, 4);

    // A drag moves the cursor; without the button, or with the editor open, nothing.
    MouseEvent move{774, 670, 100, 0, false, true, false};
    EXPECT_TRUE(editor_mouse_move(EditorKind::map_to_maf, e.state, move).repaint);
    EXPECT_EQ(e.state.cursor.map_cursor_col, 1);
    move.x = 300;
    move.cell_editor_open = true;
    EXPECT_FALSE(editor_mouse_move(EditorKind::map_to_maf, e.state, move).repaint);
    EXPECT_EQ(e.state.cursor.map_cursor_col, 1);
}

TEST(MapEditorMouse, ClickBelowTheTwelveRowsRepaintsOnly) {
    Editors e;
    select_cells(e.state, 2, 2, 2, 2);
    const MouseEvent below{774, 400, 200, 390};
    const MouseResult r = editor_left_down(EditorKind::meth_correction, e.state, below);
    EXPECT_TRUE(r.repaint && r.focus_main_window);
    EXPECT_EQ(e.state.cursor.map_cursor_row, 2);
}

TEST(MapEditorMouse, DoubleClickOpensTheEditorOnlyOnACell) {
    Editors e;
    select_cells(e.state, 5, 5, 5, 5);
    MouseEvent outside{774, 670, 10, 10};
    MouseResult r = editor_double_click(EditorKind::map_to_maf, e.state, outside);
    EXPECT_FALSE(r.open_cell_editor || r.repaint);
    EXPECT_EQ(e.state.cursor.map_cursor_col, 5);

    MouseEvent inside{774, 670, 140, 470};
    r = editor_double_click(EditorKind::map_to_maf, e.state, inside);
    EXPECT_TRUE(r.open_cell_editor);
    EXPECT_EQ(e.state.cursor.map_cursor_col, 2);
    EXPECT_EQ(e.state.cursor.map_cursor_row, 0);
    EXPECT_EQ(e.state.cursor.map_anchor_col, 5);
    EXPECT_EQ(cell_editor_rect(EditorKind::map_to_maf, 774, 670, e.state.cursor),
              (CellEditorRect{131, 465, 37, 20}));
    EXPECT_FALSE(editor_double_click(EditorKind::knock, e.state, inside).open_cell_editor);
}

TEST(MapEditorMouse, CellEditorOfTwelveRowEditorsStaysOnTheirRows) {
    EditorCursor c;
    c.map_cursor_row = 20;
    c.map_cursor_col = 19;
    // METHEDIT at 774 x 400: W 713, H 375; row 11 is the top band.
    EXPECT_EQ(cell_editor_rect(EditorKind::meth_correction, 774, 400, c),
              (CellEditorRect{(713 * 19) / 20 + 60, 0, 37, 31}));
    EXPECT_EQ(c.map_cursor_row, 11);
    EXPECT_FALSE(cell_editor_rect(EditorKind::afr_protect, 774, 650, c).has_value());
}

TEST(MapEditorMouse, RightClickMenuOnTheTwoMainMaps) {
    EXPECT_TRUE(editor_right_down(EditorKind::map_to_maf).show_popup_menu);
    EXPECT_TRUE(editor_right_down(EditorKind::fuel_correction).show_popup_menu);
    EXPECT_FALSE(editor_right_down(EditorKind::boost_duty).show_popup_menu);
    const auto menu = map_popup_menu();
    ASSERT_EQ(menu.size(), 5U);
    EXPECT_EQ(menu[0].text, "Interpolate\tI");
    EXPECT_EQ(menu[2].command_id, 32842);
    EXPECT_EQ(menu[3].command_id, 0);
    EXPECT_EQ(menu[4].text, "Rest all map data");
}

}  // namespace
}  // namespace veloquin
