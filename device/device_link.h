#pragma once
// The one connection to the device: the open line, the connection state and
// the shared frame buffer, with the primitives every exchange is built from.
// A send never waits for an answer and a receive never sends; callers pair them.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/live_record.h"
#include "base/platform.h"

namespace veloquin {

// Command codes of the request frames. A calibration block's download code is
// its upload code plus 0x10.
namespace cmd {
inline constexpr std::uint8_t live_data = 0x01;
inline constexpr std::uint8_t upload_header = 0x03;
inline constexpr std::uint8_t upload_e_map = 0x04;
inline constexpr std::uint8_t upload_f_map = 0x05;
inline constexpr std::uint8_t upload_sensors = 0x06;
inline constexpr std::uint8_t upload_meth_map = 0x07;
inline constexpr std::uint8_t upload_boost_map = 0x08;
inline constexpr std::uint8_t identify = 0x10;
inline constexpr std::uint8_t download_offset = 0x10;
inline constexpr std::uint8_t start_stream = 0x20;
inline constexpr std::uint8_t firmware_start = 0x21;
inline constexpr std::uint8_t firmware_header = 0x22;
inline constexpr std::uint8_t firmware_block = 0x23;
}  // namespace cmd

inline constexpr std::uint8_t kRequestStart0 = 0x13;
inline constexpr std::uint8_t kRequestStart1 = 0x14;
inline constexpr std::uint8_t kReplyStart0 = 0x11;
inline constexpr std::uint8_t kReplyStart1 = 0x12;
inline constexpr std::uint8_t kStatusNoReply = 0xFF;

// What the status lines say about a search that found nothing; each is shown
// once when the search comes to it, so texts shown meanwhile are not
// overwritten every second.
enum class SearchNote { none, not_connected, no_port, no_access, lost };

// The connection search between ticks. It never gives up: after a pass over
// the ports without an answer it goes on quietly, a pass a second, each pass
// with the port table made anew.
struct SearchState {
    bool pass_due = false;      // the next attempt starts a pass: table anew, ports probed
    bool quiet = false;         // no "Search COM%d..." texts and no open failures shown
    bool device_lost = false;   // a connected device stopped answering: "Reconnected" when back
    bool reason_shown = false;  // an attempt of this pass said below why it failed
    SearchNote shown = SearchNote::none;
    std::string last_port;    // identity of the port of the last connection, tried first
    std::string chosen_port;  // identity of the port chosen by the user, tried next
    // The identification line of the device whose calibration the program
    // took; a device answering with the same line is the same device come back.
    std::string device_identity;
};

// How one port fared when the ports were last probed.
struct PortProbe {
    PortAccess access = PortAccess::missing;
    std::string error;
};

// An upload of changed blocks under way. The poll runs it a step at a time,
// each step once the device's pause before it is over, so the window is free
// during the pauses instead of sleeping through them.
struct UploadSteps {
    std::uint32_t pending = 0;  // bit k: block kBlockOrder[k] is still to go
    int block = -1;             // the block in hand (index into kBlockOrder); -1: none
    bool sent = false;          // its frame went out; now the pause after it
    std::uint32_t due_ms = 0;   // when the next step may run
    bool active() const { return block >= 0; }
};

struct DeviceLink {
    static constexpr std::size_t kFrameBufferSize = 12800;
    static constexpr int kMaxFoundPorts = 16;

    int port_number = 1;  // 0 when the probe found nothing: every open then fails
    std::unique_ptr<SerialLine> line;
    bool probe_quiet = false;  // a failed open shows nothing (the probe, a quiet search)
    std::array<int, kMaxFoundPorts> found_ports{};
    int found_count = 0;
    int cycle_position = 0;
    int search_cycles = 0;
    bool connected = false;
    int retry_countdown = 0;
    // The platform's port table as the last rescan gave it; nullopt while the
    // platform's port numbers are fixed.
    std::optional<std::vector<SerialPortEntry>> ports;
    std::array<PortProbe, kMaxFoundPorts> probed{};  // by port number - 1
    SearchState search;
    TimeoutSet timeouts = TimeoutSet::normal;
    // Holds one request or one reply at a time: a reply lands on the request
    // that provoked it, so callers copy a payload out before the next exchange.
    std::array<std::uint8_t, kFrameBufferSize> frame{};
    std::size_t last_transfer_count = 0;
    LiveRecord live;
    int upload_counter = 0;
    UploadSteps upload;

    bool is_open() const { return line != nullptr; }
};

// Request frames: start pair, code, optional value, data, and a checksum that
// is the low byte of the sum of every byte before it.
std::vector<std::uint8_t> request_frame(std::uint8_t code, std::uint8_t value);
std::vector<std::uint8_t> block_frame(std::uint8_t code, std::span<const std::uint8_t> data);
std::vector<std::uint8_t> numbered_block_frame(std::uint8_t code, std::uint8_t value,
                                               std::span<const std::uint8_t> data);

// Collects one reply frame a byte at a time: bytes before the start pair are
// skipped, then the payload of n bytes and the trailing byte are stored from
// the first byte of `store`. Gives up after five empty reads in a row (four
// after the last byte that arrived) or when more than 2 (n + 1) bytes came
// without completing the reply.
class ReplyReceiver {
  public:
    enum class Step { needs_more, complete, failed };
    static constexpr int kIdleLimit = 5;

    // `store` must hold n + 1 bytes; a smaller one makes the first feed fail.
    ReplyReceiver(std::span<std::uint8_t> store, std::size_t n);
    // A byte 0..255, or a negative value for a read that timed out.
    Step feed(int byte);
    std::size_t stored() const { return stored_; }
    std::size_t received() const { return received_; }

  private:
    std::span<std::uint8_t> store_;
    std::size_t wanted_;
    int sync_ = 0;
    std::size_t stored_ = 0;
    std::size_t received_ = 0;
    int idle_ = 0;
};

// Opens the port named by link.port_number with the active timeout set,
// closing any open one first. A failure shows "COM%d: FAILED (reason)" in the
// lower status line unless the probe is running quietly.
bool open_port(DeviceLink& link, Platform& platform);
void close_port(DeviceLink& link);
// Fills the found ports with every port of the table (1..16 without one) that
// opens, pausing 50 ms after each; notes how every port fared. The line of a
// connected device is left open and its port counted as found.
void probe_ports(DeviceLink& link, Platform& platform);
// After the probe: the search starts at the first found port (0 when none).
void start_search_at_first_found_port(DeviceLink& link);

// What identifies a port across rescans, where its number may change: the
// by-id name, which a USB adapter keeps on whatever node it comes back as,
// else the device path.
std::string port_identity(const SerialPortEntry& port);
// The same for a port number: from the table, or the platform's name for it
// where port numbers are fixed. Empty for a number the table does not have.
std::string port_identity(const DeviceLink& link, Platform& platform, int port);

// Throws away what is waiting on the line; true when something was. Every
// frame sent does this first.
bool discard_waiting_input(DeviceLink& link);

// True when the whole frame was written.
bool send_command(DeviceLink& link, std::uint8_t code, std::uint8_t value);
bool send_block(DeviceLink& link, std::uint8_t code, const std::uint8_t* data, std::size_t n);
bool send_numbered_block(DeviceLink& link, std::uint8_t code, std::uint8_t value,
                         const std::uint8_t* data, std::size_t n);

// True when n + 1 bytes after a start pair arrived; they sit at link.frame[0..n].
// receive_reply clears the first 32 bytes of the frame buffer first,
// receive_streamed_reply (the records of a recording) does not.
bool receive_reply(DeviceLink& link, std::size_t n);
bool receive_streamed_reply(DeviceLink& link, std::size_t n);
// 0 accepted, anything else refused; 0xFF when no status arrived.
std::uint8_t receive_status(DeviceLink& link);

std::uint32_t block_sum(const std::uint8_t* data, std::size_t n);

}  // namespace veloquin
