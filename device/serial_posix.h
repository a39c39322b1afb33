#pragma once
// The serial line on Linux: a tty opened raw at the device's line settings,
// with the read and write timeouts of the two timeout sets emulated by poll().

#include <functional>
#include <string>

#include "base/platform.h"

namespace veloquin {

// Read and write time limits of a timeout set, in milliseconds. Reads are one
// byte each, so the gap between bytes never matters: a read waits at most
// read_total_ms for its byte; a write of n bytes may take
// write_per_byte_ms * n + write_constant_ms before it gives up. A write
// returns once its bytes have left the line, not when the kernel has queued
// them, so the protocol's waits after a frame are quiet time on the wire.
struct SerialTimeouts {
    int read_total_ms;
    int write_per_byte_ms;
    int write_constant_ms;
};
// `patience` stretches the read wait: a simulated device sharing a busy or
// instrumented machine answers only when the scheduler runs it, where a real
// unit answers within a byte's time. Writes keep their budget.
inline constexpr int kMostPatience = 50;
SerialTimeouts serial_timeouts(TimeoutSet set, int patience = 1);
// The patience VELOQUIN_TIME_SCALE asks for (a whole number); 1 without it.
int reply_patience();

// Opens `path` as the device's line: 115200 baud, 8N1, raw, DTR and RTS
// asserted, no flow control, exclusive. On failure `line` is null and `error`
// says why in words the user can act on ("no such device", "busy — another
// program has it open", "permission denied — is the user in the dialout
// group?", "not a serial port", ...). Never blocks on a port without carrier.
//
// `between_waits`, when given, is called before each wait for the line (and
// while a frame drains): the desktop program keeps its window painting there.
// When it returns false, reads give up at once as if the device were silent
// (the program is closing); writes still finish their frame.
SerialOpenResult open_posix_serial(const std::string& path, TimeoutSet timeouts,
                                   std::function<bool()> between_waits = {});

}  // namespace veloquin
