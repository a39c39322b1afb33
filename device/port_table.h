#pragma once
// Logical port numbers 1..16 for the serial devices of this machine. The
// program's connection search counts ports by number as the device's tools
// always have; this table gives each number a device path: the ports the user
// named first, then the ones found on the system in a stable order.

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/platform.h"

namespace veloquin {

class PortTable {
  public:
    static constexpr int kMaxPorts = 16;

    // A path the user named; it keeps its place before every discovered one.
    // Returns false when the table is full (or the path is already listed).
    bool add_explicit(const std::string& path, const std::filesystem::path& dev_root = "/dev");

    // Adds the serial devices under `dev_root`: ttyUSB*, ttyACM*, rfcomm* and
    // those ttyS* that have a real UART behind them according to `sys_tty_root`.
    // Links in dev_root/serial/by-id give the display names.
    void discover(const std::filesystem::path& dev_root = "/dev",
                  const std::filesystem::path& sys_tty_root = "/sys/class/tty");
    // The table made anew: the named ports again, then what discover() finds
    // now where the table was ever discovered (a table of named ports only
    // stays so). A device plugged in since the last look gets its place.
    void rescan();
    bool discovers() const { return discovering_; }
    const std::filesystem::path& dev_root() const { return dev_root_; }

    // The device path of port 1..16; empty when the number has none.
    std::string path(int port) const;
    // The path, followed by its by-id name in brackets where one is known.
    std::string display_name(int port) const;
    int size() const { return static_cast<int>(entries_.size()); }
    std::vector<SerialPortEntry> entries() const;

    // Opens the port's device, or explains why there is none. `between_waits`
    // as for open_posix_serial.
    SerialOpenResult open(int port, TimeoutSet timeouts,
                          std::function<bool()> between_waits = {}) const;

  private:
    struct Entry {
        std::string path;
        std::string by_id;
    };
    bool contains(const std::string& path) const;
    void add(const std::string& path, const std::filesystem::path& dev_root);

    std::vector<Entry> entries_;
    std::vector<std::string> named_;
    bool discovering_ = false;
    std::filesystem::path dev_root_ = "/dev";
    std::filesystem::path sys_tty_root_ = "/sys/class/tty";
};

// Whether a device name is one of the serial families the table looks for
// ("ttyUSB0", "ttyACM3", "rfcomm1", "ttyS2").
bool is_serial_device_name(const std::string& name);

}  // namespace veloquin
