#pragma once
// The paints of the six curve editors: knock, AFR protect, the two
// temperature curves, the MAF sensor curve and its reverse table.
// Called through paint_editor; appends to a model already cleared.

#include <string_view>

#include "editors/graph_editors.h"

namespace veloquin {

// Over the AFR protect plot while a point of the curve lies outside it.
inline constexpr std::string_view kAfrOutsideText =
    "Points outside AFR 10.0 to 15.0 are drawn at the edge; the curve keeps them";

void paint_curve_editor(EditorKind kind, const EditorView& view, PaintModel& model);

}  // namespace veloquin
