#include "learn/learn_maps.h"

#include <algorithm>
#include <cmath>

#include "editors/map_operations.h"
#include "editors/trace_automap.h"
#include "learn/replay_record.h"

namespace veloquin {
namespace {

constexpr int kTwelveRows = 12;

struct Box {
    int r0 = 0, r1 = -1, c0 = 0, c1 = -1;
};

// The cells trace selects for the record on `page`, as live automapping walks them.
Box live_box_of(const Calibration& cal, const LiveRecord& live, Page page) {
    EditorCursor cursor;
    if (!live_box(cursor, cal, live, page)) return {};
    return {cursor.map_anchor_row, cursor.map_cursor_row, cursor.map_anchor_col,
            cursor.map_cursor_col};
}

// The live box rule over a twelve-row axis: half a row either side of the reading.
Box twelve_row_box(const Box& columns, int reading, int lo, int hi) {
    const int d = hi - lo;
    if (d == 0) return {};
    const int first = (reading - lo + (d / 24) / 2) * (kTwelveRows - 1) / d;
    const int last = (reading - lo + ((3 * d) / 24) / 2) * (kTwelveRows - 1) / d;
    return {std::clamp(first, 0, kTwelveRows - 1), std::clamp(last, 0, kTwelveRows - 1), columns.c0,
            columns.c1};
}

template <typename Visit>
bool for_each_cell(const Box& b, Visit visit) {
    bool any = false;
    for (int r = b.r0; r <= b.r1; ++r) {
        for (int c = b.c0; c <= b.c1; ++c) {
            visit(r, c, static_cast<std::size_t>(r * kMapCols + c));
            any = true;
        }
    }
    return any;
}

// Sum and sum of squares of what the samples said about one cell.
struct Moments {
    double sum = 0.0;
    double squares = 0.0;
    void add(double v) {
        sum += v;
        squares += v * v;
    }
    double deviation(int n) const {
        if (n < 2) return 0.0;
        const double mean = sum / n;
        return std::sqrt(std::max(squares / n - mean * mean, 0.0));
    }
};

std::string unlearnable(const Calibration& cal, const LogBuffer& log, LearnMap map) {
    if (log.count <= 0) return "The log holds no samples.";
    if (log.mazda_log) {
        return "A Mazda data log carries neither the MAF sensor voltage nor the AFR: there is "
               "nothing to learn from.";
    }
    const bool by_throttle = map == LearnMap::fuel && cal.param(hw::FLM_LOAD) == 0;
    if (by_throttle && cal.param(hw::THROTTLE_HI) == cal.param(hw::THROTTLE_LO)) {
        return "THROTTLE_LO equals THROTTLE_HI: the fuel correction map has no load axis.";
    }
    if (!by_throttle && cal.param(hw::MAP_HI) == cal.param(hw::MAP_LO)) {
        return "MAP_LO equals MAP_HI: the map has no pressure axis.";
    }
    if (cal.param(hw::MAP_00V) == cal.param(hw::MAP_05V)) {
        return "MAP_00V equals MAP_05V: the MAP sensor is not calibrated.";
    }
    if (map == LearnMap::fuel && cal.param(hw::O2FB_Target) <= 0) {
        return "O2FB_Target is not set: there is no AFR to aim for.";
    }
    return {};
}

void summarise(const Calibration& cal, LearnResult& result, int min_samples) {
    const Map& current = cal.map(result.proposal.map);
    for (std::size_t k = 0; k < result.proposal.cells.size(); ++k) {
        CellLearning& cell = result.proposal.cells[k];
        if (cell.hits == 0) continue;
        if (cell.hits < std::max(min_samples, 1)) {
            cell.state = ProposalCell::too_few;
            cell.value = current[k];
            ++result.summary.too_few_cells;
            continue;
        }
        cell.state = ProposalCell::proposed;
        ++result.summary.proposed_cells;
        if (cell.value != current[k]) ++result.summary.changed_cells;
    }
}

void learn_airflow(const Calibration& cal, const LogBuffer& log,
                   const std::vector<SampleFilter>& verdicts, LearnResult& result) {
    std::array<AutomapCell, kMapCells> means{};
    std::array<Moments, kMapCells> moments{};
    std::array<double, kMapRows> row_bar{};
    for (int r = 0; r < kMapRows; ++r)
        row_bar[static_cast<std::size_t>(r)] = row_pressure(cal, r);
    const Map& current = cal.map(MapId::map_2_maf);
    const auto samples = log.valid();
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (verdicts[i] != SampleFilter::kept) continue;
        const LiveRecord live = replay_record(samples[i], cal);
        const auto point = automap_point(cal, live);
        if (!point) continue;
        const Box box = live_box_of(cal, live, Page::maf_emulation);
        const bool reached = for_each_cell(box, [&](int r, int c, std::size_t k) {
            const int estimate = automap_estimate(*point, row_bar[static_cast<std::size_t>(r)], c);
            automap_take(means[k], cal, current[k], estimate);
            moments[k].add(estimate);
            ++result.proposal.cells[k].hits;
        });
        if (reached) ++result.summary.used;
    }
    for (std::size_t k = 0; k < means.size(); ++k) {
        CellLearning& cell = result.proposal.cells[k];
        if (cell.hits == 0) continue;
        cell.value = automap_mean_counts(means[k], cal);
        const double mean = moments[k].sum / cell.hits;
        cell.spread =
            mean > 0.0 ? static_cast<float>(moments[k].deviation(cell.hits) / mean * 100.0) : 0.0F;
    }
}

void learn_fuel(const Calibration& cal, const LogBuffer& log,
                const std::vector<SampleFilter>& verdicts, LearnResult& result) {
    std::array<Moments, kMapCells> moments{};
    const double target = cal.param(hw::O2FB_Target) / 100.0;
    const auto samples = log.valid();
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const LogSample& s = samples[i];
        // A dead probe reads 0 or nothing sensible: it says nothing about the mixture.
        if (verdicts[i] != SampleFilter::kept || !(s.afr > 0.0F) || !std::isfinite(s.afr)) continue;
        const double lean = (static_cast<double>(s.afr) / target - 1.0) * 100.0;
        const Box box = live_box_of(cal, replay_record(s, cal), Page::fuel_correction);
        const bool reached = for_each_cell(box, [&](int, int, std::size_t k) {
            moments[k].add(lean);
            ++result.proposal.cells[k].hits;
        });
        if (reached) ++result.summary.used;
    }
    const Map& current = cal.map(MapId::fuel_correction);
    for (std::size_t k = 0; k < moments.size(); ++k) {
        CellLearning& cell = result.proposal.cells[k];
        if (cell.hits == 0) continue;
        const long step = std::lround(moments[k].sum / cell.hits);
        cell.value = static_cast<std::int16_t>(
            std::clamp<long>(current[k] + step, kFuelCorrectionMin, kFuelCorrectionMax));
        cell.spread = static_cast<float>(moments[k].deviation(cell.hits));
    }
}

}  // namespace

MapId learnt_map(LearnMap map) {
    return map == LearnMap::maf ? MapId::map_2_maf : MapId::fuel_correction;
}

LearnResult learn_from_log(const Calibration& cal, const LogBuffer& log, LearnMap map,
                           const LearnFilters& filters) {
    LearnResult result;
    result.proposal.map = learnt_map(map);
    result.error = unlearnable(cal, log, map);
    if (!result.error.empty()) return result;
    const auto verdicts = classify_samples(log, filters, map == LearnMap::fuel);
    result.summary.samples = log.count;
    result.summary.verdicts = count_verdicts(verdicts);
    if (map == LearnMap::maf) {
        learn_airflow(cal, log, verdicts, result);
    } else {
        learn_fuel(cal, log, verdicts, result);
    }
    summarise(cal, result, filters.min_samples);
    result.ok = true;
    return result;
}

MapHitCounts hit_counts(const Calibration& cal, const LogBuffer& log, const LearnFilters& filters) {
    MapHitCounts hits{};
    if (log.count <= 0 || log.mazda_log) return hits;
    const auto verdicts = classify_samples(log, filters, false);
    const auto samples = log.valid();
    const auto count_in = [&hits](MapId map, const Box& box) {
        auto& grid = hits[static_cast<std::size_t>(map)];
        for_each_cell(box, [&grid](int, int, std::size_t k) { ++grid[k]; });
    };
    const int meth_lo = cal.param(hw::METH_BAR_LO_counts);
    const int meth_hi = cal.param(hw::METH_BAR_HI_counts);
    const int throttle_lo = cal.param(hw::THROTTLE_LO);
    const int throttle_hi = cal.param(hw::THROTTLE_HI);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (verdicts[i] != SampleFilter::kept) continue;
        const LiveRecord live = replay_record(samples[i], cal);
        const Box maf = live_box_of(cal, live, Page::maf_emulation);
        count_in(MapId::map_2_maf, maf);
        count_in(MapId::fuel_correction, live_box_of(cal, live, Page::fuel_correction));
        if (maf.c1 < maf.c0) continue;  // no pressure axis: no columns either
        count_in(MapId::meth_correction, twelve_row_box(maf, live.map_counts(), meth_lo, meth_hi));
        count_in(MapId::boost_duty,
                 twelve_row_box(maf, live.throttle_counts(), throttle_lo, throttle_hi));
    }
    return hits;
}

CellBox reached_cells(const Calibration& cal, const LiveRecord& live, MapId map) {
    const auto out = [](const Box& b) { return CellBox{b.r0, b.r1, b.c0, b.c1}; };
    if (map == MapId::fuel_correction) return out(live_box_of(cal, live, Page::fuel_correction));
    const Box maf = live_box_of(cal, live, Page::maf_emulation);
    if (map == MapId::map_2_maf || maf.c1 < maf.c0) return out(maf);
    if (map == MapId::meth_correction) {
        return out(twelve_row_box(maf, live.map_counts(), cal.param(hw::METH_BAR_LO_counts),
                                  cal.param(hw::METH_BAR_HI_counts)));
    }
    return out(twelve_row_box(maf, live.throttle_counts(), cal.param(hw::THROTTLE_LO),
                              cal.param(hw::THROTTLE_HI)));
}

int apply_proposal(Calibration& cal, MapProposal& proposal, const EditorCursor* selection) {
    int changed = 0;
    for (int r = 0; r < kMapRows; ++r) {
        for (int c = 0; c < kMapCols; ++c) {
            CellLearning& cell = proposal.at(r, c);
            if (cell.state != ProposalCell::proposed) continue;
            if (selection != nullptr && (r < selection->first_row || r > selection->last_row ||
                                         c < selection->first_col || c > selection->last_col)) {
                continue;
            }
            std::int16_t& word = cal.cell(proposal.map, r, c);
            if (word != cell.value) ++changed;
            word = cell.value;
            cell.state = ProposalCell::applied;
        }
    }
    return changed;
}

int pending_cells(const MapProposal& proposal) {
    return static_cast<int>(
        std::count_if(proposal.cells.begin(), proposal.cells.end(),
                      [](const CellLearning& c) { return c.state == ProposalCell::proposed; }));
}

}  // namespace veloquin
