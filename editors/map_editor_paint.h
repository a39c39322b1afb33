#pragma once
// The paints of the four map editors: MAP-2-MAF with its two section graphs,
// the fuel correction map, and the twelve-row methanol and boost maps.
// Called through paint_editor; each appends to a model already cleared.

#include "editors/graph_editors.h"

namespace veloquin {

void paint_map_to_maf(const EditorView& view, PaintModel& model);
void paint_fuel_correction(const EditorView& view, PaintModel& model);
void paint_meth_correction(const EditorView& view, PaintModel& model);
void paint_boost_duty(const EditorView& view, PaintModel& model);

// The vertical axis title of a map by pressure, chosen by MAP_UNITS; empty
// for a unit the program does not know (no title is drawn then).
std::string_view map_units_title(int map_units);

}  // namespace veloquin
