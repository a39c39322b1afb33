#include "editors/map_editor_paint.h"

#include <algorithm>
#include <array>
#include <string>

#include "calibration/conversions.h"
#include "calibration/map_rows.h"
#include "editors/cursor_keys.h"
#include "editors/editor_text.h"
#include "editors/learn_paint.h"
#include "editors/map_sections.h"
#include "editors/page_rules.h"

namespace veloquin {
namespace {

// The cell text's own counts-to-volts factor, a single-precision constant a
// hair above 5/4095, so a full-scale cell reads "5.00".
constexpr float kCellVoltsPerCount = 0.0012210013F;

int param(const Calibration& cal, int word) {
    return cal.param(word);
}

// A float pixel position as an int; a far-off live reading must not make the
// conversion overflow.
int truncate_pixel(float v) {
    constexpr float kFar = 1.0e9F;
    return static_cast<int>(std::clamp(v, -kFar, kFar));
}

bool selected(const EditorCursor& c, int row, int col) {
    return row >= c.first_row && row <= c.last_row && col >= c.first_col && col <= c.last_col;
}

int column_x(const MapGrid& g, int k) {
    return scaled(k, g.width, kMapCols) + kGridLeft;
}

// The top of row r's band; row 0 lies at the bottom.
int row_top(const MapGrid& g, int row) {
    return scaled(g.rows - 1 - row, g.height, g.rows);
}

// The bands under the axis labels. Over a background painted whole they
// show nothing, but they keep the drawing order the layout was made in.
void draw_bands(PaintModel& m, const MapGrid& g) {
    m.fill(50, 0, 14, g.height + 30, colors::window_grey);
    m.fill(30, g.height - 4, g.width + 40, 16, colors::window_grey);
}

void draw_axis_title(PaintModel& m, int x, const MapGrid& g, std::string_view title) {
    if (title.empty()) return;
    m.draw_text(x, g.height / 2, std::string(title), FontId::vertical, colors::text_grey,
                Align::center);
}

// Column lines and engine-speed labels: 500 rpm under column 0, 10000 under 19.
void draw_speed_axis(PaintModel& m, const MapGrid& g) {
    for (int k = 0; k <= kMapCols; ++k) {
        const int x = column_x(g, k);
        m.draw_line(x, 0, x, g.height, pens::grey);
    }
    for (int k = 0; k < kMapCols; ++k) {
        m.draw_text(scaled(2 * k + 1, g.width, 2 * kMapCols) + kGridLeft, g.height + 6,
                    editor_text::integer(500 + 500 * k), FontId::small, colors::black,
                    Align::center);
    }
}

void draw_row_lines(PaintModel& m, const MapGrid& g) {
    for (int j = 0; j <= g.rows; ++j) {
        const int y = scaled(g.rows - j, g.height, g.rows);
        m.draw_line(kGridLeft, y, g.width + kGridLeft, y, pens::grey);
    }
}

// Each row's label stands at the top of its own band, clear of the live
// load marker's ">" between it and the grid.
constexpr int kRowLabelRight = 51;
template <typename LabelOf>
void draw_row_labels(PaintModel& m, const MapGrid& g, LabelOf label_of) {
    for (int r = 0; r < g.rows; ++r) {
        const std::string label = label_of(r);
        if (label.empty()) continue;
        m.draw_text(kRowLabelRight, row_top(g, r) + 4, label, FontId::small, colors::black,
                    Align::right);
    }
}

// "^" under the live engine speed: 500 rpm over the middle of column 0.
void draw_speed_marker(PaintModel& m, const MapGrid& g, int rpm) {
    const int x = scaled(rpm - 250, g.width, 10000) + kGridLeft;
    m.draw_text(x, g.height - 4, "^", FontId::small, colors::red, Align::center);
    m.draw_text(x + 1, g.height - 4, "^", FontId::small, colors::red, Align::center);
}

// Where ">" stands for the lowest load, and how far it rises to the highest:
// the middles of the bottom and top rows, less the text's own half height.
struct LoadScale {
    int bottom;
    int rise;
};
LoadScale load_scale(const MapGrid& g) {
    const int h = g.height;
    return {h - h / 48 - 9, (23 * h) / 24};
}

// ">" beside the live load, drawn three times for weight. A load beyond the
// axis (the zero record before any device answered reads below its lowest
// pressure) stands at the axis end, not over the buttons under the grid.
void draw_load_marker(PaintModel& m, const LoadScale& s, int y) {
    y = std::clamp(y, s.bottom - s.rise, s.bottom);
    for (int x = 61; x <= 63; ++x) {
        m.draw_text(x, y, ">", FontId::small, colors::red, Align::right);
    }
}

struct CellBox {
    int box_dy;
    int box_height;
    int text_dy;
};
constexpr CellBox kMapToMafBox{3, 16, 4};
constexpr CellBox kNumberBox{4, 18, 6};

// What a cell shows: its text, the text's colour and the box behind it.
struct CellPaint {
    std::string text;
    Rgb color;
    Rgb box = colors::window_grey;
};

template <typename PaintOf>
void draw_cells(PaintModel& m, const MapGrid& g, CellBox box, PaintOf paint_of) {
    for (int r = 0; r < g.rows; ++r) {
        const int top = row_top(g, r);
        for (int c = 0; c < kMapCols; ++c) {
            const int right = scaled(c + 1, g.width, kMapCols);
            CellPaint p = paint_of(r, c);
            m.fill(right + 27, top + box.box_dy, 30, box.box_height, p.box);
            m.draw_text(right + 55, top + box.text_dy, std::move(p.text), FontId::small, p.color,
                        Align::right);
        }
    }
}

// The cell as the learning shows it: a proposed value in place of the
// current one on a box coloured by the move, a pale box and grey text where
// too few samples came, hit counts on request, the hit shade.
template <typename Format>
CellPaint learnt_cell(const EditorView& view, MapId map, int r, int c, bool in_selection,
                      CellPaint own, Format format) {
    if (view.learn == nullptr) return own;
    const LearnCellLook look = learn_cell_look(*view.learn, view.cal, map, r, c);
    if (look.box) own.box = *look.box;
    if (look.value) {
        own.text = format(*look.value);
        if (!in_selection) own.color = colors::black;
    }
    if (look.text) {
        own.text = *look.text;
        if (!in_selection) own.color = colors::black;
    }
    if (look.too_few && !in_selection) own.color = colors::text_grey;
    if (look.hits) own.text = *look.hits > 0 ? editor_text::integer(*look.hits) : std::string();
    return own;
}

// Frames inside the cells that differ from `other`, clear of the grid lines.
void draw_frames(PaintModel& m, const MapGrid& g, const Calibration& cal, const Calibration& other,
                 MapId map, Rgb color) {
    for (int r = 0; r < g.rows; ++r) {
        const int top = row_top(g, r);
        const int bottom = scaled(g.rows - r, g.height, g.rows);
        for (int c = 0; c < kMapCols; ++c) {
            if (cal.cell(map, r, c) == other.cell(map, r, c)) continue;
            draw_difference_frame(m, column_x(g, c) + 2, top + 2, column_x(g, c + 1) - 2,
                                  bottom - 2, color);
        }
    }
}

// A frame inside every shown cell whose value differs from the compared
// calibration, and inside every cell the last learning applied changed.
void draw_differences(PaintModel& m, const MapGrid& g, const EditorView& view, MapId map) {
    if (view.compared != nullptr) {
        draw_frames(m, g, view.cal, *view.compared, map, colors::difference);
    }
    if (view.learn != nullptr && view.learn->learnt_from != nullptr) {
        draw_frames(m, g, view.cal, *view.learn->learnt_from, map, colors::learnt_frame);
    }
}

// The cursor cell as a white ring around a black one: one of the two stands
// out on every box colour the cells take (white, yellow, the learning's hues).
void draw_cursor_frame(PaintModel& m, const MapGrid& g, const EditorCursor& c) {
    const int r = c.map_cursor_row;
    const int col = c.map_cursor_col;
    if (r < 0 || r >= g.rows || col < 0 || col >= kMapCols) return;
    const int x1 = column_x(g, col);
    const int x2 = column_x(g, col + 1);
    const int y1 = row_top(g, r);
    const int y2 = scaled(g.rows - r, g.height, g.rows);
    draw_difference_frame(m, x1, y1, x2, y2, colors::white);
    draw_difference_frame(m, x1 + 1, y1 + 1, x2 - 1, y2 - 1, colors::black);
}

// Black, grey when 0, white inside the selection: the twelve-row maps.
Rgb plain_cell_color(int value, bool in_selection) {
    if (in_selection) return colors::white;
    return value == 0 ? colors::text_grey : colors::black;
}

// The fraction of the load axis the live reading stands at; nullopt when the
// axis has no span (its two calibration points coincide) or no known load.
struct LoadAxis {
    std::string_view title;
    bool has_fraction = false;
    float fraction = 0.0F;
};

LoadAxis span_fraction(std::string_view title, int reading, int lo, int hi) {
    if (hi == lo) return {title, false, 0.0F};
    return {title, true, static_cast<float>(reading - lo) / static_cast<float>(hi - lo)};
}

LoadAxis fuel_load_axis(const Calibration& cal, const LiveRecord& live) {
    switch (param(cal, hw::FLM_LOAD)) {
        case 0:
            return span_fraction("Throttle %", live.throttle_counts(), param(cal, hw::THROTTLE_LO),
                                 param(cal, hw::THROTTLE_HI));
        case 1:
            return span_fraction(map_units_title(param(cal, hw::MAP_UNITS)), live.map_counts(),
                                 param(cal, hw::MAP_LO), param(cal, hw::MAP_HI));
        default:
            return {{}, true, 0.0F};
    }
}

}  // namespace

std::string_view map_units_title(int map_units) {
    switch (map_units) {
        case 0:
            return "MAP Voltage";
        case 1:
            return "MAP Pressure, Bar";
        case 2:
            return "MAP Pressure, PSi";
        default:
            return {};
    }
}

void paint_map_to_maf(const EditorView& view, PaintModel& m) {
    const MapGrid g = *map_grid(EditorKind::map_to_maf, view.width, view.height);
    const Calibration& cal = view.cal;
    EditorState& state = view.state;
    m.fill(52, 0, 12, g.height, colors::window_grey);
    m.fill(30, g.height - 4, g.width + 40, 10, colors::window_grey);
    draw_axis_title(m, 0, g, map_units_title(param(cal, hw::MAP_UNITS)));
    draw_speed_axis(m, g);
    draw_row_lines(m, g);
    const int lo = param(cal, hw::MAP_LO);
    const int span = param(cal, hw::MAP_HI) - lo;
    draw_row_labels(m, g, [&](int r) { return map_row_text(cal, MapId::map_2_maf, r); });

    draw_speed_marker(m, g, view.live.rpm());
    if (span != 0) {
        const LoadScale s = load_scale(g);
        draw_load_marker(m, s, s.bottom - scaled(view.live.map_counts() - lo, s.rise, span));
    }

    update_selection(state.cursor, cal);
    const EditorCursor& c = state.cursor;
    const auto volts = [](int word) { return editor_text::fixed(word * kCellVoltsPerCount, 2); };
    const auto color_of = [&](int r, int col) {
        if (selected(c, r, col)) return colors::white;
        if (state.visits.marked(r, col)) return colors::yellow;
        if (state.automap_cell(r, col).count != 0) return colors::black;
        return cal.cell(MapId::map_2_maf, r, col) == 0 ? colors::text_grey : colors::black;
    };
    draw_cells(m, g, kMapToMafBox, [&](int r, int col) {
        const CellPaint own{volts(cal.cell(MapId::map_2_maf, r, col)), color_of(r, col)};
        return learnt_cell(view, MapId::map_2_maf, r, col, selected(c, r, col), own, volts);
    });
    draw_differences(m, g, view, MapId::map_2_maf);
    draw_cursor_frame(m, g, c);
    draw_map_sections(m, g, view, c);
}

void paint_fuel_correction(const EditorView& view, PaintModel& m) {
    const MapGrid g = *map_grid(EditorKind::fuel_correction, view.width, view.height);
    const Calibration& cal = view.cal;
    EditorState& state = view.state;
    draw_bands(m, g);
    const LoadAxis load = fuel_load_axis(cal, view.live);
    draw_axis_title(m, 0, g, load.title);
    draw_speed_axis(m, g);
    draw_row_lines(m, g);
    // No known load, no labels.
    draw_row_labels(m, g, [&](int r) { return map_row_text(cal, MapId::fuel_correction, r); });

    draw_speed_marker(m, g, view.live.rpm());
    if (load.has_fraction) {
        const LoadScale s = load_scale(g);
        draw_load_marker(m, s,
                         truncate_pixel(static_cast<float>(s.bottom) -
                                        static_cast<float>(s.rise) * load.fraction));
    }

    update_selection(state.cursor, cal);
    const EditorCursor& c = state.cursor;
    const auto color_of = [&](int r, int col) {
        if (selected(c, r, col)) return colors::white;
        if (state.visits.marked(r, col)) return colors::yellow;
        return cal.cell(MapId::fuel_correction, r, col) == 0 ? colors::text_grey : colors::black;
    };
    draw_cells(m, g, kNumberBox, [&](int r, int col) {
        const int word = cal.cell(MapId::fuel_correction, r, col);
        const CellPaint own{editor_text::cell_integer(word), color_of(r, col)};
        return learnt_cell(view, MapId::fuel_correction, r, col, selected(c, r, col), own,
                           editor_text::cell_integer);
    });
    draw_differences(m, g, view, MapId::fuel_correction);
    draw_cursor_frame(m, g, c);
}

namespace {

template <typename LabelOf>
void paint_twelve_rows(const EditorView& view, PaintModel& m, EditorKind kind, MapId map,
                       LabelOf label_of) {
    const MapGrid g = *map_grid(kind, view.width, view.height);
    draw_speed_axis(m, g);
    draw_row_lines(m, g);
    draw_row_labels(m, g, label_of);
    EditorCursor& c = view.state.cursor;
    update_selection(c, view.cal);
    draw_cells(m, g, kNumberBox, [&](int r, int col) {
        const int word = view.cal.cell(map, r, col);
        const CellPaint own{editor_text::cell_integer(word),
                            plain_cell_color(word, selected(c, r, col))};
        return learnt_cell(view, map, r, col, selected(c, r, col), own, editor_text::cell_integer);
    });
    draw_differences(m, g, view, map);
    draw_cursor_frame(m, g, c);
}

}  // namespace

void paint_meth_correction(const EditorView& view, PaintModel& m) {
    limit_rows_for_page(view.state.cursor, Page::nos_methanol);
    const MapGrid g = *map_grid(EditorKind::meth_correction, view.width, view.height);
    draw_bands(m, g);
    draw_axis_title(m, 0, g, "MAP Pressure, Bar");
    // The row axis runs between the two pressure limits of the correction
    // settings, as MAP counts (their derived words).
    paint_twelve_rows(view, m, EditorKind::meth_correction, MapId::meth_correction,
                      [&](int r) { return map_row_text(view.cal, MapId::meth_correction, r); });
}

void paint_boost_duty(const EditorView& view, PaintModel& m) {
    limit_rows_for_page(view.state.cursor, Page::boost_control);
    const MapGrid g = *map_grid(EditorKind::boost_duty, view.width, view.height);
    m.draw_text(g.width / 2 + kGridLeft, g.height + 30, "WG Duty map", FontId::horizontal,
                colors::text_grey, Align::center);
    draw_bands(m, g);
    draw_axis_title(m, 10, g, "Throttle");
    paint_twelve_rows(view, m, EditorKind::boost_duty, MapId::boost_duty,
                      [&](int r) { return map_row_text(view.cal, MapId::boost_duty, r); });
}

}  // namespace veloquin
