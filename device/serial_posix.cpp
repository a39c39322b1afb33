#include "device/serial_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace veloquin {

namespace {

using Clock = std::chrono::steady_clock;

int elapsed_ms(Clock::time_point since) {
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

bool line_gone_error(int err) {
    return err == EIO || err == ENXIO || err == EBADF || err == ENODEV;
}

// No input queue to size: the kernel buffers a tty's input itself (up to
// 64 KiB in flight), far beyond the 961 bytes of the largest reply and ample
// for the live stream, which is read as it arrives.
class PosixSerialLine : public SerialLine {
  public:
    PosixSerialLine(int fd, SerialTimeouts timeouts) : fd_(fd), timeouts_(timeouts) {}
    ~PosixSerialLine() override { ::close(fd_); }
    PosixSerialLine(const PosixSerialLine&) = delete;
    PosixSerialLine& operator=(const PosixSerialLine&) = delete;

    std::size_t write(const std::uint8_t* data, std::size_t size) override {
        if (gone_) return 0;
        const int budget =
            timeouts_.write_per_byte_ms * static_cast<int>(size) + timeouts_.write_constant_ms;
        const auto start = Clock::now();
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::write(fd_, data + done, size - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN) {
                if (line_gone_error(errno)) gone_ = true;
                return gone_ ? 0 : done;
            }
            const int left = budget - elapsed_ms(start);
            if (left <= 0 || !wait_for(POLLOUT, left)) return gone_ ? 0 : done;
        }
        return done;
    }

    int read_byte() override {
        if (gone_) return -1;
        const auto start = Clock::now();
        for (;;) {
            std::uint8_t b = 0;
            const ssize_t n = ::read(fd_, &b, 1);
            if (n == 1) return b;
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN) {
                if (line_gone_error(errno)) gone_ = true;
                return -1;
            }
            // A raw tty with VMIN 0 reads 0 bytes both when nothing came yet
            // and after a hang-up; only poll's POLLHUP tells them apart.
            if (hung_up_) {
                gone_ = true;
                return -1;
            }
            const int left = timeouts_.read_total_ms - elapsed_ms(start);
            if (left <= 0 || !wait_for(POLLIN, left)) return -1;
        }
    }

    void purge_input() override {
        if (!gone_) ::tcflush(fd_, TCIFLUSH);
    }

  private:
    // True when the line became ready; a hang-up or error marks it gone.
    bool wait_for(short events, int timeout_ms) {
        pollfd p{fd_, events, 0};
        int r = 0;
        do {
            r = ::poll(&p, 1, timeout_ms);
        } while (r < 0 && errno == EINTR);
        if (r <= 0) return false;
        // Bytes that arrived before a hang-up are still read; the next empty
        // read then finds hung_up_ set.
        if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) hung_up_ = true;
        if ((p.revents & events) != 0) return true;
        if (hung_up_) gone_ = true;
        return false;
    }

    int fd_;
    SerialTimeouts timeouts_;
    bool gone_ = false;
    bool hung_up_ = false;
};

std::string open_error_text(int err) {
    switch (err) {
        case ENOENT:
        case ENXIO:
        case ENODEV:
            return "no such device";
        case EBUSY:
        case EWOULDBLOCK:
            return "busy — another program has it open";
        case EACCES:
        case EPERM:
            return "permission denied — is the user in the dialout group?";
        case EISDIR:
        case ENOTTY:
            return "not a serial port";
        default:
            return std::strerror(err);
    }
}

bool configure_line(int fd) {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) return false;
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, B115200) != 0 || ::cfsetospeed(&tio, B115200) != 0) return false;
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) return false;
    // Pseudo-terminals have no modem lines; the ioctl failing there is harmless.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(fd, TIOCMBIS, &lines);
    return true;
}

}  // namespace

SerialTimeouts serial_timeouts(TimeoutSet set) {
    // One byte per read: its wait is the per-byte multiplier plus the constant.
    if (set == TimeoutSet::firmware) return {200, 100, 100};
    return {4, 2, 2};
}

SerialOpenResult open_posix_serial(const std::string& path, TimeoutSet timeouts) {
    if (path.empty()) return {nullptr, "no such device"};
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return {nullptr, open_error_text(errno)};
    auto fail = [fd](const std::string& why) {
        ::close(fd);
        return SerialOpenResult{nullptr, why};
    };
    if (!::isatty(fd)) return fail("not a serial port");
    // Programs that honour the advisory lock see the port as busy; TIOCEXCL
    // then keeps the rest out while we have it.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        return fail(open_error_text(err == EWOULDBLOCK ? EBUSY : err));
    }
    if (!configure_line(fd)) return fail("cannot set the line to 115200 baud 8N1");
    ::ioctl(fd, TIOCEXCL);
    ::tcflush(fd, TCIOFLUSH);
    return {std::make_unique<PosixSerialLine>(fd, serial_timeouts(timeouts)), {}};
}

}  // namespace veloquin
