#pragma once
// The device's 24-byte live report: the answer to a live-data request and
// every record of the stream during a recording. Words are little-endian.

#include <array>
#include <cstdint>

namespace veloquin {

struct LiveRecord {
    static constexpr int kSize = 24;
    std::array<std::uint8_t, kSize> bytes{};

    int word(int offset) const {
        return static_cast<std::int16_t>(
            static_cast<std::uint16_t>(bytes[static_cast<std::size_t>(offset)] |
                                       (bytes[static_cast<std::size_t>(offset) + 1] << 8)));
    }
    // Bit 0 output A on, bit 1 B, bit 2 C, bit 3 D.
    int switched_outputs() const { return bytes[0]; }
    int rpm() const { return word(2); }
    int speed_kmh() const { return word(4); }
    int map_counts() const { return word(6); }
    int maf_in_counts() const { return word(8); }
    int maf_out_counts() const { return word(10); }
    int throttle_counts() const { return word(12); }
    int iat_counts() const { return word(14); }
    int afr_counts() const { return word(16); }
    int injector_duty() const { return bytes[18]; }
    int wastegate_duty() const { return static_cast<std::int8_t>(bytes[19]); }
    int fuel_correction() const { return word(20); }
    int knock_counts() const { return word(22); }

    void set_word(int offset, int value) {
        bytes[static_cast<std::size_t>(offset)] = static_cast<std::uint8_t>(value & 0xFF);
        bytes[static_cast<std::size_t>(offset) + 1] =
            static_cast<std::uint8_t>((value >> 8) & 0xFF);
    }
    void clear() { bytes.fill(0); }
};

}  // namespace veloquin
