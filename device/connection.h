#pragma once
// The keep-alive poll: searches the found ports for the device, identifies it,
// downloads its calibration, then asks for a live record on every tick and
// uploads changes about once a second. Gives up with "Not connected" after a
// pass over the ports without an answer and with "Disconnected" after three
// missed live records; the Connect button starts it again.

#include <functional>
#include <span>
#include <string>

#include "app/platform.h"
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
inline constexpr int kLiveRequestAttempts = 3;
inline constexpr int kUploadEveryTicks = 50;  // uploads on the tick after 50 connected ones

// "KVX serial# 01020304050607 HW.Ver:02 SW.Ver:15" from a 12-byte identification
// payload; empty when the payload does not begin with "KVX".
std::string identification_line(std::span<const std::uint8_t> payload);

// Identifies the device on the current port and downloads its calibration;
// moves the search to the next found port unless that succeeded.
void connection_attempt(DeviceLink& link, Calibration& cal, Platform& platform, Edition edition);

// One tick of the 20 ms timer.
void poll_tick(DeviceLink& link, Calibration& cal, Platform& platform, Edition edition,
               const PollHooks& hooks);

void connect_button_pressed(DeviceLink& link, Platform& platform);

}  // namespace veloquin
