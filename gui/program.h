#pragma once
// The desktop program from its command line to its exit code: options, the
// port table (with a simulated device if asked), the main window, the quit
// signals, the screenshots, and "workmap.cfg" at the end.

#include "calibration/calibration.h"

namespace veloquin::gui {

// The locale and application font the program runs with, for whatever shows
// its windows (the program, its tests and benchmarks).
void apply_program_look();

// Called before the QApplication is made. While the device has the line the
// window's waits leave user input for later (ExcludeUserInputEvents). With
// GLib's event loop, input set aside so was seen to wait until the display
// sent something else, for seconds or for good: a click or key lost. Qt's own
// loop takes it on the next turn. QT_NO_GLIB, when set, is left as it is.
void choose_event_loop();

int run_program(int argc, char** argv, Edition edition);

}  // namespace veloquin::gui
