#include "calibration/calibration.h"

#include "calibration/conversions.h"

namespace veloquin {

std::span<std::int16_t> block_words(Calibration& cal, Block b) {
    switch (b) {
        case Block::header:
            return cal.header;
        case Block::e_map:
            return cal.map(MapId::map_2_maf);
        case Block::f_map:
            return cal.map(MapId::fuel_correction);
        case Block::meth_map:
            return cal.map(MapId::meth_correction);
        case Block::boost_map:
            return cal.map(MapId::boost_duty);
        case Block::sensors:
            return cal.curves;
    }
    return {};
}

std::span<const std::int16_t> block_words(const Calibration& cal, Block b) {
    return block_words(const_cast<Calibration&>(cal), b);  // NOLINT: same storage, read only
}

int block_bytes(Block b) {
    switch (b) {
        case Block::header:
            return kHeaderWords * 2;
        case Block::sensors:
            return kCurveWords * 2;
        default:
            return kMapCells * 2;
    }
}

std::string_view block_name(Block b) {
    switch (b) {
        case Block::header:
            return "header";
        case Block::e_map:
            return "e-map";
        case Block::f_map:
            return "f-map";
        case Block::meth_map:
            return "meth-map";
        case Block::boost_map:
            return "boost-map";
        case Block::sensors:
            return "sensors";
    }
    return {};
}

void set_start_values(Calibration& cal) {
    cal.param(hw::MAP_00V) = low16(volts_to_counts(1.25F));
    cal.param(hw::MAP_05V) = low16(volts_to_counts(0.7F));
    cal.param(hw::MAP_LO) = low16(volts_to_counts(0.5F));
    cal.param(hw::MAP_HI) = low16(volts_to_counts(3.3F));
    cal.param(hw::THROTTLE_LO) = low16(volts_to_counts(0.5F));
    cal.param(hw::THROTTLE_HI) = low16(volts_to_counts(4.5F));
    cal.param(hw::MAF_LO) = low16(volts_to_counts(0.2F));
    cal.param(hw::MAF_HI) = low16(volts_to_counts(5.0F));
    cal.param(hw::MAP_UNITS) = 1;
}

void mark_all_unsynced(Calibration& cal) {
    for (auto& s : cal.sums)
        s.synced = kNeverSynced;
}

}  // namespace veloquin
