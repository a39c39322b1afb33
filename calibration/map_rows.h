#pragma once
// What a map row stands for, in the words the tuner reads on the map editor.
// The editor, the differences list, `cal diff`, `cal show` and the learning
// report all label rows through here, so a row never reads 0.32 bar in one
// place and 0.31 in another.

#include <string>

#include "calibration/calibration.h"

namespace veloquin {

// The row's label as the editor draws it beside the row: "0.32" (in the
// MAP display unit), "43" (throttle percent); empty where the map has no
// known load (a fuel correction load other than throttle or MAP).
std::string map_row_text(const Calibration& cal, MapId map, int row);

// The unit of those labels: "bar", "psi", "V" or "% throttle"; empty with them.
std::string map_row_unit(const Calibration& cal, MapId map);

// Text and unit together, "0.32 bar", "43 % throttle", for lists and reports.
std::string map_row_label(const Calibration& cal, MapId map, int row);

// The row axes in counts, from the tuner's pressure limits, as the program
// derives them when its pages are read back; a calibration just read from a
// file still holds the start values there.
void derive_row_axes(Calibration& cal);

}  // namespace veloquin
