#include "editors/graph_editors.h"

#include <algorithm>
#include <iterator>

#include "editors/curve_editor_paint.h"
#include "editors/map_editor_paint.h"

namespace veloquin {
namespace {

constexpr EditorInfo kEditors[] = {
    {EditorKind::map_to_maf, "MAPEDIT", Page::maf_emulation, 10, 20, 774, 670,
     EditorMouse::select_cells, true, true},
    {EditorKind::fuel_correction, "MAFEDIT", Page::fuel_correction, 10, 20, 774, 670,
     EditorMouse::select_cells, true, true},
    {EditorKind::meth_correction, "METHEDIT", Page::nos_methanol, 10, 250, 774, 400,
     EditorMouse::select_cells, true, false},
    {EditorKind::boost_duty, "BOOSTEDIT", Page::boost_control, 10, 250, 774, 430,
     EditorMouse::select_cells, true, false},
    {EditorKind::iat_sensor, "TEMPCALIBRATION", Page::temp_correction, 10, 30, 774, 320,
     EditorMouse::activate_curve, false, false},
    {EditorKind::iat_correction, "TEMPCORRECTION", Page::temp_correction, 10, 350, 774, 320,
     EditorMouse::activate_curve, false, false},
    {EditorKind::maf_sensor, "MAFCALIBRATION", Page::maf_calibration, 10, 30, 774, 320,
     EditorMouse::none, false, false},
    {EditorKind::maf_reverse, "MAFREVERSE", Page::maf_calibration, 10, 350, 774, 320,
     EditorMouse::none, false, false},
    {EditorKind::knock, "KNOCKCALIBRATION", Page::knock_calibration, 10, 30, 774, 650,
     EditorMouse::repaint, false, false},
    {EditorKind::afr_protect, "AFRCALIBRATION", Page::afr_protect, 10, 30, 774, 650,
     EditorMouse::repaint, false, false},
};
static_assert(std::size(kEditors) == kEditorKindCount);

// Far beyond any screen; holding the client size below it keeps every
// product of a size and a 16-bit value inside an int.
constexpr int kLargestClient = 32000;

// Enough ops for a whole frame at the page's size, so the first paint
// allocates once: MAPEDIT draws about 1200, the curve editors under 400.
std::size_t expected_ops(EditorKind kind) {
    switch (kind) {
        case EditorKind::map_to_maf:
            return 1280;
        case EditorKind::fuel_correction:
            return 1100;
        case EditorKind::meth_correction:
        case EditorKind::boost_duty:
            return 600;
        default:
            return 400;
    }
}

}  // namespace

std::span<const EditorInfo> graph_editors() {
    return kEditors;
}

const EditorInfo& editor_info(EditorKind kind) {
    return kEditors[static_cast<std::size_t>(kind)];
}

std::optional<EditorKind> map_editor_of(Page page) {
    for (const EditorInfo& e : kEditors) {
        if (e.page == page && e.in_place_entry) return e.kind;
    }
    return std::nullopt;
}

std::optional<MapGrid> map_grid(EditorKind kind, int client_width, int client_height) {
    const int w = client_width - 61;
    switch (kind) {
        case EditorKind::map_to_maf:
            return MapGrid{w, client_height - 185, kMapRows};
        case EditorKind::fuel_correction:
            return MapGrid{w, client_height - 65, kMapRows};
        case EditorKind::meth_correction:
            return MapGrid{w, client_height - 25, 12};
        case EditorKind::boost_duty:
            return MapGrid{w, client_height - 51, 12};
        default:
            return std::nullopt;
    }
}

void draw_difference_frame(PaintModel& model, int x1, int y1, int x2, int y2, Rgb color) {
    const int w = x2 - x1 + 1;
    const int h = y2 - y1 + 1;
    model.fill(x1, y1, w, 1, color);
    model.fill(x1, y2, w, 1, color);
    model.fill(x1, y1, 1, h, color);
    model.fill(x2, y1, 1, h, color);
}

void paint_editor(EditorKind kind, const EditorView& given, PaintModel& model) {
    const EditorView view{std::clamp(given.width, 0, kLargestClient),
                          std::clamp(given.height, 0, kLargestClient),
                          given.cal,
                          given.state,
                          given.live,
                          given.compared,
                          given.learn};
    model.width = view.width;
    model.height = view.height;
    model.background = colors::window_grey;
    model.ops.clear();
    model.ops.reserve(expected_ops(kind));
    switch (kind) {
        case EditorKind::map_to_maf:
            paint_map_to_maf(view, model);
            break;
        case EditorKind::fuel_correction:
            paint_fuel_correction(view, model);
            break;
        case EditorKind::meth_correction:
            paint_meth_correction(view, model);
            break;
        case EditorKind::boost_duty:
            paint_boost_duty(view, model);
            break;
        default:
            paint_curve_editor(kind, view, model);
            break;
    }
}

PaintModel paint_editor(EditorKind kind, const EditorView& view) {
    PaintModel model;
    paint_editor(kind, view, model);
    return model;
}

}  // namespace veloquin
