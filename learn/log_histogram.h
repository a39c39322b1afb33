#pragma once
// A channel of a log gathered onto the cells of a map: per cell the mean,
// count, minimum, maximum or spread of what the samples reaching it read,
// by the cell rule of the hit counts (the live box of each sample). Cells no
// sample reached stay empty, never 0. What it makes of a map when applied
// (set, add, change by percent) is a proposal, reviewed as learning is.

#include <array>
#include <string>
#include <vector>

#include "editors/map_proposal.h"
#include "learn/log_analysis.h"

namespace veloquin {

enum class HistogramStat { mean, count, min, max, spread };
std::string_view histogram_stat_name(HistogramStat stat);  // "mean", "count", ...
std::optional<HistogramStat> find_histogram_stat(std::string_view name);

struct HistogramRequest {
    MapId map = MapId::fuel_correction;
    AnalysisChannel channel{nullptr};
    HistogramStat stat = HistogramStat::mean;
    LearnFilters filters;  // min_samples: cells reached by fewer are too few
    std::vector<LogCondition> conditions;
};

struct Histogram {
    bool ok = false;
    std::string error;
    MapId map = MapId::fuel_correction;
    HistogramStat stat = HistogramStat::mean;
    int min_samples = 1;
    std::array<double, kMapCells> value{};  // meaningful where hits > 0
    HitCounts hits{};
    int samples = 0;
    AnalysisCounts left_out;
    int outside = 0;  // taken, but reaching no cell of the map
    int too_few_cells = 0;

    bool reached(int row, int col) const { return hits_at(hits, row, col) > 0; }
    bool too_few(int row, int col) const {
        const int n = hits_at(hits, row, col);
        return n > 0 && n < min_samples;
    }
    double at(int row, int col) const {
        return value[static_cast<std::size_t>(row * kMapCols + col)];
    }
};

const char* map_table_name(MapId map);  // "MAP-2-MAF", "FUEL-CORRECTION", ...
// The rows a map has: 24, or 12 for the methanol and boost duty maps.
int map_rows(MapId map);

Histogram log_histogram(const Calibration& cal, const LogBuffer& log, const HistogramRequest& r,
                        const AfrTarget& target);

// A cell as text with the precision its value needs; empty where no sample counted.
std::string histogram_cell_text(const Histogram& h, int row, int col);
// The grid as a spreadsheet takes it: highest row first as the editor shows
// it, empty cells empty, `separator` between the values (tab, or comma).
std::string histogram_grid_text(const Histogram& h, char separator, bool too_few_empty);

enum class ApplyMode { set, add, percent };
std::string_view apply_mode_name(ApplyMode mode);

// Whether a histogram of `channel` by `stat` may change `map` by `mode`;
// empty when it may, else why not in the tuner's words.
std::string apply_refusal(MapId map, const AnalysisChannel& channel, HistogramStat stat,
                          ApplyMode mode);

// The words the map would hold: every reached cell with enough samples, held
// inside the map's range. The histogram must be one `apply_refusal` allows.
MapProposal histogram_proposal(const Calibration& cal, const Histogram& h, ApplyMode mode);

}  // namespace veloquin
