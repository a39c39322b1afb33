#include "editors/editor_mouse.h"

#include <algorithm>

#include "editors/page_rules.h"

namespace veloquin {
namespace {

constexpr MenuEntry kMapPopup[] = {
    {"Interpolate\tI", 32792},
    {"Smooth MAP\tCtrl-Shift-M", 32800},
    {"Exterpolate boost up\tCtrl-Shift-X", 32842},
    {"", 0},
    {"Rest all map data", 32795},
};

bool twelve_rows(EditorKind kind) {
    return kind == EditorKind::meth_correction || kind == EditorKind::boost_duty;
}

// The twelve-row editors bring a cursor or anchor row above 11 back to 11
// whenever they handle anything, so a selection made on a 24-row page never
// reaches rows they do not show.
void hold_rows(EditorKind kind, EditorCursor& c) {
    limit_rows_for_page(c, editor_info(kind).page);
}

std::optional<GridCell> cell_under(EditorKind kind, const MouseEvent& e) {
    return cell_at(kind, e.width, e.height, e.x, e.y);
}

void move_cursor_to(EditorCursor& c, GridCell cell) {
    c.map_cursor_col = cell.col;
    c.map_cursor_row = cell.row;
}

}  // namespace

std::optional<GridCell> cell_at(EditorKind kind, int width, int height, int x, int y) {
    const std::optional<MapGrid> g = map_grid(kind, width, height);
    // A window too small to hold a grid has no cells, and nothing to divide by.
    if (!g || g->width <= 0 || g->height <= 0) return std::nullopt;
    const GridCell cell{scaled(x - kGridLeft, kMapCols, g->width),
                        g->rows - 1 - scaled(y, g->rows, g->height)};
    if (cell.col < 0 || cell.col >= kMapCols || cell.row < 0 || cell.row >= g->rows) {
        return std::nullopt;
    }
    return cell;
}

MouseResult editor_left_down(EditorKind kind, EditorState& state, const MouseEvent& e) {
    MouseResult result;
    switch (editor_info(kind).mouse) {
        case EditorMouse::select_cells: {
            hold_rows(kind, state.cursor);
            result.cancel_cell_editor = e.cell_editor_open;
            result.focus_main_window = twelve_rows(kind);
            if (const auto cell = cell_under(kind, e)) {
                move_cursor_to(state.cursor, *cell);
                if (!e.shift) {
                    state.cursor.map_anchor_col = cell->col;
                    state.cursor.map_anchor_row = cell->row;
                }
            }
            result.repaint = true;
            break;
        }
        case EditorMouse::activate_curve:
            state.active_temp_curve =
                kind == EditorKind::iat_sensor ? TempCurve::sensor : TempCurve::correction;
            result.repaint = true;
            break;
        case EditorMouse::repaint:
            result.repaint = true;
            break;
        case EditorMouse::none:
            break;
    }
    return result;
}

MouseResult editor_mouse_move(EditorKind kind, EditorState& state, const MouseEvent& e) {
    if (editor_info(kind).mouse != EditorMouse::select_cells) return {};
    hold_rows(kind, state.cursor);
    if (!e.left_held || e.cell_editor_open) return {};
    if (const auto cell = cell_under(kind, e)) move_cursor_to(state.cursor, *cell);
    MouseResult result;
    result.repaint = true;
    return result;
}

MouseResult editor_double_click(EditorKind kind, EditorState& state, const MouseEvent& e) {
    if (editor_info(kind).mouse != EditorMouse::select_cells) return {};
    hold_rows(kind, state.cursor);
    MouseResult result;
    result.focus_main_window = twelve_rows(kind);
    if (const auto cell = cell_under(kind, e)) {
        move_cursor_to(state.cursor, *cell);
        result.open_cell_editor = true;
        result.repaint = true;
    }
    return result;
}

MouseResult editor_right_down(EditorKind kind) {
    MouseResult result;
    result.show_popup_menu = editor_info(kind).popup_menu;
    return result;
}

std::optional<CellEditorRect> cell_editor_rect(EditorKind kind, int width, int height,
                                               EditorCursor& cursor) {
    const std::optional<MapGrid> g = map_grid(kind, width, height);
    if (!g) return std::nullopt;
    hold_rows(kind, cursor);
    const int col = std::clamp(cursor.map_cursor_col, 0, kMapCols - 1);
    const int row = std::clamp(cursor.map_cursor_row, 0, g->rows - 1);
    return CellEditorRect{scaled(g->width, col, kMapCols) + kGridLeft,
                          g->height - scaled(g->height, row + 1, g->rows), g->width / kMapCols + 2,
                          g->height / g->rows};
}

std::span<const MenuEntry> map_popup_menu() {
    return kMapPopup;
}

}  // namespace veloquin
