#pragma once
// A calibration as a tuner would have one: start values, a curved MAF sensor
// curve with its reverse table, and the MAP pressure limits derived from them.

#include <cmath>

#include "calibration/calibration.h"
#include "calibration/conversions.h"
#include "editors/editor_state.h"

namespace veloquin::testing {

inline Calibration tuned_calibration() {
    Calibration cal;
    set_start_values(cal);
    // Airflow rises faster than voltage, as on a real hot-wire sensor.
    for (int k = 0; k <= 32; ++k) {
        const double x = k / 32.0;
        cal.set_maf_point(k,
                          static_cast<std::uint16_t>(std::lround(32768.0 * x * (0.4 + 0.6 * x))));
    }
    rebuild_maf_reverse_table(cal);
    derive_map_pressure_limits(cal);
    return cal;
}

inline void select_cells(EditorState& s, int anchor_row, int anchor_col, int cursor_row,
                         int cursor_col) {
    s.cursor.map_anchor_row = anchor_row;
    s.cursor.map_anchor_col = anchor_col;
    s.cursor.map_cursor_row = cursor_row;
    s.cursor.map_cursor_col = cursor_col;
}

inline void select_points(EditorState& s, int anchor, int cursor) {
    s.cursor.curve_anchor = anchor;
    s.cursor.curve_cursor = cursor;
}

inline int cell(const Calibration& cal, MapId map, int row, int col) {
    return cal.cell(map, row, col);
}

}  // namespace veloquin::testing
