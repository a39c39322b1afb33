#include "device/port_watch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <string>

#include "device/port_table.h"

namespace veloquin {

SerialDeviceWatch::SerialDeviceWatch(const std::filesystem::path& folder) {
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) return;
    if (::inotify_add_watch(fd_, folder.c_str(), IN_CREATE | IN_MOVED_TO | IN_ATTRIB) < 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

SerialDeviceWatch::~SerialDeviceWatch() {
    if (fd_ >= 0) ::close(fd_);
}

bool SerialDeviceWatch::serial_device_appeared() {
    if (fd_ < 0) return false;
    bool appeared = false;
    // Aligned for the event structures the kernel writes into it.
    alignas(inotify_event) std::array<char, 4096> buffer{};
    for (;;) {
        const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            inotify_event event{};
            std::memcpy(&event, buffer.data() + at, sizeof event);
            const char* name = buffer.data() + at + sizeof(inotify_event);
            // An overflowed queue lost events: anything may have appeared.
            if ((event.mask & IN_Q_OVERFLOW) != 0 ||
                (event.len > 0 && is_serial_device_name(std::string(name)))) {
                appeared = true;
            }
            at += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
        }
    }
    return appeared;
}

}  // namespace veloquin
