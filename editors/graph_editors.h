#pragma once
// The ten graph editors as their widgets see them: which page each sits on,
// its window there, what the mouse does in it, the grid geometry of the map
// editors, and one paint entry point that turns the calibration, the editing
// state and the latest live record into a PaintModel the widget only walks.

#include <optional>
#include <span>
#include <string_view>

#include "base/live_record.h"
#include "base/page.h"
#include "base/paint_model.h"
#include "calibration/calibration.h"
#include "editors/editor_state.h"

namespace veloquin {

struct LearnView;

enum class EditorKind {
    map_to_maf,       // MAPEDIT, MAP-2-MAF
    fuel_correction,  // MAFEDIT, FUEL-CORRECTION
    meth_correction,  // METHEDIT, METH-CORRECTION rows 0..11
    boost_duty,       // BOOSTEDIT, BOOST-DUTY rows 0..11
    iat_sensor,       // TEMPCALIBRATION, IAT-Sensor-Calibration
    iat_correction,   // TEMPCORRECTION, IAT-Correction
    maf_sensor,       // MAFCALIBRATION, MAF-Sensor-Calibration
    maf_reverse,      // MAFREVERSE, the MAF reverse table (shown only)
    knock,            // KNOCKCALIBRATION, KNOCK-Sensor-Calibration
    afr_protect,      // AFRCALIBRATION, AFR-PROTECT
};
inline constexpr int kEditorKindCount = 10;

// What a left click does in the editor.
enum class EditorMouse {
    select_cells,    // map editors: cursor and selection, drag, double click
    activate_curve,  // the temperature page: the clicked editor's curve becomes active
    repaint,         // the click only repaints the page
    none,
};

struct EditorInfo {
    EditorKind kind;
    std::string_view window_class;
    Page page;                // the lite program has no AFR protect page, so no window for it
    int x, y, width, height;  // the window inside its page
    EditorMouse mouse;
    bool in_place_entry;
    bool popup_menu;  // right click shows "MAP2MAFLocalMenu"
};

std::span<const EditorInfo> graph_editors();
const EditorInfo& editor_info(EditorKind kind);
// The map editor that typed digits, Delete and Ctrl+E open the in-place
// editor in on that page; nullopt on pages without one.
std::optional<EditorKind> map_editor_of(Page page);

// The grid of a map editor: W x H pixels from x 60 down from y 0, `rows`
// rows with row 0 at the bottom, 20 columns.
inline constexpr int kGridLeft = 60;
struct MapGrid {
    int width = 0;   // W
    int height = 0;  // H
    int rows = 0;
};
// nullopt for the curve editors.
std::optional<MapGrid> map_grid(EditorKind kind, int client_width, int client_height);

// a x b / d with the product formed first and the quotient truncated toward
// zero, as the device software's int arithmetic does; 64 bits wide, so no
// client size can overflow the product.
constexpr int scaled(long long a, long long b, long long d) {
    return static_cast<int>(a * b / d);
}

// Everything a paint reads. It writes only the editing state (the selection
// is derived afresh, the twelve-row editors hold the cursor rows at 11); the
// calibration is read only: a paint that changed it would send the device a
// value nobody chose.
struct EditorView {
    int width = 0;  // client size in pixels
    int height = 0;
    const Calibration& cal;
    EditorState& state;
    const LiveRecord& live;
    // The calibration compared with, or null: cells and points that differ
    // from it are framed.
    const Calibration* compared = nullptr;
    // A map learnt from a log under review, hit counts, the last learning
    // applied; null: none of them.
    const LearnView* learn = nullptr;
};

// The frame inside a map cell or around a curve point that differs from the
// compared calibration: four one-pixel fills.
void draw_difference_frame(PaintModel& model, int x1, int y1, int x2, int y2,
                           Rgb color = colors::difference);

// Fills `model` afresh, keeping the capacity of its op list, so a widget
// that keeps one model per editor paints without reallocating.
void paint_editor(EditorKind kind, const EditorView& view, PaintModel& model);
PaintModel paint_editor(EditorKind kind, const EditorView& view);

}  // namespace veloquin
