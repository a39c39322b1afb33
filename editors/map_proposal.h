#pragma once
// A map learnt from a recorded log, as the editors show it before anything
// changes: per cell the value proposed, how many samples reached the cell and
// how far they disagreed; and the samples per cell of any map (hit counts),
// which show where the engine was during the log.

#include <array>
#include <cstdint>

#include "calibration/calibration.h"

namespace veloquin {

enum class ProposalCell : std::uint8_t {
    no_samples,  // no sample reached the cell
    too_few,     // fewer samples than the review asks for: left alone
    proposed,    // a value to apply (it may equal the current one)
    applied,     // taken into the calibration by "Apply selection"
    refused,     // leaner than the AFR protect curve allows: shown, never applied
};

struct CellLearning {
    std::int16_t value = 0;  // the word proposed; meaningful when proposed or applied
    std::int32_t hits = 0;   // samples that reached the cell
    // Standard deviation of what those samples said, in percent: of the mean
    // airflow on the MAF emulation map, percentage points of fuel correction.
    float spread = 0.0F;
    ProposalCell state = ProposalCell::no_samples;
};

struct MapProposal {
    MapId map = MapId::map_2_maf;
    std::array<CellLearning, kMapCells> cells{};

    CellLearning& at(int row, int col) {
        return cells[static_cast<std::size_t>(row * kMapCols + col)];
    }
    const CellLearning& at(int row, int col) const {
        return cells[static_cast<std::size_t>(row * kMapCols + col)];
    }
};

using HitCounts = std::array<std::int32_t, kMapCells>;
using MapHitCounts = std::array<HitCounts, kMapCount>;

inline std::int32_t hits_at(const HitCounts& hits, int row, int col) {
    return hits[static_cast<std::size_t>(row * kMapCols + col)];
}

}  // namespace veloquin
