#pragma once
// The simulated device's side of the request framing: bytes from the line go
// in one at a time, complete requests come out. Pure code, no I/O, so the
// resynchronisation rules can be tested byte by byte.

#include <cstdint>
#include <optional>
#include <vector>

namespace veloquin::devsim {

// Command codes the device understands.
namespace cmd {
inline constexpr std::uint8_t live = 0x01;
inline constexpr std::uint8_t identify = 0x10;
inline constexpr std::uint8_t stream = 0x20;
inline constexpr std::uint8_t enter_loader = 0x21;
inline constexpr std::uint8_t firmware_header = 0x22;
inline constexpr std::uint8_t firmware_block = 0x23;
inline constexpr std::uint8_t first_upload = 0x03;  // 0x03..0x08 upload a block
inline constexpr std::uint8_t last_upload = 0x08;
inline constexpr std::uint8_t first_download = 0x13;  // 0x13..0x18 download a block
inline constexpr std::uint8_t last_download = 0x18;
}  // namespace cmd

inline constexpr std::size_t kFirmwareHeaderBytes = 64;
inline constexpr std::size_t kFirmwareBlockBytes = 1024;

struct Request {
    std::uint8_t code = 0;
    std::uint8_t value = 0;          // short and numbered frames only
    std::vector<std::uint8_t> data;  // block and numbered frames only
};

// How a frame with this code is laid out; nullopt for codes the device does not know.
struct FrameShape {
    bool has_value;      // one argument byte after the code
    std::size_t data;    // data bytes after the code (and value)
    std::size_t length;  // the whole frame, checksum included
};
std::optional<FrameShape> frame_shape(std::uint8_t code);

// The low 8 bits of the sum of all bytes.
std::uint8_t frame_checksum(const std::uint8_t* bytes, std::size_t size);

// A whole request frame, start pair and checksum included.
std::vector<std::uint8_t> encode_request(const Request& r);

class RequestParser {
  public:
    // Feeds one byte; returns a request when this byte completed a valid frame.
    std::optional<Request> feed(std::uint8_t byte);
    // Forgets a half-received frame (the line went quiet in the middle of one).
    void abandon_partial() { frame_.clear(); }
    bool mid_frame() const { return !frame_.empty(); }
    // Frames thrown away for a bad checksum, and bytes skipped while hunting a start pair.
    std::uint64_t bad_checksums() const { return bad_checksums_; }
    std::uint64_t skipped_bytes() const { return skipped_bytes_; }

  private:
    void resync_from(std::size_t start);

    std::vector<std::uint8_t> frame_;
    std::size_t expected_ = 0;
    std::uint64_t bad_checksums_ = 0;
    std::uint64_t skipped_bytes_ = 0;
};

}  // namespace veloquin::devsim
