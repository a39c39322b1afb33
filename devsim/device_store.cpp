#include "devsim/device_store.h"

#include <algorithm>

#include "calibration/conversions.h"
#include "calibration/factory_calibration.h"

namespace veloquin::devsim {
namespace {

constexpr std::array<int, 11> kRevDivValues = {1, 2, 4, 6, 8, 12, 16, 32, 64, 64, 116};
constexpr std::array<int, 11> kBoostHzValues = {20, 24, 31, 40, 1, 1, 1, 1, 1, 1, 0};

void put_word(RawBlock& out, std::size_t index, int value) {
    out[2 * index] = static_cast<std::uint8_t>(value & 0xFF);
    out[2 * index + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

RawBlock words_to_bytes(std::span<const std::int16_t> words) {
    RawBlock out(words.size() * 2);
    for (std::size_t i = 0; i < words.size(); ++i)
        put_word(out, i, words[i]);
    return out;
}

}  // namespace

int DeviceStore::word(Block b, int index) const {
    const RawBlock& raw = block(b);
    const auto i = static_cast<std::size_t>(index) * 2;
    if (index < 0 || i + 1 >= raw.size()) return 0;
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(raw[i] | (raw[i + 1] << 8)));
}

int DeviceStore::fuel_correction(int row, int col) const {
    return static_cast<std::uint16_t>(map_cell(Block::f_map, row, col)) / 128 - 100;
}

bool DeviceStore::blank() const {
    return std::all_of(blocks.begin(), blocks.end(), [](const RawBlock& b) {
        return std::all_of(b.begin(), b.end(), [](std::uint8_t x) { return x == 0xFF; });
    });
}

int rev_div_device_value(int index) {
    return kRevDivValues[static_cast<std::size_t>(std::clamp(index, 0, 10))];
}

int rev_div_index(int device_value) {
    const auto it = std::find(kRevDivValues.begin(), kRevDivValues.end(), device_value);
    return it == kRevDivValues.end() ? device_value : static_cast<int>(it - kRevDivValues.begin());
}

int boost_hz_device_value(int index) {
    return kBoostHzValues[static_cast<std::size_t>(std::clamp(index, 0, 10))];
}

Calibration plausible_calibration() {
    Calibration cal = factory_calibration();
    // The simulated car has the kit the factory calibration leaves off: a
    // water/methanol pump on output A, correcting fuel by the METH-CORRECTION
    // map, an auxiliary fuel pump always on at B, and a wide-band sensor.
    cal.param(hw::METH_MODE) = 1;
    cal.param(sw::record_start(0) + sw::MODE) = 2;
    cal.param(sw::record_start(0) + sw::MAP2) = 250;
    cal.param(sw::record_start(1) + sw::MODE) = 1;
    cal.param(hw::O2FB) = 1;
    for (int r = 0; r < 12; ++r) {
        for (int c = 0; c < kMapCols; ++c)
            cal.cell(MapId::meth_correction, r, c) = low16(2 * r);
    }
    recompute_derived_values(cal, Edition::full);
    cal.param(hw::BOOST_HZ_device) = low16(boost_hz_device_value(cal.param(hw::BOOST_HZ)));
    return cal;
}

DeviceStore encode_for_device(const Calibration& cal) {
    DeviceStore store;
    for (Block b : kBlockOrder)
        store.block(b) = words_to_bytes(block_words(cal, b));
    RawBlock& header = store.block(Block::header);
    put_word(header, hw::REV_DIV, rev_div_device_value(cal.param(hw::REV_DIV)));
    put_word(header, hw::BOOST_HZ_device, boost_hz_device_value(cal.param(hw::BOOST_HZ)));
    put_word(header, hw::ACC_MAX, cal.param(hw::ACC_MAX) << 7);
    RawBlock& fmap = store.block(Block::f_map);
    for (std::size_t i = 0; i < kMapCells; ++i) {
        put_word(fmap, i,
                 (cal.maps[static_cast<std::size_t>(MapId::fuel_correction)][i] + 100) * 128);
    }
    return store;
}

DeviceStore blank_store() {
    DeviceStore store;
    for (Block b : kBlockOrder) {
        store.block(b).assign(static_cast<std::size_t>(block_bytes(b)), 0xFF);
    }
    return store;
}

}  // namespace veloquin::devsim
