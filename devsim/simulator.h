#pragma once
// The simulated device behind a pseudo-terminal: it serves the request and
// reply protocol on the master side from its own thread, so the program's real
// serial code can open the slave path as if it were the car's unit. Used
// in-process by the end-to-end tests and standalone by `veloquin-tool devsim`.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "devsim/device_store.h"
#include "devsim/engine_model.h"
#include "devsim/request_parser.h"

namespace veloquin::devsim {

struct SimulatorOptions {
    std::array<std::uint8_t, 7> serial{1, 2, 3, 4, 5, 6, 7};
    std::uint8_t hardware = 2;
    std::uint8_t software = 15;
    bool blank = false;      // every block reads as 0xFF, like an unprogrammed unit
    std::uint32_t seed = 1;  // of the engine model and the noise bytes
    std::string link;        // when set, a symlink to the slave at this stable path

    // Named failure modes; zero or false means the device behaves.
    bool silent = false;            // answers nothing at all
    bool wrong_signature = false;   // identification without "KVX"
    int noise_bytes = 0;            // this many stray bytes before each reply frame
    int drop_every = 0;             // every Nth reply is not sent
    int refuse_downloads = 0;       // the first N block downloads get no answer
    int drop_downloads = 0;         // the next N block downloads break off half way
    int refuse_firmware_block = 0;  // each firmware block is refused this many times
    bool ignore_uploads = false;    // takes upload frames but keeps its old blocks
    int vanish_after = 0;           // the device disappears after N requests
    double stream_rate = 0.0;       // live records per second; 0 = the full line rate
    int stream_limit = 0;           // a stream stops by itself after N records, as if cut off
    // The drive cycle starts this far in (6000: the full-throttle pull begins
    // at once), for demos and tests that want the engine moving.
    std::uint32_t start_at_ms = 0;
    // A slow device: the bytes of each reply this many milliseconds apart.
    int reply_byte_gap_ms = 0;
    // Scripted events, their times counted from the start of the device
    // (after start_at_ms).
    std::vector<EngineEvent> events;

    // Called from the device's thread with a line per request, for a verbose console.
    std::function<void(const std::string&)> trace;
};

struct ReceivedCommand {
    std::uint8_t code;
    std::uint8_t value;
    std::size_t data_bytes;
};

struct UploadedBlock {
    Block block;
    RawBlock bytes;
};

// What the device received, kept for tests to assert on. Bounded so a long
// demo run cannot grow it without end; the overflow is counted.
struct SimulatorLog {
    static constexpr std::size_t kMaxEntries = 100000;
    std::vector<ReceivedCommand> commands;
    std::vector<UploadedBlock> uploads;
    std::size_t dropped_entries = 0;
    std::uint64_t bad_checksums = 0;
    std::uint64_t streamed_records = 0;

    std::vector<std::uint8_t> codes() const;
    std::vector<Block> uploaded_blocks() const;
};

struct FirmwareRecord {
    bool loader_entered = false;
    std::vector<std::uint8_t> header;
    std::vector<std::uint32_t> accepted_blocks;                // block numbers in the order flashed
    std::map<std::uint32_t, std::vector<std::uint8_t>> image;  // block number -> bytes
    int refusals = 0;
};

class Simulator {
  public:
    explicit Simulator(SimulatorOptions options);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Opens the pseudo-terminal and starts serving; false with the reason on failure.
    bool start(std::string* error = nullptr);
    // Stops serving and closes the terminal; returns promptly and joins the
    // thread. A later start() plugs the device in again, with its store, on a
    // new pseudo-terminal (whose path may differ; `link` follows it).
    void stop();

    const std::string& slave_path() const { return slave_path_; }
    bool vanished() const { return vanished_.load(); }
    // Whether the device's thread runs and the terminal is there.
    bool serving() const { return running_.load() && !vanished_.load(); }
    // Bytes taken from the line and acted on (replies written), and bytes
    // written to it: a test can tell a silent device from a late one.
    std::uint64_t bytes_taken() const { return bytes_taken_.load(); }
    std::uint64_t bytes_sent() const { return bytes_sent_.load(); }
    bool streaming() const { return streaming_.load(); }

    DeviceStore store() const;
    void set_store(const DeviceStore& store);
    SimulatorLog log() const;
    FirmwareRecord firmware() const;
    void clear_log();

    // Changes while running, for tests that script a device going quiet.
    void set_silent(bool silent) { silent_.store(silent); }
    void miss_live_requests(int count) { live_misses_.store(count); }

  private:
    void serve();
    bool service_input();
    void handle(const Request& r);
    void answer_download(const Request& r);
    void answer_firmware(const Request& r);
    void send_live_record(std::uint32_t dt_ms, bool streamed);
    void send_reply(const std::vector<std::uint8_t>& payload, std::size_t cut_after = SIZE_MAX);
    bool write_all(const std::uint8_t* data, std::size_t size);
    void vanish();
    void note(const Request& r);

    SimulatorOptions options_;
    std::string slave_path_;
    int master_fd_ = -1;
    int slave_hold_fd_ = -1;  // keeps the pair alive while no client has the slave open
    int wake_fd_ = -1;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<bool> vanished_{false};
    std::atomic<bool> streaming_{false};
    std::atomic<bool> silent_{false};
    std::atomic<int> live_misses_{0};
    std::atomic<std::uint64_t> bytes_taken_{0};
    std::atomic<std::uint64_t> bytes_sent_{0};

    mutable std::mutex mutex_;  // guards store_, log_, firmware_
    DeviceStore store_;
    SimulatorLog log_;
    FirmwareRecord firmware_;

    // Touched only by the serving thread.
    RequestParser parser_;
    EngineModel engine_;
    std::uint32_t noise_state_;
    std::uint64_t requests_ = 0;
    std::uint64_t replies_ = 0;
    std::uint64_t records_this_stream_ = 0;
    int downloads_ = 0;
    std::map<std::uint32_t, int> block_refusals_;
};

// The 12-byte identification payload the options describe.
std::vector<std::uint8_t> identification_payload(const SimulatorOptions& options);
// A reply frame as the device sends it: 0x11 0x12, payload, trailing sum byte.
std::vector<std::uint8_t> reply_frame(const std::vector<std::uint8_t>& payload);

}  // namespace veloquin::devsim
