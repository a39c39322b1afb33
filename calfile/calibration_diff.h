#pragma once
// The differences between two calibrations in the tuner's terms: the lines of
// `veloquin-tool cal diff` and the program's "Differences" list come from the
// same computation, so the two can never disagree.

#include <string>
#include <vector>

#include "calfile/calibration_file.h"
#include "calibration/config_keys.h"
#include "calibration/map_rows.h"

namespace veloquin {

enum class DifferenceKind { key, map_cell, curve_point };

struct CalibrationDifference {
    DifferenceKind kind = DifferenceKind::key;
    const ConfigKey* key = nullptr;               // keys
    const CalibrationSection* section = nullptr;  // cells and points
    int row = 0;                                  // cells
    int col = 0;                                  // cells
    int point = 0;                                // points
    // "BOOST_HZ: 2 -> 3", "BOOST-DUTY row 0 (0 % throttle) col 1 (1000 rpm): 20 -> 901",
    // "KNOCK-Sensor-Calibration point 6 (3000 rpm): 0 -> 901"; axis labels from `a`.
    std::string text;
};

// Every written key, then every section the edition has, in file order; a
// map's cells row by row. Values read "a -> b".
std::vector<CalibrationDifference> calibration_differences(const Calibration& a,
                                                           const Calibration& b, Edition edition);

// The number with that many decimals and a unit behind it: "1.30 bar".
std::string fixed_with_unit(double v, int decimals, const char* unit);
// A key's value as files show it: volts with three decimals, else the integer.
std::string key_value_text(const Calibration& cal, const ConfigKey& key);
// What point i of a curve stands for: "3000 rpm", "boost step 2/15", "0.156 V".
std::string curve_point_label(const CalibrationSection& s, int i);
// Point i of a curve section, unsigned where the section is.
int curve_point_value(const Calibration& cal, const CalibrationSection& s, int i);

}  // namespace veloquin
