#include "learn/learn_maps.h"

#include <algorithm>
#include <cmath>
#include <limits>

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
    // The live box writes only the four box fields; a cursor made afresh per
    // sample (with its clipboard) cost more than the rest of a histogram.
    thread_local EditorCursor cursor;
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

std::string unlearnable(const Calibration& cal, const LogBuffer& log, LearnMap map,
                        bool own_targets) {
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
    if (map == LearnMap::fuel && !own_targets && cal.param(hw::O2FB_Target) <= 0) {
        return "O2FB_Target is not set: there is no AFR to aim for.";
    }
    return {};
}

void summarise(const Calibration& cal, LearnResult& result, int min_samples) {
    const Map& current = cal.map(result.proposal.map);
    for (std::size_t k = 0; k < result.proposal.cells.size(); ++k) {
        CellLearning& cell = result.proposal.cells[k];
        if (cell.hits == 0) continue;
        if (cell.state == ProposalCell::refused) {
            ++result.summary.refused_cells;
            continue;
        }
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
        if (!within_map_axes(cal, live, Page::maf_emulation)) {
            ++result.summary.outside;
            continue;
        }
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

// What the samples reaching one fuel cell said.
struct FuelCell {
    Moments lean;  // percent leaner than the cell's target, for the spread
    double afr_sum = 0.0;
    double bar_sum = 0.0;
};

void learn_fuel(const Calibration& cal, const LogBuffer& log,
                const std::vector<SampleFilter>& verdicts, const TargetAfrTable& targets,
                LearnResult& result) {
    std::vector<FuelCell> cells(kMapCells);
    const auto samples = log.valid();
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const LogSample& s = samples[i];
        // A dead probe reads 0 or nothing sensible: it says nothing about the mixture.
        if (verdicts[i] != SampleFilter::kept || !(s.afr > 0.0F) || !std::isfinite(s.afr)) continue;
        const LiveRecord live = replay_record(s, cal);
        if (!within_map_axes(cal, live, Page::fuel_correction)) {
            ++result.summary.outside;
            continue;
        }
        const Box box = live_box_of(cal, live, Page::fuel_correction);
        const bool reached = for_each_cell(box, [&](int r, int c, std::size_t k) {
            FuelCell& cell = cells[k];
            cell.lean.add((static_cast<double>(s.afr) / targets.at(r, c) - 1.0) * 100.0);
            cell.afr_sum += static_cast<double>(s.afr);
            cell.bar_sum += static_cast<double>(s.boost);
            ++result.proposal.cells[k].hits;
        });
        if (reached) ++result.summary.used;
    }
    const Map& current = cal.map(MapId::fuel_correction);
    const bool by_throttle = cal.param(hw::FLM_LOAD) == 0;
    for (int r = 0; r < kMapRows; ++r) {
        for (int c = 0; c < kMapCols; ++c) {
            const auto k = static_cast<std::size_t>(r * kMapCols + c);
            CellLearning& cell = result.proposal.cells[k];
            if (cell.hits == 0) continue;
            const double mean_afr = cells[k].afr_sum / cell.hits;
            const long wanted =
                std::lround((100.0 + current[k]) * mean_afr / targets.at(r, c) - 100.0);
            cell.value = static_cast<std::int16_t>(
                std::clamp<long>(wanted, kFuelCorrectionMin, kFuelCorrectionMax));
            cell.spread = static_cast<float>(cells[k].lean.deviation(cell.hits));
            // Over throttle the row says nothing of the pressure: the samples
            // do, taken like their AFR, as a mean.
            const double bar =
                by_throttle ? cells[k].bar_sum / cell.hits : row_pressure(cal, r) - 1.0;
            // A hundredth of slack: the expected AFR is rounded to whole points.
            if (expected_afr(mean_afr, current[k], cell.value) >
                afr_protect_limit(cal, bar) + 0.01) {
                cell.state = ProposalCell::refused;
            }
        }
    }
}

}  // namespace

MapId learnt_map(LearnMap map) {
    return map == LearnMap::maf ? MapId::map_2_maf : MapId::fuel_correction;
}

double expected_afr(double mean_afr, int current, int proposed) {
    // No fuel at all is as lean as a mixture gets.
    if (proposed <= -100) return std::numeric_limits<double>::infinity();
    return mean_afr * (100.0 + current) / (100.0 + proposed);
}

LearnResult learn_from_log(const Calibration& cal, const LogBuffer& log, LearnMap map,
                           const LearnFilters& filters, const TargetAfrTable* targets) {
    LearnResult result;
    result.proposal.map = learnt_map(map);
    result.error = unlearnable(cal, log, map, targets != nullptr);
    if (!result.error.empty()) return result;
    const auto verdicts = classify_samples(log, filters, map == LearnMap::fuel);
    result.summary.samples = log.count;
    result.summary.verdicts = count_verdicts(verdicts);
    if (map == LearnMap::maf) {
        learn_airflow(cal, log, verdicts, result);
    } else {
        learn_fuel(cal, log, verdicts, targets != nullptr ? *targets : default_target_afr(cal),
                   result);
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
    const auto between = [](int v, int a, int b) {
        return v >= std::min(a, b) && v <= std::max(a, b);
    };
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (verdicts[i] != SampleFilter::kept) continue;
        const LiveRecord live = replay_record(samples[i], cal);
        // A sample beyond a map's axes is counted in none of its cells.
        const bool on_maf = within_map_axes(cal, live, Page::maf_emulation);
        const Box maf = live_box_of(cal, live, Page::maf_emulation);
        if (on_maf) count_in(MapId::map_2_maf, maf);
        if (within_map_axes(cal, live, Page::fuel_correction))
            count_in(MapId::fuel_correction, live_box_of(cal, live, Page::fuel_correction));
        const bool in_columns = live.rpm() >= kLowestMapRpm && live.rpm() <= kHighestMapRpm;
        if (maf.c1 < maf.c0 || !in_columns) continue;  // no pressure axis: no columns either
        if (between(live.map_counts(), meth_lo, meth_hi)) {
            count_in(MapId::meth_correction,
                     twelve_row_box(maf, live.map_counts(), meth_lo, meth_hi));
        }
        if (between(live.throttle_counts(), throttle_lo, throttle_hi)) {
            count_in(MapId::boost_duty,
                     twelve_row_box(maf, live.throttle_counts(), throttle_lo, throttle_hi));
        }
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
