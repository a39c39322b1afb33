#pragma once
// The calibration as the device keeps it: six raw blocks, exactly the bytes of
// the last upload, and a plausible calibration to start from.

#include <array>
#include <cstdint>
#include <vector>

#include "calibration/calibration.h"
#include "calibration/factory_calibration.h"

namespace veloquin::devsim {

using RawBlock = std::vector<std::uint8_t>;

struct DeviceStore {
    std::array<RawBlock, kBlockCount> blocks;

    RawBlock& block(Block b) { return blocks[static_cast<std::size_t>(b)]; }
    const RawBlock& block(Block b) const { return blocks[static_cast<std::size_t>(b)]; }

    // A word of a block, as a signed 16-bit value.
    int word(Block b, int index) const;
    int header_word(int index) const { return word(Block::header, index); }
    int map_cell(Block b, int row, int col) const { return word(b, row * kMapCols + col); }
    int curve_word(int index) const { return word(Block::sensors, index); }
    // The fuel correction in percent, undoing the device's (v + 100) x 128 form.
    int fuel_correction(int row, int col) const;
    // Whether every byte of every block is 0xFF, as in a unit never programmed.
    bool blank() const;
};

// The device's word for a REV_DIV index, and back (the first index whose value matches).
int rev_div_device_value(int index);
int rev_div_index(int device_value);
// The solenoid frequency in Hz for a BOOST_HZ index.
int boost_hz_device_value(int index);

// The factory calibration (whose sensors the engine model simulates) with the
// extra parts the simulated car has switched on, all derived words filled.
Calibration plausible_calibration();

// The six blocks as the device holds them after an upload of this calibration.
DeviceStore encode_for_device(const Calibration& cal);
// Every byte 0xFF: an unprogrammed unit.
DeviceStore blank_store();

}  // namespace veloquin::devsim
