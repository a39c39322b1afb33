#pragma once
// The paints of the six curve editors: knock, AFR protect, the two
// temperature curves, the MAF sensor curve and its reverse table.
// Called through paint_editor; appends to a model already cleared.

#include "editors/graph_editors.h"

namespace veloquin {

void paint_curve_editor(EditorKind kind, const EditorView& view, PaintModel& model);

}  // namespace veloquin
