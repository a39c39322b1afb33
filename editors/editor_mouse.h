#pragma once
// What the mouse does in the graph editors, as pure functions of the click
// and the shared editing state. The widget forwards the event, then acts on
// the result: cancel the in-place editor, give the main window the focus,
// open the in-place editor over the cursor cell, show the popup, repaint.

#include <optional>
#include <span>
#include <string_view>

#include "editors/editor_state.h"
#include "editors/graph_editors.h"

namespace veloquin {

struct GridCell {
    int col = 0;
    int row = 0;
    friend constexpr bool operator==(GridCell, GridCell) = default;
};

// The map cell under a point of the editor's client area. The truncating
// arithmetic makes points up to W / 20 left of the grid still column 0.
// nullopt off the grid, for a grid with no area, and for the curve editors.
std::optional<GridCell> cell_at(EditorKind kind, int width, int height, int x, int y);

// In the order the widget should carry them out.
struct MouseResult {
    bool cancel_cell_editor = false;  // close an open in-place editor without committing
    bool focus_main_window = false;
    bool open_cell_editor = false;  // open it over the cursor cell (its own cancel comes first)
    bool show_popup_menu = false;   // "MAP2MAFLocalMenu" at the pointer, owned by the main window
    bool repaint = false;           // repaint the page
};

struct MouseEvent {
    int width = 0;  // client size
    int height = 0;
    int x = 0;
    int y = 0;
    bool shift = false;
    bool left_held = false;  // mouse move: the left button is down
    bool cell_editor_open = false;
};

// Left button down: in a map editor the cell becomes the cursor, and the
// anchor too unless Shift is held; on the temperature page the clicked
// editor's curve becomes the active one.
MouseResult editor_left_down(EditorKind kind, EditorState& state, const MouseEvent& e);
// Dragging with the left button moves the cursor; the anchor stays.
MouseResult editor_mouse_move(EditorKind kind, EditorState& state, const MouseEvent& e);
// A valid cell becomes the cursor (the anchor stays) and the in-place editor
// opens there; anywhere else nothing happens.
MouseResult editor_double_click(EditorKind kind, EditorState& state, const MouseEvent& e);
MouseResult editor_right_down(EditorKind kind);

struct CellEditorRect {
    int x = 0, y = 0, width = 0, height = 0;
    friend constexpr bool operator==(CellEditorRect, CellEditorRect) = default;
};
// Where the in-place editor stands: over the map cursor cell, in the editor's
// client coordinates. The twelve-row editors first hold the cursor at row 11.
std::optional<CellEditorRect> cell_editor_rect(EditorKind kind, int width, int height,
                                               EditorCursor& cursor);

// The right-click menu of the two main map editors. A command id of 0 is a
// separator; the others reach the main window as menu commands.
inline constexpr std::string_view kMapPopupMenuName = "MAP2MAFLocalMenu";
struct MenuEntry {
    std::string_view text;
    int command_id = 0;
};
std::span<const MenuEntry> map_popup_menu();

}  // namespace veloquin
