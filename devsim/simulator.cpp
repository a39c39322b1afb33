#include "devsim/simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <utility>

namespace veloquin::devsim {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::microseconds;

// A frame that stops arriving half way is forgotten after this much silence,
// so a torn upload cannot swallow the requests that follow it.
constexpr auto kFrameIdleLimit = std::chrono::milliseconds(100);
constexpr int kWriteStallLimitMs = 2000;
// A reply frame of 24 payload bytes on a 115200 baud line of 10 bits per byte.
constexpr double kLiveFrameMicros = (2 + LiveRecord::kSize + 1) * 10 * 1e6 / 115200.0;
// The keep-alive poll asks once per 20 ms tick; the car moves on that much per request.
constexpr std::uint32_t kPollPeriodMs = 20;

std::optional<Block> upload_block(std::uint8_t code) {
    switch (code) {
        case 0x03:
            return Block::header;
        case 0x04:
            return Block::e_map;
        case 0x05:
            return Block::f_map;
        case 0x06:
            return Block::sensors;
        case 0x07:
            return Block::meth_map;
        case 0x08:
            return Block::boost_map;
        default:
            return std::nullopt;
    }
}

void close_fd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

std::string errno_text(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

std::vector<std::uint8_t> SimulatorLog::codes() const {
    std::vector<std::uint8_t> out;
    out.reserve(commands.size());
    for (const auto& c : commands)
        out.push_back(c.code);
    return out;
}

std::vector<Block> SimulatorLog::uploaded_blocks() const {
    std::vector<Block> out;
    for (const auto& u : uploads)
        out.push_back(u.block);
    return out;
}

std::vector<std::uint8_t> identification_payload(const SimulatorOptions& options) {
    // Filled in place: GCC 12 at -O2 misreads an insert into a three-byte vector as an overrun.
    std::vector<std::uint8_t> id(3 + options.serial.size() + 2);
    const char* signature = options.wrong_signature ? "BLD" : "KVX";
    std::copy_n(signature, 3, id.begin());
    std::copy(options.serial.begin(), options.serial.end(), id.begin() + 3);
    id[id.size() - 2] = options.hardware;
    id[id.size() - 1] = options.software;
    return id;
}

std::vector<std::uint8_t> reply_frame(const std::vector<std::uint8_t>& payload) {
    std::vector<std::uint8_t> frame{0x11, 0x12};
    frame.insert(frame.end(), payload.begin(), payload.end());
    frame.push_back(frame_checksum(frame.data(), frame.size()));
    return frame;
}

Simulator::Simulator(SimulatorOptions options)
    : options_(std::move(options)),
      store_(options_.blank ? blank_store() : encode_for_device(plausible_calibration())),
      engine_(options_.seed),
      noise_state_(options_.seed * 2654435761U + 1U) {
    silent_.store(options_.silent);
    for (EngineEvent event : options_.events) {
        event.start_ms += options_.start_at_ms;
        engine_.add_event(event);
    }
    if (options_.start_at_ms > 0) engine_.step(options_.start_at_ms, store_);
}

Simulator::~Simulator() {
    stop();
}

bool Simulator::start(std::string* error) {
    auto failed = [&](const std::string& why) {
        if (error) *error = why;
        close_fd(master_fd_);
        close_fd(slave_hold_fd_);
        close_fd(wake_fd_);
        return false;
    };
    if (running_.load()) return true;
    // Started again after stop(): the device is plugged in anew, whatever it did before.
    vanished_.store(false);
    master_fd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_fd_ < 0) return failed(errno_text("posix_openpt"));
    if (::grantpt(master_fd_) != 0 || ::unlockpt(master_fd_) != 0) {
        return failed(errno_text("unlockpt"));
    }
    char name[128];
    if (::ptsname_r(master_fd_, name, sizeof name) != 0) return failed(errno_text("ptsname"));
    slave_path_ = name;

    // Raw in both directions so no byte of a frame is translated or echoed.
    termios tio{};
    if (::tcgetattr(master_fd_, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetspeed(&tio, B115200);
        ::tcsetattr(master_fd_, TCSANOW, &tio);
    }
    ::fcntl(master_fd_, F_SETFL, ::fcntl(master_fd_, F_GETFL) | O_NONBLOCK);
    // Without an open slave the master reports hang-up on every poll; holding
    // one ourselves lets clients come and go the way a cable is plugged in.
    slave_hold_fd_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave_hold_fd_ < 0) return failed(errno_text(name));
    wake_fd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake_fd_ < 0) return failed(errno_text("eventfd"));

    if (!options_.link.empty()) {
        struct stat st {};
        if (::lstat(options_.link.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode))
                return failed(options_.link + ": exists and is not a symlink");
            ::unlink(options_.link.c_str());
        }
        if (::symlink(name, options_.link.c_str()) != 0)
            return failed(errno_text(options_.link.c_str()));
    }
    running_.store(true);
    thread_ = std::thread([this] { serve(); });
    return true;
}

void Simulator::stop() {
    if (wake_fd_ >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = ::write(wake_fd_, &one, sizeof one);
    }
    if (thread_.joinable()) thread_.join();
    running_.store(false);
    close_fd(master_fd_);
    close_fd(slave_hold_fd_);
    close_fd(wake_fd_);
    if (!options_.link.empty()) {
        struct stat st {};
        if (::lstat(options_.link.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            ::unlink(options_.link.c_str());
    }
}

DeviceStore Simulator::store() const {
    std::lock_guard lock(mutex_);
    return store_;
}

void Simulator::set_store(const DeviceStore& store) {
    std::lock_guard lock(mutex_);
    store_ = store;
}

SimulatorLog Simulator::log() const {
    std::lock_guard lock(mutex_);
    return log_;
}

FirmwareRecord Simulator::firmware() const {
    std::lock_guard lock(mutex_);
    return firmware_;
}

void Simulator::clear_log() {
    std::lock_guard lock(mutex_);
    log_ = SimulatorLog{};
}

void Simulator::serve() {
    const microseconds record_interval(static_cast<long long>(
        options_.stream_rate > 0.0 ? 1e6 / options_.stream_rate : kLiveFrameMicros));
    auto next_record = Clock::now();
    auto last_byte = Clock::now();
    double stream_ms_owed = 0.0;
    while (!vanished_.load()) {
        auto wait = microseconds(100000);
        const auto now = Clock::now();
        if (streaming_.load()) {
            wait = std::min(wait, std::chrono::duration_cast<microseconds>(next_record - now));
        }
        if (parser_.mid_frame()) {
            wait = std::min(
                wait, std::chrono::duration_cast<microseconds>(last_byte + kFrameIdleLimit - now));
        }
        wait = std::max(wait, microseconds(0));
        const timespec ts{static_cast<time_t>(wait.count() / 1000000),
                          static_cast<long>(wait.count() % 1000000 * 1000)};
        pollfd fds[2] = {{master_fd_, POLLIN, 0}, {wake_fd_, POLLIN, 0}};
        if (::ppoll(fds, 2, &ts, nullptr) < 0 && errno != EINTR) break;
        if (fds[1].revents != 0) break;
        if ((fds[0].revents & POLLIN) != 0) {
            last_byte = Clock::now();
            const bool was_streaming = streaming_.load();
            if (!service_input()) break;
            if (!was_streaming && streaming_.load()) {
                next_record = Clock::now();
                stream_ms_owed = 0.0;
            }
        }
        if (parser_.mid_frame() && Clock::now() - last_byte >= kFrameIdleLimit)
            parser_.abandon_partial();
        if (!streaming_.load()) continue;
        if (Clock::now() - next_record > 20 * record_interval) next_record = Clock::now();
        while (streaming_.load() && !vanished_.load() && Clock::now() >= next_record) {
            stream_ms_owed += static_cast<double>(record_interval.count()) / 1000.0;
            const auto step = static_cast<std::uint32_t>(stream_ms_owed);
            stream_ms_owed -= step;
            send_live_record(step, true);
            next_record += record_interval;
            if (options_.stream_limit > 0 &&
                ++records_this_stream_ >= static_cast<std::uint64_t>(options_.stream_limit)) {
                streaming_.store(false);
            }
        }
    }
}

// Reads what the line holds and acts on every complete request; false when
// the terminal is gone.
bool Simulator::service_input() {
    std::uint8_t buffer[4096];
    const ssize_t n = ::read(master_fd_, buffer, sizeof buffer);
    if (n < 0) return errno == EAGAIN || errno == EINTR;
    for (ssize_t i = 0; i < n && !vanished_.load(); ++i) {
        if (auto request = parser_.feed(buffer[i])) handle(*request);
    }
    if (n > 0) bytes_taken_.fetch_add(static_cast<std::uint64_t>(n));
    std::lock_guard lock(mutex_);
    log_.bad_checksums = parser_.bad_checksums();
    return true;
}

void Simulator::note(const Request& r) {
    if (options_.trace) {
        char line[96];
        std::snprintf(line, sizeof line, "request 0x%02X value %u, %zu data bytes", r.code,
                      static_cast<unsigned>(r.value), r.data.size());
        options_.trace(line);
    }
    std::lock_guard lock(mutex_);
    if (log_.commands.size() >= SimulatorLog::kMaxEntries) {
        ++log_.dropped_entries;
        return;
    }
    log_.commands.push_back({r.code, r.value, r.data.size()});
}

void Simulator::handle(const Request& r) {
    note(r);
    ++requests_;
    if (!silent_.load()) {
        if (const auto block = upload_block(r.code)) {
            std::lock_guard lock(mutex_);
            if (!options_.ignore_uploads) store_.block(*block) = r.data;
            if (log_.uploads.size() < SimulatorLog::kMaxEntries)
                log_.uploads.push_back({*block, r.data});
        } else if (r.code >= cmd::first_download && r.code <= cmd::last_download) {
            answer_download(r);
        } else if (r.code == cmd::identify) {
            streaming_.store(false);
            send_reply(identification_payload(options_));
        } else if (r.code == cmd::live) {
            if (live_misses_.load() > 0) {
                live_misses_.fetch_sub(1);
            } else {
                send_live_record(kPollPeriodMs, false);
            }
        } else if (r.code == cmd::stream) {
            records_this_stream_ = 0;
            streaming_.store(true);
        } else {
            answer_firmware(r);
        }
    }
    if (options_.vanish_after > 0 &&
        requests_ >= static_cast<std::uint64_t>(options_.vanish_after)) {
        vanish();
    }
}

void Simulator::answer_download(const Request& r) {
    ++downloads_;
    if (downloads_ <= options_.refuse_downloads) return;
    const auto block = upload_block(static_cast<std::uint8_t>(r.code - 0x10));
    RawBlock payload;
    {
        std::lock_guard lock(mutex_);
        payload = store_.block(*block);
    }
    const bool torn = downloads_ <= options_.refuse_downloads + options_.drop_downloads;
    send_reply(payload, torn ? payload.size() / 2 : SIZE_MAX);
}

// The loader confirms each step with a one-byte status: 0 accepted, anything
// else refused. It will not take a header before being entered, nor a block
// before the header, as a real loader would not.
void Simulator::answer_firmware(const Request& r) {
    std::uint8_t status = 0;
    {
        std::lock_guard lock(mutex_);
        FirmwareRecord& fw = firmware_;
        if (r.code == cmd::enter_loader) {
            fw = FirmwareRecord{};
            fw.loader_entered = true;
        } else if (r.code == cmd::firmware_header) {
            status = fw.loader_entered ? 0 : 1;
            if (status == 0) fw.header = r.data;
        } else if (r.code == cmd::firmware_block) {
            int& refused = block_refusals_[r.value];
            if (!fw.loader_entered || fw.header.empty()) {
                status = 2;
            } else if (refused < options_.refuse_firmware_block) {
                ++refused;
                ++fw.refusals;
                status = 3;
            } else {
                fw.accepted_blocks.push_back(r.value);
                fw.image[r.value] = r.data;
            }
        } else {
            return;  // a code this device does not know gets no answer
        }
    }
    send_reply({status});
}

void Simulator::send_live_record(std::uint32_t dt_ms, bool streamed) {
    LiveRecord record;
    {
        std::lock_guard lock(mutex_);
        record = engine_.step(dt_ms, store_);
        if (streamed) ++log_.streamed_records;
    }
    send_reply(std::vector<std::uint8_t>(record.bytes.begin(), record.bytes.end()));
}

void Simulator::send_reply(const std::vector<std::uint8_t>& payload, std::size_t cut_after) {
    ++replies_;
    if (options_.drop_every > 0 && replies_ % static_cast<std::uint64_t>(options_.drop_every) == 0)
        return;
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < options_.noise_bytes; ++i) {
        noise_state_ = noise_state_ * 1103515245U + 12345U;
        auto b = static_cast<std::uint8_t>(noise_state_ >> 16);
        // A stray 0x11 right before the real start pair would hide it from the receiver.
        if (b == 0x11) b = 0x10;
        bytes.push_back(b);
    }
    const auto frame = reply_frame(payload);
    const std::size_t keep =
        cut_after == SIZE_MAX ? frame.size() : std::min(frame.size(), 2 + cut_after);
    bytes.insert(bytes.end(), frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(keep));
    if (options_.reply_byte_gap_ms <= 0) {
        write_all(bytes.data(), bytes.size());
        return;
    }
    for (const std::uint8_t b : bytes) {
        if (!write_all(&b, 1)) return;
        // The gap is spent listening for a stop, so the device stops promptly.
        pollfd wake{wake_fd_, POLLIN, 0};
        if (::poll(&wake, 1, options_.reply_byte_gap_ms) > 0) return;
    }
}

// A client that stops reading fills the terminal's buffer; the device then
// loses what does not fit rather than stalling, as a UART with nobody
// listening would.
bool Simulator::write_all(const std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(master_fd_, data + done, size - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            bytes_sent_.fetch_add(static_cast<std::uint64_t>(n));
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        // A pseudo-terminal buffers far less than the 64 KiB a serial driver
        // gives the program, so a reader delayed by a busy machine fills it
        // within a few hundred milliseconds of streaming. The device then
        // holds back instead of dropping a record a real line would have
        // delivered; only a stop request or a reader gone for good ends the wait.
        pollfd fds[2] = {{master_fd_, POLLOUT, 0}, {wake_fd_, POLLIN, 0}};
        if (::poll(fds, 2, kWriteStallLimitMs) <= 0 || fds[1].revents != 0) return false;
    }
    return true;
}

void Simulator::vanish() {
    vanished_.store(true);
    streaming_.store(false);
    close_fd(master_fd_);
    close_fd(slave_hold_fd_);
    if (options_.trace) options_.trace("device vanished");
}

}  // namespace veloquin::devsim
