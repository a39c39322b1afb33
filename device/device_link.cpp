#include "device/device_link.h"

#include <algorithm>
#include <string>

namespace veloquin {

namespace {

constexpr std::size_t kClearedOnReceive = 32;

std::vector<std::uint8_t> frame_of(std::uint8_t code, const std::uint8_t* value,
                                   std::span<const std::uint8_t> data) {
    std::vector<std::uint8_t> frame;
    frame.reserve(data.size() + 5);
    frame.push_back(kRequestStart0);
    frame.push_back(kRequestStart1);
    frame.push_back(code);
    if (value != nullptr) frame.push_back(*value);
    frame.insert(frame.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (const std::uint8_t b : frame)
        sum += b;
    frame.push_back(static_cast<std::uint8_t>(sum & 0xFF));
    return frame;
}

bool write_frame(DeviceLink& link, const std::vector<std::uint8_t>& frame) {
    // The request also lands in the frame buffer, where the reply will overwrite it.
    std::copy_n(frame.begin(), std::min(frame.size(), link.frame.size()), link.frame.begin());
    if (!link.is_open()) {
        link.last_transfer_count = 0;
        return false;
    }
    // A reply can only answer the request just sent: whatever is waiting
    // was sent for an earlier one (a download cut off, a slow device's tail).
    discard_waiting_input(link);
    link.last_transfer_count = link.line->write(frame.data(), frame.size());
    return link.last_transfer_count == frame.size();
}

bool collect_reply(DeviceLink& link, std::size_t n) {
    ReplyReceiver receiver(link.frame, n);
    for (;;) {
        const int byte = link.is_open() ? link.line->read_byte() : -1;
        link.last_transfer_count = byte < 0 ? 0 : 1;
        const ReplyReceiver::Step step = receiver.feed(byte);
        if (step == ReplyReceiver::Step::complete) return true;
        if (step == ReplyReceiver::Step::failed) return false;
    }
}

}  // namespace

std::vector<std::uint8_t> request_frame(std::uint8_t code, std::uint8_t value) {
    return frame_of(code, &value, {});
}

std::vector<std::uint8_t> block_frame(std::uint8_t code, std::span<const std::uint8_t> data) {
    return frame_of(code, nullptr, data);
}

std::vector<std::uint8_t> numbered_block_frame(std::uint8_t code, std::uint8_t value,
                                               std::span<const std::uint8_t> data) {
    return frame_of(code, &value, data);
}

ReplyReceiver::ReplyReceiver(std::span<std::uint8_t> store, std::size_t n)
    : store_(store), wanted_(n + 1) {}

ReplyReceiver::Step ReplyReceiver::feed(int byte) {
    // A reply that cannot fit would overrun the buffer: refuse it outright.
    if (wanted_ > store_.size()) return Step::failed;
    if (byte >= 0) {
        ++received_;
        idle_ = 0;
        const auto b = static_cast<std::uint8_t>(byte);
        if (sync_ == 2) {
            store_[stored_++] = b;
        } else if (sync_ == 1) {
            sync_ = b == kReplyStart1 ? 2 : 0;
        } else if (b == kReplyStart0) {
            sync_ = 1;
        }
    }
    if (stored_ == wanted_) return Step::complete;
    if (received_ > 2 * wanted_) return Step::failed;
    // Counted after a byte too, so four silent reads follow the last byte.
    ++idle_;
    return idle_ < kIdleLimit ? Step::needs_more : Step::failed;
}

bool open_port(DeviceLink& link, Platform& platform) {
    close_port(link);
    SerialOpenResult opened = platform.open_serial(link.port_number, link.timeouts);
    if (opened.line) {
        link.line = std::move(opened.line);
        return true;
    }
    if (!link.probe_quiet) {
        std::string text = "COM" + std::to_string(link.port_number) + ": FAILED";
        if (!opened.error.empty()) text += " (" + opened.error + ")";
        platform.set_lower_status(text);
    }
    return false;
}

void close_port(DeviceLink& link) {
    link.line.reset();
}

void probe_ports(DeviceLink& link, Platform& platform) {
    const bool keep_line = link.connected && link.is_open();
    if (!keep_line) close_port(link);
    link.found_count = 0;
    const int count =
        link.ports ? std::min(static_cast<int>(link.ports->size()), DeviceLink::kMaxFoundPorts)
                   : DeviceLink::kMaxFoundPorts;
    for (int port = 1; port <= DeviceLink::kMaxFoundPorts; ++port) {
        PortProbe& probe = link.probed[static_cast<std::size_t>(port - 1)];
        probe = {};
        if (port > count) continue;
        if (keep_line && port == link.port_number) {
            probe.access = PortAccess::busy;
        } else {
            SerialOpenResult opened = platform.open_serial(port, link.timeouts);
            probe = {opened.line ? PortAccess::free : opened.access, opened.error};
            if (!opened.line) continue;
            opened.line.reset();
            // Some USB adapters need a moment after a close before they open again.
            platform.sleep_ms(50);
        }
        link.found_ports[static_cast<std::size_t>(link.found_count++)] = port;
    }
}

void start_search_at_first_found_port(DeviceLink& link) {
    link.cycle_position = 0;
    link.port_number = link.found_count > 0 ? link.found_ports[0] : 0;
}

std::string port_identity(const SerialPortEntry& port) {
    return port.by_id.empty() ? port.path : port.by_id;
}

std::string port_identity(const DeviceLink& link, Platform& platform, int port) {
    if (!link.ports) return port >= 1 ? platform.port_name(port) : std::string();
    if (port < 1 || port > static_cast<int>(link.ports->size())) return {};
    return port_identity((*link.ports)[static_cast<std::size_t>(port - 1)]);
}

bool discard_waiting_input(DeviceLink& link) {
    if (!link.is_open() || link.line->available() == 0) return false;
    link.line->purge_input();
    return true;
}

bool send_command(DeviceLink& link, std::uint8_t code, std::uint8_t value) {
    return write_frame(link, request_frame(code, value));
}

bool send_block(DeviceLink& link, std::uint8_t code, const std::uint8_t* data, std::size_t n) {
    return write_frame(link, block_frame(code, {data, n}));
}

bool send_numbered_block(DeviceLink& link, std::uint8_t code, std::uint8_t value,
                         const std::uint8_t* data, std::size_t n) {
    return write_frame(link, numbered_block_frame(code, value, {data, n}));
}

bool receive_reply(DeviceLink& link, std::size_t n) {
    std::fill_n(link.frame.begin(), kClearedOnReceive, std::uint8_t{0});
    return collect_reply(link, n);
}

bool receive_streamed_reply(DeviceLink& link, std::size_t n) {
    return collect_reply(link, n);
}

std::uint8_t receive_status(DeviceLink& link) {
    if (!receive_reply(link, 1)) link.frame[0] = kStatusNoReply;
    return link.frame[0];
}

std::uint32_t block_sum(const std::uint8_t* data, std::size_t n) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < n; ++i)
        sum += data[i];
    return sum;
}

}  // namespace veloquin
