#include "editors/trace_automap.h"

#include <algorithm>

#include "calibration/conversions.h"
#include "editors/cursor_keys.h"
#include "editors/map_operations.h"

namespace veloquin {
namespace {

constexpr float kMeasuredAirflowGain = 1.01F;
constexpr float kOneThird = 0.33333334F;
constexpr int kEstimateLimit = 32760;
constexpr int kStartWeight = 10;  // the value a cell held counts as ten estimates
constexpr int kTicksWhileEditing = 10;

struct LoadAxis {
    int reading;
    int lo;
    int hi;
};

// The MAP reading, or on the fuel correction page the throttle when FLM_LOAD selects it.
LoadAxis load_axis(const Calibration& cal, const LiveRecord& live, Page page) {
    if (page == Page::fuel_correction && cal.param(hw::FLM_LOAD) == 0) {
        return {live.throttle_counts(), cal.param(hw::THROTTLE_LO), cal.param(hw::THROTTLE_HI)};
    }
    return {live.map_counts(), cal.param(hw::MAP_LO), cal.param(hw::MAP_HI)};
}

int box_column(int rpm, int offset) {
    return std::max((rpm - offset) / 500, 0);
}

}  // namespace

bool live_box(EditorCursor& cursor, const Calibration& cal, const LiveRecord& live, Page page) {
    if (page != Page::maf_emulation && page != Page::fuel_correction) return false;
    const LoadAxis axis = load_axis(cal, live, page);
    const int d = axis.hi - axis.lo;
    if (d == 0) return false;
    const int n = live.rpm();
    const int first_row = (axis.reading - axis.lo + (d / 48) / 2) * 23 / d;
    const int last_row = (axis.reading - axis.lo + ((3 * d) / 48) / 2) * 23 / d;
    // A live point beyond the map is shown, and learnt, at the map's edge.
    cursor.map_anchor_col = std::min(box_column(n, 375), kMapCols - 1);
    cursor.map_cursor_col = std::min(box_column(n, 125), kMapCols - 1);
    cursor.map_anchor_row = std::clamp(first_row, 0, kMapRows - 1);
    cursor.map_cursor_row = std::clamp(last_row, 0, kMapRows - 1);
    return true;
}

std::optional<AutomapPoint> automap_point(const Calibration& cal, const LiveRecord& live) {
    const float measured =
        static_cast<float>(maf_counts_to_airflow(cal, live.maf_in_counts())) * kMeasuredAirflowGain;
    const float speed = std::max(static_cast<float>(live.rpm()), 500.0F);
    const float pressure = static_cast<float>(counts_to_bar(cal, live.map_counts()) + 1.0);
    if (!(pressure > 0.0F)) return std::nullopt;
    return AutomapPoint{measured, speed, pressure};
}

// Below zero only when an absurd MAP_BAR_LO makes a row's absolute pressure negative.
int automap_estimate(const AutomapPoint& point, double row_pressure_bar, int col) {
    const double e = static_cast<double>(point.measured) *
                     (row_pressure_bar * 500 * (col + 1) / static_cast<double>(point.pressure) /
                          static_cast<double>(point.speed) +
                      2.0) *
                     static_cast<double>(kOneThird);
    if (!(e > 0.0)) return 0;
    if (e > kEstimateLimit) return kEstimateLimit;
    return static_cast<int>(e);
}

void automap_take(AutomapCell& acc, const Calibration& cal, std::int16_t cell, int estimate) {
    if (acc.count == 0 && cell > 0) {
        acc.sum = static_cast<std::int64_t>(maf_counts_to_airflow(cal, cell)) * kStartWeight;
        acc.count = kStartWeight;
    }
    acc.sum += estimate;
    acc.count += 1;
}

std::int16_t automap_mean_counts(const AutomapCell& acc, const Calibration& cal) {
    const double mean = static_cast<double>(acc.sum) / acc.count;
    // Half up then truncated, as the device's own learning rounds.
    return low16(maf_airflow_to_counts(
        cal, static_cast<int>(mean + 0.5)));  // NOLINT(bugprone-incorrect-roundings)
}

void automap_step(EditorState& state, Calibration& cal, const LiveRecord& live) {
    const auto point = automap_point(cal, live);
    if (!point) return;
    const EditorCursor& c = state.cursor;
    const int r0 = std::max(c.map_anchor_row, 0);
    const int r1 = std::min(c.map_cursor_row, kMapRows - 1);
    const int c0 = std::max(c.map_anchor_col, 0);
    const int c1 = std::min(c.map_cursor_col, kMapCols - 1);
    for (int r = r0; r <= r1; ++r) {
        const double rp = row_pressure(cal, r);
        for (int col = c0; col <= c1; ++col) {
            AutomapCell& acc = state.automap_cell(r, col);
            std::int16_t& cell = cal.cell(MapId::map_2_maf, r, col);
            automap_take(acc, cal, cell, automap_estimate(*point, rp, col));
            cell = automap_mean_counts(acc, cal);
        }
    }
}

void process_live_data(EditorState& state, Calibration& cal, const LiveRecord& live, Page visible,
                       Platform& platform, bool cell_editor_open) {
    ++state.live_ticks;
    if (cell_editor_open && state.live_ticks <= kTicksWhileEditing) return;
    state.live_ticks = 0;
    switch (visible) {
        case Page::maf_emulation:
            // Learning needs this tick's box: a stale or failed one would teach
            // the wrong cells.
            if (state.trace && live_box(state.cursor, cal, live, visible) && state.automapping) {
                automap_step(state, cal, live);
            }
            platform.repaint_page();
            break;
        case Page::fuel_correction:
            if (state.trace) live_box(state.cursor, cal, live, visible);
            platform.repaint_page();
            break;
        case Page::temp_correction:
            platform.repaint_page();
            break;
        default:
            break;
    }
    if (!state.trace) return;
    const EditorCursor& c = state.cursor;
    state.visits.mark(c.map_cursor_row, c.map_cursor_col);
    state.visits.mark(c.map_cursor_row, c.map_anchor_col);
    state.visits.mark(c.map_anchor_row, c.map_cursor_col);
    state.visits.mark(c.map_anchor_row, c.map_anchor_col);
}

void set_automapping(EditorState& state, Platform& platform) {
    platform.focus_main_window();
    state.automapping = !state.automapping;
    state.trace = state.automapping;
    if (state.automapping) {
        state.visits.clear();
    } else {
        collapse_selection(state.cursor);
    }
}

void set_trace(EditorState& state, Platform& platform, Page button_page) {
    platform.focus_main_window();
    state.trace = !state.trace;
    if (!state.trace) {
        collapse_selection(state.cursor);
    } else if (button_page == Page::maf_emulation) {
        state.visits.clear();
    }
}

void stop_live_modes(EditorState& state) {
    collapse_selection(state.cursor);
    state.automapping = false;
    state.trace = false;
}

AutomapButtons automap_buttons(const EditorState& state) {
    return {
        state.automapping, state.automapping ? "Stop Automaping" : "Start Automaping",
        state.trace,       !state.automapping,
        state.trace,
    };
}

}  // namespace veloquin
