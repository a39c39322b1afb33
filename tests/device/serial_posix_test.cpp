#include "device/serial_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "tests/support/deadline.h"
#include "tests/support/temp_dir.h"

namespace veloquin {
namespace {

using Clock = std::chrono::steady_clock;

long ms_since(Clock::time_point t) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

// The device side of a pseudo-terminal pair; the program opens the slave path.
struct PtyPair {
    int master = -1;
    std::string slave_path;
    PtyPair() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return;
        slave_path = ::ptsname(master);
    }
    ~PtyPair() { close_master(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;
    void close_master() {
        if (master >= 0) ::close(master);
        master = -1;
    }
    void send(std::initializer_list<std::uint8_t> bytes) const {
        const std::vector<std::uint8_t> v(bytes);
        ASSERT_EQ(::write(master, v.data(), v.size()), static_cast<ssize_t>(v.size()));
    }
    std::vector<std::uint8_t> receive(std::size_t n) const {
        std::vector<std::uint8_t> got;
        while (got.size() < n) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 1000) <= 0) break;
            std::uint8_t buf[256];
            const ssize_t r = ::read(master, buf, std::min(sizeof buf, n - got.size()));
            if (r <= 0) break;
            got.insert(got.end(), buf, buf + r);
        }
        return got;
    }
};

TEST(PosixSerial, PseudoTerminalCarriesBytesBothWaysUnaltered) {
    PtyPair pty;
    ASSERT_FALSE(pty.slave_path.empty());
    SerialOpenResult opened = open_posix_serial(pty.slave_path, TimeoutSet::normal);
    ASSERT_TRUE(opened.line) << opened.error;
    SerialLine& line = *opened.line;

    // Raw mode: CR, LF, XON/XOFF and 0xFF pass as data.
    const std::uint8_t frame[] = {0x13, 0x14, 0x0D, 0x0A, 0x11, 0x13, 0xFF, 0x00};
    EXPECT_EQ(line.write(frame, sizeof frame), sizeof frame);
    EXPECT_EQ(pty.receive(sizeof frame), std::vector<std::uint8_t>(frame, frame + sizeof frame));

    pty.send({0x11, 0x12, 0x0D, 0x03, 0x7F});
    std::vector<int> got;
    got.reserve(5);
    for (int i = 0; i < 5; ++i)
        got.push_back(line.read_byte());
    EXPECT_EQ(got, (std::vector<int>{0x11, 0x12, 0x0D, 0x03, 0x7F}));

    pty.send({0x01, 0x02});
    ASSERT_TRUE(testing::wait_until([&] { return line.available() == 2; }));
    line.purge_input();
    EXPECT_EQ(line.read_byte(), -1);
}

// The descriptor the line holds on `path`, found the way lsof would.
int open_descriptor_on(const std::string& path) {
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (std::filesystem::read_symlink(entry.path(), ec) == path)
            return std::stoi(entry.path().filename().string());
    }
    return -1;
}

// A pseudo-terminal moves the bytes to the master at once, so its output queue
// always reads empty: this shows the frame whole and the wait bounded, and that
// the queue is empty when write returns, but not that write waited for it.
TEST(PosixSerial, BlockFrameArrivesWholeAndHasLeftTheQueueWhenWriteReturns) {
    PtyPair pty;
    SerialOpenResult opened = open_posix_serial(pty.slave_path, TimeoutSet::normal);
    ASSERT_TRUE(opened.line) << opened.error;
    const int slave = open_descriptor_on(pty.slave_path);
    ASSERT_GE(slave, 0);

    std::vector<std::uint8_t> frame(964);
    for (std::size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<std::uint8_t>(i * 7 + 3);
    std::vector<std::uint8_t> got;
    std::thread slow_reader([&] {
        while (got.size() < frame.size()) {
            const std::vector<std::uint8_t> chunk =
                pty.receive(std::min<std::size_t>(64, frame.size() - got.size()));
            if (chunk.empty()) return;
            got.insert(got.end(), chunk.begin(), chunk.end());
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    const auto start = Clock::now();
    const std::size_t written = opened.line->write(frame.data(), frame.size());
    const long write_ms = ms_since(start);
    int queued = -1;
    const int outq = ::ioctl(slave, TIOCOUTQ, &queued);
    slow_reader.join();

    EXPECT_EQ(written, frame.size());
    EXPECT_EQ(outq, 0);
    EXPECT_EQ(queued, 0);
    EXPECT_LT(write_ms, 2 * 964 + 2);
    EXPECT_EQ(got, frame);
}

// A device that stops reading fills the pseudo-terminal; the write that finds
// it full gives up within its own budget instead of hanging.
TEST(PosixSerial, StalledLineGivesUpWithinTheWriteBudget) {
    PtyPair pty;
    SerialOpenResult opened = open_posix_serial(pty.slave_path, TimeoutSet::normal);
    ASSERT_TRUE(opened.line) << opened.error;
    const std::uint8_t frame[10] = {0x13, 0x14, 0x20};
    long short_write_ms = -1;
    for (int i = 0; i < 20000 && short_write_ms < 0; ++i) {
        const auto start = Clock::now();
        if (opened.line->write(frame, sizeof frame) < sizeof frame)
            short_write_ms = ms_since(start);
    }
    ASSERT_GE(short_write_ms, 0) << "the pseudo-terminal never filled";
    EXPECT_LT(short_write_ms, 2 * 10 + 2 + 500);
    const auto start = Clock::now();
    EXPECT_EQ(opened.line->write(frame, sizeof frame), 0u);
    EXPECT_LT(ms_since(start), 2 * 10 + 2 + 500);
}

// The waits VELOQUIN_TIME_SCALE asks for stretch the reads alone.
TEST(PosixSerial, ReadsTimeOutAfterTheirSet) {
    EXPECT_EQ(serial_timeouts(TimeoutSet::normal, 5).read_total_ms, 20);
    EXPECT_EQ(serial_timeouts(TimeoutSet::normal, 5).write_per_byte_ms, 2);
    EXPECT_EQ(serial_timeouts(TimeoutSet::firmware, 0).read_total_ms, 200);
    EXPECT_EQ(serial_timeouts(TimeoutSet::normal, 1000).read_total_ms, 4 * kMostPatience);

    const int scale = reply_patience();
    PtyPair pty;
    SerialOpenResult normal = open_posix_serial(pty.slave_path, TimeoutSet::normal);
    ASSERT_TRUE(normal.line) << normal.error;
    auto start = Clock::now();
    EXPECT_EQ(normal.line->read_byte(), -1);
    const long normal_ms = ms_since(start);
    EXPECT_GE(normal_ms, 3 * scale);
    EXPECT_LT(normal_ms, 100 * scale);
    normal.line.reset();

    SerialOpenResult firmware = open_posix_serial(pty.slave_path, TimeoutSet::firmware);
    ASSERT_TRUE(firmware.line) << firmware.error;
    start = Clock::now();
    EXPECT_EQ(firmware.line->read_byte(), -1);
    const long firmware_ms = ms_since(start);
    EXPECT_GE(firmware_ms, 190 * scale);
    EXPECT_LT(firmware_ms, 1000 * scale);
}

TEST(PosixSerial, OpenFailuresSayWhy) {
    EXPECT_EQ(open_posix_serial("/dev/veloquin-no-such-port", TimeoutSet::normal).error,
              "no such device");
    EXPECT_EQ(open_posix_serial("", TimeoutSet::normal).error, "no such device");

    testing::TempDir dir;
    testing::write_file(dir / "plain", "not a tty");
    SerialOpenResult file = open_posix_serial((dir / "plain").string(), TimeoutSet::normal);
    EXPECT_FALSE(file.line);
    EXPECT_EQ(file.error, "not a serial port");
    EXPECT_EQ(open_posix_serial(dir.path().string(), TimeoutSet::normal).error,
              "not a serial port");
}

TEST(PosixSerial, SecondOpenOfABusyPortFails) {
    PtyPair pty;
    SerialOpenResult first = open_posix_serial(pty.slave_path, TimeoutSet::normal);
    ASSERT_TRUE(first.line) << first.error;
    SerialOpenResult second = open_posix_serial(pty.slave_path, TimeoutSet::normal);
    EXPECT_FALSE(second.line);
    EXPECT_EQ(second.error, "busy — another program has it open");
    first.line.reset();
    EXPECT_TRUE(open_posix_serial(pty.slave_path, TimeoutSet::normal).line);
}

TEST(PosixSerial, VanishedDeviceFailsReadsAndWritesWithoutHanging) {
    PtyPair pty;
    SerialOpenResult opened = open_posix_serial(pty.slave_path, TimeoutSet::firmware);
    ASSERT_TRUE(opened.line) << opened.error;
    pty.send({0x42});
    EXPECT_EQ(opened.line->read_byte(), 0x42);
    pty.close_master();
    const auto start = Clock::now();
    EXPECT_EQ(opened.line->read_byte(), -1);
    EXPECT_EQ(opened.line->read_byte(), -1);
    const std::uint8_t frame[] = {0x13, 0x14, 0x01, 0x00, 0x28};
    EXPECT_EQ(opened.line->write(frame, sizeof frame), 0u);
    opened.line->purge_input();
    EXPECT_LT(ms_since(start), 1000);
}

}  // namespace
}  // namespace veloquin
