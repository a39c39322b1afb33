#pragma once
// Trace and automapping: the selection of the two main maps follows the live
// operating point, and with automapping on the MAP-2-MAF cells around it are
// pulled towards the airflow the device's MAF input measures.

#include <cstdint>
#include <optional>
#include <string_view>

#include "base/live_record.h"
#include "base/platform.h"
#include "calibration/calibration.h"
#include "editors/editor_state.h"
#include "editors/pages.h"

namespace veloquin {

// Computes the live box of the page's map from the live record and writes it
// into the cursor (first cell as anchor, last as cursor), clipped to the grid.
// Returns false, leaving the cursor alone, when the page has no live box or
// the load axis has no span (its two calibration points coincide).
bool live_box(EditorCursor& cursor, const Calibration& cal, const LiveRecord& live, Page page);

// One automapping update of the cells between anchor and cursor. A live
// absolute pressure at or below zero carries no airflow estimate and is dropped.
void automap_step(EditorState& state, Calibration& cal, const LiveRecord& live);

// The pieces of automap_step, shared with the learning from a recorded log
// so that a replay does exactly the arithmetic the live step does.
//
// What one live point tells: the measured airflow raised by 1 %, the engine
// speed (at least 500 rpm) and the absolute pressure in bar; nullopt when
// that pressure is at or below zero.
struct AutomapPoint {
    float measured;
    float speed;
    float pressure;
};
std::optional<AutomapPoint> automap_point(const Calibration& cal, const LiveRecord& live);
// The point's airflow carried to the cell of row pressure `row_pressure_bar`
// and column `col`, held within 0..32760.
int automap_estimate(const AutomapPoint& point, double row_pressure_bar, int col);
// Takes one estimate into the cell's running mean; the value the cell held
// when first reached counts as ten estimates.
void automap_take(AutomapCell& acc, const Calibration& cal, std::int16_t cell, int estimate);
// The cell value of a running mean that holds at least one estimate.
std::int16_t automap_mean_counts(const AutomapCell& acc, const Calibration& cal);

// The poll's per-tick work for the editors. `cell_editor_open`: an in-place
// value entry is open, and only every 11th tick is then processed so typing
// is not drowned in repaints.
void process_live_data(EditorState& state, Calibration& cal, const LiveRecord& live, Page visible,
                       Platform& platform, bool cell_editor_open);

// The "Start Automapping" button of the MAF emulation page.
void set_automapping(EditorState& state, Platform& platform);
// A "Trace" button; `button_page` is the page whose button was pressed.
void set_trace(EditorState& state, Platform& platform, Page button_page);
// What every page switch does to the editing state: selection collapsed,
// automapping and trace off.
void stop_live_modes(EditorState& state);

struct AutomapButtons {
    bool automap_pressed;
    std::string_view automap_text;
    bool map_trace_pressed;
    bool map_trace_enabled;
    bool fuel_trace_pressed;
};
// The text the automapping button is created with, before its first update.
inline constexpr std::string_view kAutomapButtonInitialText = "Start Automapping";
AutomapButtons automap_buttons(const EditorState& state);

}  // namespace veloquin
