#pragma once
// Notices serial devices appearing in a device folder (a USB adapter plugged
// in), so the connection search can try them at once instead of at its next
// pass. Linux inotify on the folder itself; nothing is read but the events.

#include <filesystem>

namespace veloquin {

class SerialDeviceWatch {
  public:
    // Watches `folder` for serial device nodes made, moved in, or given new
    // permissions (udev hands a new node to the dialout group a moment after
    // the kernel made it). A folder that cannot be watched is never reported.
    explicit SerialDeviceWatch(const std::filesystem::path& folder);
    ~SerialDeviceWatch();
    SerialDeviceWatch(const SerialDeviceWatch&) = delete;
    SerialDeviceWatch& operator=(const SerialDeviceWatch&) = delete;

    bool watching() const { return fd_ >= 0; }
    // True when a serial device appeared or changed since the last call. Never waits.
    bool serial_device_appeared();

  private:
    int fd_ = -1;
};

}  // namespace veloquin
