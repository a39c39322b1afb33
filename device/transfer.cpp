#include "device/transfer.h"

#include <algorithm>
#include <array>
#include <string>
#include <utility>

#include "calibration/conversions.h"

namespace veloquin {

namespace {

// REV_DIV index ("1/2", "1", "2", "3", "4", "6", "8", "16", "32", "64", "60-2")
// to the divider the device expects. "64" goes out as 64, the same as "32",
// which is what devices in the field have always been sent; a 64 coming back
// therefore reads as "32" (the first match).
constexpr std::array<int, 11> kRevDivDevice = {1, 2, 4, 6, 8, 12, 16, 32, 64, 64, 116};
// BOOST_HZ index to the solenoid frequency in Hz the device runs at.
constexpr std::array<int, 11> kBoostHzDevice = {20, 24, 31, 40, 1, 1, 1, 1, 1, 1, 0};

constexpr int kFuelOffset = 100;
constexpr int kFuelScale = 128;
constexpr int kAccScale = 128;

// Only a damaged file can bring an index past the tables; it is held at their ends.
template <std::size_t N>
int table_entry(const std::array<int, N>& table, int index) {
    return table[static_cast<std::size_t>(std::clamp(index, 0, static_cast<int>(N) - 1))];
}

struct BlockInfo {
    std::uint8_t upload_code;
    std::uint32_t wait_after_upload_ms;
    std::uint32_t wait_after_download_ms;
};

BlockInfo info(Block b) {
    switch (b) {
        case Block::header:
            return {cmd::upload_header, 300, 100};
        case Block::e_map:
            return {cmd::upload_e_map, 500, 100};
        case Block::f_map:
            return {cmd::upload_f_map, 500, 0};
        case Block::meth_map:
            return {cmd::upload_meth_map, 500, 0};
        case Block::boost_map:
            return {cmd::upload_boost_map, 500, 0};
        case Block::sensors:
            return {cmd::upload_sensors, 500, 100};
    }
    return {0, 0, 0};
}

void put_word(std::vector<std::uint8_t>& bytes, std::size_t word, int value) {
    bytes[2 * word] = static_cast<std::uint8_t>(value & 0xFF);
    bytes[2 * word + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

std::int16_t get_word(std::span<const std::uint8_t> bytes, std::size_t word) {
    return static_cast<std::int16_t>(
        static_cast<std::uint16_t>(bytes[2 * word] | (bytes[2 * word + 1] << 8)));
}

std::vector<std::uint8_t> raw_bytes(std::span<const std::int16_t> words) {
    std::vector<std::uint8_t> bytes(words.size() * 2);
    for (std::size_t i = 0; i < words.size(); ++i)
        put_word(bytes, i, words[i]);
    return bytes;
}

void encode_header_wire_values(const Calibration& cal, std::vector<std::uint8_t>& bytes) {
    put_word(bytes, hw::REV_DIV, table_entry(kRevDivDevice, cal.param(hw::REV_DIV)));
    put_word(bytes, hw::BOOST_HZ_device, table_entry(kBoostHzDevice, cal.param(hw::BOOST_HZ)));
    put_word(bytes, hw::ACC_MAX, low16(cal.param(hw::ACC_MAX) * kAccScale));
}

void take_header(Calibration& cal, std::span<const std::uint8_t> payload, Edition edition) {
    for (std::size_t w = 0; w < cal.header.size(); ++w)
        cal.header[w] = get_word(payload, w);
    recompute_derived_values(cal, edition);
    cal.param(hw::ACC_MAX) = low16(cal.param(hw::ACC_MAX) / kAccScale);
    const int device_div = cal.param(hw::REV_DIV);
    const auto match = std::find(kRevDivDevice.begin(), kRevDivDevice.end(), device_div);
    if (match != kRevDivDevice.end()) {
        cal.param(hw::REV_DIV) = low16(match - kRevDivDevice.begin());
    }
    complete_header_after_download(cal);
}

std::string progress_text(const char* verb, Block b) {
    return std::string("(") + verb + " " + std::string(block_name(b)) + "...)";
}

constexpr std::uint32_t kWaitBeforeUploadMs = 100;

void send_upload_frame(DeviceLink& link, Calibration& cal, Edition edition, Block b) {
    // The derived words stay recomputed, so the header or sensors block may
    // count as changed once more and go out again at the next upload.
    if (b == Block::header) recompute_derived_values(cal, edition);
    const std::vector<std::uint8_t> data = encode_block(cal, b);
    if (send_block(link, info(b).upload_code, data.data(), data.size())) {
        BlockSums& sums = cal.block_sums(b);
        sums.synced = sums.current;
    }
}

void upload_block(DeviceLink& link, Calibration& cal, Platform& platform, Edition edition,
                  Block b) {
    platform.set_lower_status(progress_text("uploading", b));
    platform.sleep_ms(kWaitBeforeUploadMs);
    send_upload_frame(link, cal, edition, b);
    platform.sleep_ms(info(b).wait_after_upload_ms);
    platform.set_lower_status("");
}

// Takes the next block still to go, shows it and starts the pause before it.
void announce_next_block(DeviceLink& link, Platform& platform) {
    UploadSteps& u = link.upload;
    u.block = -1;
    for (std::size_t k = 0; k < kBlockOrder.size(); ++k) {
        if ((u.pending & (1U << k)) == 0) continue;
        u.pending &= ~(1U << k);
        u.block = static_cast<int>(k);
        u.sent = false;
        u.due_ms = platform.now_ms() + kWaitBeforeUploadMs;
        platform.set_lower_status(progress_text("uploading", kBlockOrder[k]));
        return;
    }
}

}  // namespace

std::uint8_t upload_code(Block b) {
    return info(b).upload_code;
}

std::uint8_t download_code(Block b) {
    return static_cast<std::uint8_t>(info(b).upload_code + cmd::download_offset);
}

std::vector<std::uint8_t> encode_block(const Calibration& cal, Block b) {
    std::vector<std::uint8_t> bytes = raw_bytes(block_words(cal, b));
    if (b == Block::header) encode_header_wire_values(cal, bytes);
    if (b == Block::f_map) {
        const Map& fuel = cal.map(MapId::fuel_correction);
        for (std::size_t i = 0; i < fuel.size(); ++i) {
            put_word(bytes, i, low16((fuel[i] + kFuelOffset) * kFuelScale));
        }
    }
    return bytes;
}

bool is_unprogrammed(std::span<const std::uint8_t> payload) {
    return std::all_of(payload.begin(), payload.end(), [](std::uint8_t b) { return b == 0xFF; });
}

bool apply_downloaded_block(Calibration& cal, Block b, std::span<const std::uint8_t> payload,
                            Edition edition) {
    if (payload.size() != static_cast<std::size_t>(block_bytes(b))) return false;
    if (b == Block::header) {
        take_header(cal, payload, edition);
        return true;
    }
    std::span<std::int16_t> words = block_words(cal, b);
    for (std::size_t w = 0; w < words.size(); ++w) {
        const std::int16_t v = get_word(payload, w);
        // The f-map word is (value + 100) x 128, which passes 32767 from a
        // correction of 156 up: read signed, every value up to the editor's
        // 200 came back negative.
        words[w] =
            b == Block::f_map ? low16(static_cast<std::uint16_t>(v) / kFuelScale - kFuelOffset) : v;
    }
    return true;
}

void update_sums(Calibration& cal) {
    for (const Block b : kBlockOrder) {
        const std::vector<std::uint8_t> bytes = raw_bytes(block_words(cal, b));
        cal.block_sums(b).current = block_sum(bytes.data(), bytes.size());
    }
}

void upload_changed_blocks(DeviceLink& link, Calibration& cal, Platform& platform,
                           Edition edition) {
    update_sums(cal);
    for (const Block b : kBlockOrder) {
        const BlockSums& sums = cal.block_sums(b);
        if (sums.current != sums.synced) upload_block(link, cal, platform, edition, b);
    }
}

void begin_upload(DeviceLink& link, Calibration& cal, Platform& platform) {
    update_sums(cal);
    link.upload = {};
    for (std::size_t k = 0; k < kBlockOrder.size(); ++k) {
        const BlockSums& sums = cal.block_sums(kBlockOrder[k]);
        if (sums.current != sums.synced) link.upload.pending |= 1U << k;
    }
    announce_next_block(link, platform);
}

bool continue_upload(DeviceLink& link, Calibration& cal, Platform& platform, Edition edition) {
    UploadSteps& u = link.upload;
    if (!u.active()) return false;
    // The clock wraps like a 32-bit tick counter: the difference decides.
    if (static_cast<std::int32_t>(platform.now_ms() - u.due_ms) < 0) return true;
    const Block b = kBlockOrder[static_cast<std::size_t>(u.block)];
    if (!u.sent) {
        send_upload_frame(link, cal, edition, b);
        u.sent = true;
        u.due_ms = platform.now_ms() + info(b).wait_after_upload_ms;
        return true;
    }
    platform.set_lower_status("");
    announce_next_block(link, platform);
    return u.active();
}

void download_block(DeviceLink& link, Calibration& cal, Platform& platform, Edition edition,
                    Block b) {
    platform.set_lower_status(progress_text("downloading", b));
    link.connected = false;
    const auto size = static_cast<std::size_t>(block_bytes(b));
    // Bytes already waiting before the request answer nothing asked: the
    // block fails rather than take them for the device's calibration.
    const bool stale = discard_waiting_input(link);
    if (!stale && send_command(link, download_code(b), 0) && receive_reply(link, size)) {
        const std::span<const std::uint8_t> payload(link.frame.data(), size);
        if (!is_unprogrammed(payload)) apply_downloaded_block(cal, b, payload, edition);
        link.connected = true;
    }
    if (info(b).wait_after_download_ms > 0) platform.sleep_ms(info(b).wait_after_download_ms);
    platform.set_lower_status("");
}

BlockSet unsent_blocks(Calibration& cal) {
    update_sums(cal);
    BlockSet unsent{};
    for (std::size_t i = 0; i < unsent.size(); ++i)
        unsent[i] = cal.sums[i].current != cal.sums[i].synced;
    return unsent;
}

void download_all_blocks(DeviceLink& link, Calibration& cal, Platform& platform, Edition edition,
                         const BlockSet& keep) {
    if (!link.connected) return;
    // The blocks go into a copy in the transfer order, so each is converted
    // against the same neighbours as it would be in place (the header's
    // derived words use the curves held when it arrives).
    Calibration incoming = cal;
    for (const Block b : kBlockOrder) {
        download_block(link, incoming, platform, edition, b);
        if (!link.connected) {
            platform.set_lower_status("Download failed: " + std::string(block_name(b)));
            return;
        }
    }
    for (const Block b : kBlockOrder) {
        if (keep[static_cast<std::size_t>(b)]) continue;
        const std::span<const std::int16_t> from = block_words(std::as_const(incoming), b);
        std::copy(from.begin(), from.end(), block_words(cal, b).begin());
    }
    update_sums(cal);
    platform.refill_pages();
    for (const Block b : kBlockOrder) {
        BlockSums& sums = cal.block_sums(b);
        if (!keep[static_cast<std::size_t>(b)]) sums.synced = sums.current;
    }
}

}  // namespace veloquin
