#pragma once
// The keep-alive poll: searches the ports for the device, identifies it,
// downloads its calibration, then asks for a live record on every tick and
// uploads changes about once a second. The search never gives up: after a
// pass over the ports without an answer ("Not connected"), or three missed
// live records ("Disconnected"), it goes on quietly, a pass a second with the
// port table made anew, and reconnects by itself. The Connect button, or a
// serial device appearing on the machine, starts a pass at once.

#include <functional>
#include <span>
#include <string>
#include <vector>

#include "base/platform.h"
#include "calibration/calibration.h"
#include "device/device_link.h"

namespace veloquin {

// What the poll needs from the map editors. Either may be left empty: no
// automapping then, and nothing to do with the live record.
struct PollHooks {
    std::function<bool()> automapping_on;
    std::function<void()> process_live_data;
};

inline constexpr int kIdentificationSize = 12;
inline constexpr int kRetryTicks = 5;
inline constexpr int kQuietPassTicks = 50;  // a second between passes that found nothing
inline constexpr int kLiveRequestAttempts = 3;
inline constexpr int kUploadEveryTicks = 50;  // uploads on the tick after 50 connected ones

// "KVX serial# 01020304050607 HW.Ver:02 SW.Ver:15" from a 12-byte identification
// payload; empty when the payload does not begin with "KVX".
std::string identification_line(std::span<const std::uint8_t> payload);

// The first pass: the port table made anew, the ports probed quietly, the
// preferred ports put first.
void start_search(DeviceLink& link, Platform& platform);

// Identifies the device on the current port and downloads its calibration;
// moves the search to the next found port unless that succeeded. The same
// device come back keeps the blocks with changes it was not sent yet.
void connection_attempt(DeviceLink& link, Calibration& cal, Platform& platform, Edition edition);

// One tick of the 20 ms timer.
void poll_tick(DeviceLink& link, Calibration& cal, Platform& platform, Edition edition,
               const PollHooks& hooks);

void connect_button_pressed(DeviceLink& link, Platform& platform);

// The status lines' account of a search that has found nothing yet, said
// again (a message held over it was dismissed).
void show_search_state_again(DeviceLink& link, Platform& platform);

// The port table made anew with each port's state ("free", "busy", "no
// permission", "connected", or why it cannot be used), for the port list. A
// connected device keeps its line.
std::vector<SerialPortChoice> list_serial_ports(DeviceLink& link, Platform& platform);
// The port the user chose is tried first from now on; choosing another port
// than the connected one leaves the device and searches there at once.
void choose_port(DeviceLink& link, Platform& platform, const SerialPortChoice& choice);

}  // namespace veloquin
