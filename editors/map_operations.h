#pragma once
// Operations that change a whole map or curve, or a selected block of it, in
// one step. Whatever is computed from MAP-2-MAF cells is computed on linear
// airflow, not on sensor counts: the emulated voltage is far from linear in
// airflow, so averaging counts would bend every interpolated surface.

#include <string>

#include "calibration/calibration.h"
#include "datalogs/log_sample.h"
#include "editors/editor_state.h"
#include "editors/pages.h"

namespace veloquin {

// Absolute pressure in bar of MAP-2-MAF row r (0 at MAP_BAR_LO, 23 at MAP_BAR_HI).
double row_pressure(const Calibration& cal, int row);

// "Interpolate": fills the selection of the visible page's table linearly from
// its edges, by the page's rules. Returns whether the page has such a table.
bool interpolate_selection(EditorState& state, Calibration& cal, Page page);

// "Smooth MAP": pulls each inner non-zero cell of MAP-2-MAF towards the mean
// of its filled opposite neighbours. Empty (zero) cells are left out entirely.
void smooth_map(Calibration& cal);

// "Exterpolate boost up": above the highest filled cell of each column, the
// airflow grows by two thirds of the relative growth of absolute pressure.
void extrapolate_boost_up(Calibration& cal);

// "Replicate Fuel Correction Map": folds FUEL-CORRECTION into MAP-2-MAF (each
// cell's airflow times (100 + correction) / 100) and clears it.
void replicate_fuel_correction(Calibration& cal);

// "Calibrate Knock by Log": each point of KNOCK-Sensor-Calibration (and the
// hidden bin for 10500..10999 rpm) becomes the highest knock voltage the log
// holds in its 500 rpm band, plus 10 %. Samples outside those 22 bands are
// left out, and a point no sample reaches keeps its value (0 V would read as
// knock there). Returns how many points were set; 0 changes nothing, as
// for a log the refusal below names.
int knock_from_log(Calibration& cal, const LogBuffer& log);
// Why a log cannot calibrate the knock curve (it carries no knock data, as a
// Mazda log does not); empty for a log that can.
std::string knock_log_refusal(const LogBuffer& log);

}  // namespace veloquin
