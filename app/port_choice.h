#pragma once
// The serial port the tuner chose in "Serial port...", remembered across runs
// in a small text file beside workmap.cfg: the device path on the first line,
// the port's by-id name (which a USB adapter keeps whatever node it gets) on
// the second.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "base/platform.h"

namespace veloquin {

inline constexpr std::string_view kChosenPortFile = "serial-port.txt";

// Nullopt when no port was chosen, or the file says nothing usable.
std::optional<SerialPortEntry> read_chosen_port(const std::filesystem::path& folder);
bool write_chosen_port(const std::filesystem::path& folder, const SerialPortEntry& port,
                       std::string* error);

}  // namespace veloquin
