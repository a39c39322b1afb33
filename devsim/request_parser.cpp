#include "devsim/request_parser.h"

#include <algorithm>

namespace veloquin::devsim {
namespace {

constexpr std::uint8_t kStart0 = 0x13;
constexpr std::uint8_t kStart1 = 0x14;

std::size_t upload_bytes(std::uint8_t code) {
    switch (code) {
        case 0x03:
            return 364;
        case 0x06:
            return 856;
        default:
            return 960;
    }
}

}  // namespace

std::optional<FrameShape> frame_shape(std::uint8_t code) {
    if (code >= cmd::first_upload && code <= cmd::last_upload) {
        const std::size_t n = upload_bytes(code);
        return FrameShape{false, n, n + 4};
    }
    switch (code) {
        case cmd::firmware_header:
            return FrameShape{true, kFirmwareHeaderBytes, kFirmwareHeaderBytes + 5};
        case cmd::firmware_block:
            return FrameShape{true, kFirmwareBlockBytes, kFirmwareBlockBytes + 5};
        case cmd::live:
        case cmd::identify:
        case cmd::stream:
        case cmd::enter_loader:
            return FrameShape{true, 0, 5};
        default:
            break;
    }
    if (code >= cmd::first_download && code <= cmd::last_download) return FrameShape{true, 0, 5};
    return std::nullopt;
}

std::uint8_t frame_checksum(const std::uint8_t* bytes, std::size_t size) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < size; ++i)
        sum += bytes[i];
    return static_cast<std::uint8_t>(sum & 0xFF);
}

std::vector<std::uint8_t> encode_request(const Request& r) {
    std::vector<std::uint8_t> frame{kStart0, kStart1, r.code};
    const auto shape = frame_shape(r.code);
    if (!shape || shape->has_value) frame.push_back(r.value);
    frame.insert(frame.end(), r.data.begin(), r.data.end());
    frame.push_back(frame_checksum(frame.data(), frame.size()));
    return frame;
}

std::optional<Request> RequestParser::feed(std::uint8_t byte) {
    frame_.push_back(byte);
    const std::size_t n = frame_.size();
    if (n == 1) {
        if (byte != kStart0) {
            frame_.clear();
            ++skipped_bytes_;
        }
        return std::nullopt;
    }
    if (n == 2) {
        if (byte != kStart1) resync_from(1);
        return std::nullopt;
    }
    if (n == 3) {
        const auto shape = frame_shape(byte);
        if (!shape) {
            resync_from(1);
            return std::nullopt;
        }
        expected_ = shape->length;
        return std::nullopt;
    }
    if (n < expected_) return std::nullopt;

    // A frame whose checksum does not match is dropped whole and answered with
    // nothing: that is how this simulated device chooses to behave, so that the
    // program's own timeout and retry paths get exercised rather than a reply
    // the program would have to interpret.
    if (frame_checksum(frame_.data(), n - 1) != frame_.back()) {
        ++bad_checksums_;
        frame_.clear();
        return std::nullopt;
    }
    Request r;
    r.code = frame_[2];
    std::size_t data_start = 3;
    if (frame_shape(r.code)->has_value) r.value = frame_[data_start++];
    r.data.assign(frame_.begin() + static_cast<std::ptrdiff_t>(data_start), frame_.end() - 1);
    frame_.clear();
    return r;
}

// Drops bytes up to the next possible start byte and replays the rest, so a
// garbage byte that happens to be 0x13 does not hide a real frame behind it.
void RequestParser::resync_from(std::size_t start) {
    std::vector<std::uint8_t> rest(frame_.begin() + static_cast<std::ptrdiff_t>(start),
                                   frame_.end());
    skipped_bytes_ += start;
    frame_.clear();
    const auto next = std::find(rest.begin(), rest.end(), kStart0);
    skipped_bytes_ += static_cast<std::uint64_t>(next - rest.begin());
    for (auto it = next; it != rest.end(); ++it) {
        // Only up to three bytes are ever replayed, so no frame can complete here.
        (void)feed(*it);
    }
}

}  // namespace veloquin::devsim
