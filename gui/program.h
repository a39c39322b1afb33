#pragma once
// The desktop program from its command line to its exit code: options, the
// port table (with a simulated device if asked), the main window, the quit
// signals, the screenshots, and "workmap.cfg" at the end.

#include "calibration/calibration.h"

namespace veloquin::gui {

// The locale and application font the program runs with, for whatever shows
// its windows (the program, its tests and benchmarks).
void apply_program_look();

int run_program(int argc, char** argv, Edition edition);

}  // namespace veloquin::gui
