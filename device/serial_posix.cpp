#include "device/serial_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace veloquin {

namespace {

using Clock = std::chrono::steady_clock;

int ms_until(Clock::time_point deadline) {
    // Rounded up: a wait of 0 ms would poll once and give up early.
    const auto left = deadline - Clock::now();
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

// One byte on the wire at 115200 baud, 8N1: ten bits.
constexpr std::chrono::microseconds kByteTime{87};
constexpr std::chrono::microseconds kShortestPause{200};
constexpr std::chrono::microseconds kLongestPause{5000};

bool line_gone_error(int err) {
    return err == EIO || err == ENXIO || err == EBADF || err == ENODEV;
}

// No input queue to size: the kernel buffers a tty's input itself (up to
// 64 KiB in flight), far beyond the 961 bytes of the largest reply and ample
// for the live stream, which is read as it arrives.
class PosixSerialLine : public SerialLine {
  public:
    PosixSerialLine(int fd, SerialTimeouts timeouts, std::function<bool()> between_waits)
        : fd_(fd), timeouts_(timeouts), between_waits_(std::move(between_waits)) {}
    ~PosixSerialLine() override { ::close(fd_); }
    PosixSerialLine(const PosixSerialLine&) = delete;
    PosixSerialLine& operator=(const PosixSerialLine&) = delete;

    std::size_t write(const std::uint8_t* data, std::size_t size) override {
        if (gone_) return 0;
        const int budget_ms =
            timeouts_.write_per_byte_ms * static_cast<int>(size) + timeouts_.write_constant_ms;
        const auto deadline = Clock::now() + std::chrono::milliseconds(budget_ms);
        const std::size_t queued = queue(data, size, deadline);
        if (gone_) return 0;
        if (queued < size) return queued;
        return drain(size, deadline);
    }

    int read_byte() override {
        if (gone_) return -1;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeouts_.read_total_ms);
        for (;;) {
            const int b = take_byte();
            if (b != kNothing) return b;
            if (Clock::now() >= deadline) break;
            if (between_waits_ && !between_waits_()) return -1;
            if (!wait_for(POLLIN, std::max(0, ms_until(deadline)))) break;
        }
        // The deadline is judged by the clock, but on a busy machine the
        // program may have been off the CPU for all of it while the device
        // answered in time: what reached the kernel meanwhile still counts.
        if (gone_) return -1;
        const int last = take_byte();
        return last == kNothing ? -1 : last;
    }

    void purge_input() override {
        if (!gone_) ::tcflush(fd_, TCIFLUSH);
    }

    std::size_t available() override {
        int waiting = 0;
        if (gone_ || ::ioctl(fd_, FIONREAD, &waiting) != 0 || waiting <= 0) return 0;
        return static_cast<std::size_t>(waiting);
    }

  private:
    static constexpr int kNothing = -2;

    // The next byte the kernel holds; kNothing when none has come yet, -1
    // when the line failed or hung up.
    int take_byte() {
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
            return kNothing;
        }
    }

    // Hands the bytes to the kernel; returns how many it took before the deadline.
    std::size_t queue(const std::uint8_t* data, std::size_t size, Clock::time_point deadline) {
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
                return done;
            }
            const int left = ms_until(deadline);
            if (left <= 0 || !wait_for(POLLOUT, left)) return done;
        }
        return done;
    }

    // The device's protocol paces itself by fixed waits after a frame, which
    // count from the frame's last bit on the wire, not from its hand-over to
    // the kernel (a 964-byte block spends ~84 ms in the queue). So write
    // returns only once the kernel's queue is empty, and tcdrain then lets the
    // UART's own FIFO run out. tcdrain has no time limit of its own for a
    // queue that never moves (a stalled adapter), so it is called only once
    // the queue is empty, when all it waits for is the FIFO's few dozen bytes.
    // Returns the frame's bytes that left within the budget; a tail still
    // queued at the deadline is discarded, so it cannot run into the next
    // frame should the line recover.
    std::size_t drain(std::size_t size, Clock::time_point deadline) {
        for (;;) {
            int queued = 0;
            if (::ioctl(fd_, TIOCOUTQ, &queued) != 0) {
                if (line_gone_error(errno)) {
                    gone_ = true;
                    return 0;
                }
                return size;  // a driver that cannot tell: nothing to wait for with a bound
            }
            if (queued <= 0) break;
            const auto now = Clock::now();
            if (now >= deadline) {
                ::tcflush(fd_, TCOFLUSH);
                return size - std::min(static_cast<std::size_t>(queued), size);
            }
            // Sleep about as long as the queue needs, but look again often
            // enough that the end of the frame is seen within a few bytes' time.
            const auto pause =
                std::min({kByteTime * queued, kLongestPause,
                          std::chrono::duration_cast<std::chrono::microseconds>(deadline - now)});
            std::this_thread::sleep_for(std::max(pause, kShortestPause));
            if (between_waits_) between_waits_();
        }
        if (::tcdrain(fd_) != 0 && line_gone_error(errno)) {
            gone_ = true;
            return 0;
        }
        return size;
    }

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
    std::function<bool()> between_waits_;
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

PortAccess open_error_access(int err) {
    switch (err) {
        case ENOENT:
        case ENXIO:
        case ENODEV:
            return PortAccess::missing;
        case EBUSY:
        case EWOULDBLOCK:
            return PortAccess::busy;
        case EACCES:
        case EPERM:
            return PortAccess::no_permission;
        default:
            return PortAccess::unusable;
    }
}

SerialOpenResult open_failure(int err) {
    return {nullptr, open_error_text(err), open_error_access(err)};
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

SerialTimeouts serial_timeouts(TimeoutSet set, int patience) {
    // One byte per read: its wait is the per-byte multiplier plus the constant.
    SerialTimeouts t =
        set == TimeoutSet::firmware ? SerialTimeouts{200, 100, 100} : SerialTimeouts{4, 2, 2};
    t.read_total_ms *= std::clamp(patience, 1, kMostPatience);
    return t;
}

int reply_patience() {
    const char* text = std::getenv("VELOQUIN_TIME_SCALE");
    if (text == nullptr) return 1;
    char* end = nullptr;
    const long n = std::strtol(text, &end, 10);
    return end != text && *end == '\0' ? static_cast<int>(std::clamp(n, 1L, long{kMostPatience}))
                                       : 1;
}

SerialOpenResult open_posix_serial(const std::string& path, TimeoutSet timeouts,
                                   std::function<bool()> between_waits) {
    if (path.empty()) return open_failure(ENOENT);
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return open_failure(errno);
    auto fail = [fd](const std::string& why) {
        ::close(fd);
        return SerialOpenResult{nullptr, why, PortAccess::unusable};
    };
    if (!::isatty(fd)) return fail("not a serial port");
    // Programs that honour the advisory lock see the port as busy; TIOCEXCL
    // then keeps the rest out while we have it.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        return open_failure(err);
    }
    if (!configure_line(fd)) return fail("cannot set the line to 115200 baud 8N1");
    ::ioctl(fd, TIOCEXCL);
    ::tcflush(fd, TCIOFLUSH);
    return {std::make_unique<PosixSerialLine>(fd, serial_timeouts(timeouts, reply_patience()),
                                              std::move(between_waits)),
            {},
            PortAccess::free};
}

}  // namespace veloquin
