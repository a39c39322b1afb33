#pragma once
// The shared cursor and selection and what the editing keys do to the table
// of the visible page. Pure logic on the calibration: the caller repaints
// (see editor_commands.h for the dispatch that does).

#include "calibration/calibration.h"
#include "editors/editor_state.h"
#include "editors/pages.h"

namespace veloquin {

// Derives the selection rectangle and point range from cursor and anchor, and
// the extremes of IAT-Sensor-Calibration for its editor's scale.
void update_selection(EditorCursor& cursor, const Calibration& cal);

// The anchor takes the cursor's column and row (map) and point (curve).
void collapse_selection(EditorCursor& cursor);

enum class CursorMove { left, right, up, down };

// Moves the cursor of the page's kind; `extend` keeps the anchor (Shift),
// otherwise the selection collapses onto the new position.
void move_cursor(EditorState& state, Page page, CursorMove move, bool extend);

enum class ValueStep { increase, decrease, increase_large, decrease_large };

// Changes every selected cell or point of the visible page's table by the
// page's step and limits. Returns whether the page has a table to step.
bool step_values(EditorState& state, Calibration& cal, Page page, ValueStep step);

// Ctrl+C: the selection into the map clipboard. Only the MAF emulation and
// fuel correction maps can be copied; elsewhere the clipboard is kept whole.
void copy_selection(EditorState& state, const Calibration& cal, Page page);

// Ctrl+V: the clipboard's top-left value lands on the selection's top row and
// last column; whatever would fall outside the map is left out. Pasted cells
// are marked as visited. Returns false when the clipboard is empty.
bool paste_clipboard(EditorState& state, Calibration& cal, Page page);

}  // namespace veloquin
