#pragma once
// veloquin-tool device record and device flash: the recording of the live
// stream and the firmware update, run from a terminal with the program's code.

#include "tool/commands.h"

namespace veloquin::tool {

// device record --port P OUT.log [--pass] [--seconds N]
int run_device_record(Args args);
// device flash --port P FILE.frw
int run_device_flash(Args args);

}  // namespace veloquin::tool
