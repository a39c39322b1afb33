#pragma once
// The editing state shared by every graph editor, the map operations and the
// live-data processing: one cursor and selection, the internal map clipboard,
// the visit marks and the automapping means. One instance lives for the whole
// run and is handed to whoever needs it.

#include <array>
#include <cstdint>

#include "calibration/calibration.h"

namespace veloquin {

struct EditorCursor {
    int map_cursor_col = 0;
    int map_cursor_row = 0;
    int map_anchor_col = 0;
    int map_anchor_row = 0;
    int curve_cursor = 0;
    int curve_anchor = 0;

    // Derived by update_selection; the operations read only these.
    int first_col = 0;
    int last_col = 0;
    int first_row = 0;
    int last_row = 0;
    int first_point = 0;
    int last_point = 0;

    // Extremes of IAT-Sensor-Calibration, the scale of its curve editor.
    int iat_sensor_min = 0;
    int iat_sensor_max = 0;
};

struct MapClipboard {
    int clip_width = 0;
    int clip_height = 0;
    // Row 0 holds the selection's top row; 20 values to a row whatever the width.
    std::array<std::int16_t, kMapCells> clip_cells{};

    std::int16_t& at(int i, int j) {
        return clip_cells[static_cast<std::size_t>(i * kMapCols + j)];
    }
    std::int16_t at(int i, int j) const {
        return clip_cells[static_cast<std::size_t>(i * kMapCols + j)];
    }
};

class VisitMarks {
  public:
    bool marked(int row, int col) const { return inside(row, col) && flags_[index(row, col)]; }
    // Cells outside the grid are ignored, so a live point beyond the map marks nothing.
    void mark(int row, int col) {
        if (inside(row, col)) flags_[index(row, col)] = true;
    }
    void unmark(int row, int col) {
        if (inside(row, col)) flags_[index(row, col)] = false;
    }
    void clear() { flags_.fill(false); }
    int count() const {
        int n = 0;
        for (bool f : flags_)
            n += f ? 1 : 0;
        return n;
    }

  private:
    static bool inside(int row, int col) {
        return row >= 0 && row < kMapRows && col >= 0 && col < kMapCols;
    }
    static std::size_t index(int row, int col) {
        return static_cast<std::size_t>(row * kMapCols + col);
    }
    std::array<bool, kMapCells> flags_{};
};

// The running mean of the airflow estimates one MAP-2-MAF cell has received.
// The sum is 64 bits wide: an idling engine parks in one cell at 50 estimates
// a second, and a 32-bit sum of airflows would overflow within hours.
struct AutomapCell {
    std::int32_t count = 0;
    std::int64_t sum = 0;
};

// Which curve the "Temp. Correction" page edits: the editor clicked last.
enum class TempCurve { sensor, correction };

struct EditorState {
    EditorCursor cursor;
    MapClipboard clipboard;
    VisitMarks visits;
    std::array<AutomapCell, kMapCells> automap{};
    TempCurve active_temp_curve = TempCurve::sensor;
    bool automapping = false;
    bool trace = false;
    int live_ticks = 0;

    AutomapCell& automap_cell(int row, int col) {
        return automap[static_cast<std::size_t>(row * kMapCols + col)];
    }
    const AutomapCell& automap_cell(int row, int col) const {
        return automap[static_cast<std::size_t>(row * kMapCols + col)];
    }
};

}  // namespace veloquin
