#pragma once
// The desktop program from its command line to its exit code: options, the
// port table (with a simulated device if asked), the main window, the quit
// signals, the screenshots, and "workmap.cfg" at the end.

#include "calibration/calibration.h"

namespace veloquin::gui {

int run_program(int argc, char** argv, Edition edition);

}  // namespace veloquin::gui
