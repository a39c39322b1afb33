#include "editors/cursor_keys.h"

#include <algorithm>
#include <limits>

#include "calibration/conversions.h"
#include "editors/page_rules.h"

namespace veloquin {
namespace {

void collapse_curve(EditorCursor& cursor) {
    cursor.curve_anchor = cursor.curve_cursor;
}

int apply_step(StepKind kind, int v, int delta, const StepRule& rule) {
    switch (kind) {
        case StepKind::none:
            return v;
        case StepKind::conditional:
            if (delta > 0) return v < rule.hi ? v + delta : v;
            return v > rule.lo ? v + delta : v;
        case StepKind::clamped:
            return delta > 0 ? std::min(v + delta, rule.hi) : std::max(v + delta, rule.lo);
        case StepKind::maf_unsigned: {
            const int r = v + delta;
            if (delta > 0) return std::min(r, rule.hi);
            // A point stepped below zero would wrap to a huge unsigned airflow.
            return (r < 0 || r > rule.hi) ? 0 : r;
        }
        case StepKind::unlimited:
            // Held at the word's range: wrapping 32767 round to -32768 would turn a
            // temperature or correction into its opposite.
            return std::clamp(v + delta, static_cast<int>(std::numeric_limits<std::int16_t>::min()),
                              static_cast<int>(std::numeric_limits<std::int16_t>::max()));
    }
    return v;
}

// The large step of the MAF emulation page grows with the cell: 2 % of it, at least 15.
int map_large_step(int v) {
    return std::max(v / 50, 15);
}

int stepped(const StepRule& rule, ValueStep step, int v) {
    const bool large = step == ValueStep::increase_large || step == ValueStep::decrease_large;
    const bool up = step == ValueStep::increase || step == ValueStep::increase_large;
    int size = large ? rule.large : rule.small;
    if (large && size == 0) size = map_large_step(v);
    return apply_step(large ? rule.large_kind : rule.small_kind, v, up ? size : -size, rule);
}

void step_map(EditorState& state, Calibration& cal, const PageRules& rules, ValueStep step) {
    const EditorCursor& c = state.cursor;
    for (int r = c.first_row; r <= c.last_row; ++r) {
        for (int col = c.first_col; col <= c.last_col; ++col) {
            std::int16_t& cell = cal.cell(rules.map, r, col);
            cell = low16(stepped(rules.step, step, cell));
        }
    }
}

void step_curve(EditorState& state, Calibration& cal, const PageRules& rules, ValueStep step) {
    const CurveRef curve = page_curve(rules.page, state.active_temp_curve);
    // The curve cursor is shared by curves of different lengths; points past
    // this curve's end belong to other tables and are never touched.
    const int last = std::min(state.cursor.last_point, curve.points - 1);
    for (int k = std::max(state.cursor.first_point, 0); k <= last; ++k) {
        std::int16_t& word = cal.curve_word(curve.offset + k);
        const int v = rules.unsigned_values ? static_cast<std::uint16_t>(word) : word;
        word = low16(stepped(rules.step, step, v));
    }
    if (rules.maf_curve) rebuild_maf_reverse_table(cal);
}

}  // namespace

void update_selection(EditorCursor& c, const Calibration& cal) {
    // Every operation indexes the maps with these, so whoever set the corners
    // (mouse, live box, a script) cannot make them reach outside the grid.
    auto col = [](int v) { return std::clamp(v, 0, kMapCols - 1); };
    auto row = [](int v) { return std::clamp(v, 0, kMapRows - 1); };
    c.first_col = col(std::min(c.map_cursor_col, c.map_anchor_col));
    c.last_col = col(std::max(c.map_cursor_col, c.map_anchor_col));
    c.first_row = row(std::min(c.map_cursor_row, c.map_anchor_row));
    c.last_row = row(std::max(c.map_cursor_row, c.map_anchor_row));
    c.first_point = std::max(std::min(c.curve_cursor, c.curve_anchor), 0);
    c.last_point = std::max(c.curve_cursor, c.curve_anchor);
    int lo = cal.curve_word(cv::IAT_SENSOR);
    int hi = lo;
    for (int k = 1; k < cv::IAT_SENSOR_POINTS; ++k) {
        lo = std::min(lo, static_cast<int>(cal.curve_word(cv::IAT_SENSOR + k)));
        hi = std::max(hi, static_cast<int>(cal.curve_word(cv::IAT_SENSOR + k)));
    }
    c.iat_sensor_min = lo;
    c.iat_sensor_max = hi;
}

void collapse_selection(EditorCursor& cursor) {
    cursor.map_anchor_col = cursor.map_cursor_col;
    cursor.map_anchor_row = cursor.map_cursor_row;
}

void move_cursor(EditorState& state, Page page, CursorMove move, bool extend) {
    EditorCursor& c = state.cursor;
    const PageRules& rules = page_rules(page);
    limit_rows_for_page(c, page);
    limit_curve_for_page(c, page, state.active_temp_curve);
    switch (move) {
        case CursorMove::up:
        case CursorMove::down:
            // The map cursor moves on every page, even where no map is shown.
            c.map_cursor_row = move == CursorMove::up ? std::min(c.map_cursor_row + 1, kMapRows - 1)
                                                      : std::max(c.map_cursor_row - 1, 0);
            if (!extend) collapse_selection(c);
            break;
        case CursorMove::left:
        case CursorMove::right: {
            const int delta = move == CursorMove::right ? 1 : -1;
            if (rules.kind == TableKind::map) {
                c.map_cursor_col = std::clamp(c.map_cursor_col + delta, 0, kMapCols - 1);
                if (!extend) collapse_selection(c);
            } else if (rules.kind == TableKind::curve) {
                const int last = page_curve(page, state.active_temp_curve).points - 1;
                c.curve_cursor = delta > 0 ? std::min(c.curve_cursor + 1, last)
                                           : std::max(c.curve_cursor - 1, 0);
                if (!extend) collapse_curve(c);
            }
            break;
        }
    }
    limit_rows_for_page(c, page);
}

bool step_values(EditorState& state, Calibration& cal, Page page, ValueStep step) {
    const PageRules& rules = page_rules(page);
    limit_rows_for_page(state.cursor, page);
    limit_curve_for_page(state.cursor, page, state.active_temp_curve);
    update_selection(state.cursor, cal);
    if (rules.kind == TableKind::map) {
        step_map(state, cal, rules, step);
    } else if (rules.kind == TableKind::curve) {
        step_curve(state, cal, rules, step);
    }
    return rules.kind != TableKind::none;
}

void copy_selection(EditorState& state, const Calibration& cal, Page page) {
    const PageRules& rules = page_rules(page);
    // Resizing the clipboard without filling it would let the next paste
    // write values left over from an older copy; so elsewhere it stays as is.
    if (!rules.copy_values) return;
    EditorCursor& c = state.cursor;
    update_selection(c, cal);
    MapClipboard& clip = state.clipboard;
    clip.clip_width = c.last_col - c.first_col + 1;
    clip.clip_height = c.last_row - c.first_row + 1;
    for (int i = 0; i < clip.clip_height; ++i) {
        for (int j = 0; j < clip.clip_width; ++j) {
            clip.at(i, j) = cal.cell(rules.map, c.last_row - i, c.first_col + j);
        }
    }
}

bool paste_clipboard(EditorState& state, Calibration& cal, Page page) {
    const MapClipboard& clip = state.clipboard;
    if (clip.clip_height <= 0) return false;
    const PageRules& rules = page_rules(page);
    EditorCursor& c = state.cursor;
    limit_rows_for_page(c, page);
    update_selection(c, cal);
    for (int i = 0; i < clip.clip_height; ++i) {
        const int row = c.last_row - i;
        if (row < 0) continue;
        for (int j = 0; j < clip.clip_width; ++j) {
            const int col = c.last_col + j;
            if (col >= kMapCols) continue;
            if (rules.copy_values) cal.cell(rules.map, row, col) = clip.at(i, j);
            state.visits.mark(row, col);
        }
    }
    return true;
}

}  // namespace veloquin
