#pragma once
// The two section graphs under the MAF emulation map: the cursor row across
// engine speed and the cursor column across pressure, with the selection in
// white, the cursor's point in yellow and a learning proposal's curve.

#include "base/paint_model.h"
#include "editors/graph_editors.h"

namespace veloquin {

void draw_map_sections(PaintModel& m, const MapGrid& g, const EditorView& view,
                       const EditorCursor& c);

}  // namespace veloquin
