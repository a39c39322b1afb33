#include "learn/log_histogram.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "calibration/conversions.h"
#include "learn/learn_maps.h"
#include "learn/replay_record.h"

namespace veloquin {
namespace {

constexpr std::array<std::string_view, 5> kStatNames = {"mean", "count", "min", "max", "spread"};

struct CellMoments {
    double sum = 0.0;
    double squares = 0.0;
    double lo = std::numeric_limits<double>::infinity();
    double hi = -std::numeric_limits<double>::infinity();
    void add(double v) {
        sum += v;
        squares += v * v;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    double of(HistogramStat stat, int n) const {
        switch (stat) {
            case HistogramStat::mean:
                return sum / n;
            case HistogramStat::count:
                return n;
            case HistogramStat::min:
                return lo;
            case HistogramStat::max:
                return hi;
            case HistogramStat::spread: {
                const double mean = sum / n;
                return std::sqrt(std::max(squares / n - mean * mean, 0.0));
            }
        }
        return 0.0;
    }
};

// Which channels may change which map, and how: a map takes values in its
// own unit (volts of MAF output, points of correction, percent of duty), and
// an AFR error as a change of fuel.
struct ApplyRule {
    MapId map;
    ApplyMode mode;
    std::string_view channel;
};
constexpr std::array<ApplyRule, 10> kApplyRules = {{
    {MapId::map_2_maf, ApplyMode::set, "MAFOut"},
    {MapId::map_2_maf, ApplyMode::add, "MAFOut"},
    {MapId::map_2_maf, ApplyMode::percent, kAfrErrorName},
    {MapId::fuel_correction, ApplyMode::set, "FuelCorr"},
    {MapId::fuel_correction, ApplyMode::add, "FuelCorr"},
    {MapId::fuel_correction, ApplyMode::add, kAfrErrorName},
    {MapId::meth_correction, ApplyMode::add, kAfrErrorName},
    {MapId::boost_duty, ApplyMode::set, "WGDuty"},
    {MapId::boost_duty, ApplyMode::add, "WGDuty"},
    {MapId::boost_duty, ApplyMode::percent, "WGDuty"},
}};

std::string_view mode_phrase(ApplyMode mode) {
    switch (mode) {
        case ApplyMode::set:
            return "set";
        case ApplyMode::add:
            return "added to";
        case ApplyMode::percent:
            return "change by percent";
    }
    return {};
}

std::pair<int, int> map_range(MapId map) {
    switch (map) {
        case MapId::map_2_maf:
            return {0, volts_to_counts(5.0)};
        case MapId::boost_duty:
            return {0, 100};
        default:
            return {kFuelCorrectionMin, kFuelCorrectionMax};
    }
}

int proposed_word(const Calibration& cal, MapId map, int word, double v, ApplyMode mode) {
    long out = word;
    if (map == MapId::map_2_maf) {
        if (mode == ApplyMode::set) out = volts_to_counts(v);
        if (mode == ApplyMode::add)
            out = volts_to_counts(static_cast<double>(counts_to_volts(word)) + v);
        if (mode == ApplyMode::percent) {
            const double airflow = maf_counts_to_airflow(cal, word) * (1.0 + v / 100.0);
            out = maf_airflow_to_counts(cal, static_cast<int>(std::lround(std::max(airflow, 0.0))));
        }
    } else if (mode == ApplyMode::set) {
        out = std::lround(v);
    } else if (mode == ApplyMode::add) {
        out = word + std::lround(v);
    } else {
        out = std::lround(word * (1.0 + v / 100.0));
    }
    const auto [lo, hi] = map_range(map);
    return static_cast<int>(std::clamp<long>(out, lo, hi));
}

// "%.3f" without the zeros that say nothing.
std::string plain_number(double v, int decimals) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    std::string s = text;
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0')
            s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    return s == "-0" ? "0" : s;
}

}  // namespace

std::string_view histogram_stat_name(HistogramStat stat) {
    return kStatNames[static_cast<std::size_t>(stat)];
}

std::optional<HistogramStat> find_histogram_stat(std::string_view name) {
    for (std::size_t i = 0; i < kStatNames.size(); ++i) {
        if (kStatNames[i] == name) return static_cast<HistogramStat>(i);
    }
    return std::nullopt;
}

const char* map_table_name(MapId map) {
    constexpr std::array<const char*, kMapCount> kNames = {"MAP-2-MAF", "FUEL-CORRECTION",
                                                           "METH-CORRECTION", "BOOST-DUTY"};
    return kNames[static_cast<std::size_t>(map)];
}

int map_rows(MapId map) {
    return map == MapId::meth_correction || map == MapId::boost_duty ? 12 : kMapRows;
}

Histogram log_histogram(const Calibration& cal, const LogBuffer& log, const HistogramRequest& r,
                        const AfrTarget& target) {
    Histogram h;
    h.map = r.map;
    h.stat = r.stat;
    h.min_samples = std::max(r.filters.min_samples, 1);
    h.samples = log.count;
    if (log.mazda_log) {
        h.error = "A Mazda data log carries neither the MAF sensor voltage nor the AFR.";
        return h;
    }
    const std::vector<std::uint8_t> keep =
        analysis_keep(log, r.filters, r.channel.afr_based(), r.conditions, target, h.left_out);
    std::array<CellMoments, kMapCells> moments{};
    const auto samples = log.valid();
    for (std::size_t i = 0; i < keep.size(); ++i) {
        if (keep[i] == 0) continue;
        const auto v = channel_value(r.channel, samples[i], target);
        if (!v) {
            ++h.left_out.no_value;
            continue;
        }
        const CellBox b = reached_cells(cal, replay_record(samples[i], cal), r.map);
        if (b.r1 < b.r0 || b.c1 < b.c0) {
            ++h.outside;
            continue;
        }
        for (int row = b.r0; row <= b.r1; ++row) {
            for (int col = b.c0; col <= b.c1; ++col) {
                const auto k = static_cast<std::size_t>(row * kMapCols + col);
                moments[k].add(*v);
                ++h.hits[k];
            }
        }
    }
    for (std::size_t k = 0; k < moments.size(); ++k) {
        if (h.hits[k] == 0) continue;
        h.value[k] = moments[k].of(r.stat, h.hits[k]);
        if (h.hits[k] < h.min_samples) ++h.too_few_cells;
    }
    h.ok = true;
    return h;
}

std::string histogram_cell_text(const Histogram& h, int row, int col) {
    if (!h.reached(row, col)) return {};
    return plain_number(h.at(row, col), h.stat == HistogramStat::count ? 0 : 3);
}

std::string histogram_grid_text(const Histogram& h, char separator, bool too_few_empty) {
    std::string out;
    for (int row = map_rows(h.map) - 1; row >= 0; --row) {
        for (int col = 0; col < kMapCols; ++col) {
            if (col > 0) out += separator;
            if (!(too_few_empty && h.too_few(row, col))) out += histogram_cell_text(h, row, col);
        }
        out += '\n';
    }
    return out;
}

std::string_view apply_mode_name(ApplyMode mode) {
    switch (mode) {
        case ApplyMode::set:
            return "set";
        case ApplyMode::add:
            return "add";
        case ApplyMode::percent:
            return "change by percent";
    }
    return {};
}

std::string apply_refusal(MapId map, const AnalysisChannel& channel, HistogramStat stat,
                          ApplyMode mode) {
    if (stat == HistogramStat::count || stat == HistogramStat::spread) {
        return "A " + std::string(histogram_stat_name(stat)) +
               " is no value for a cell: apply the mean, minimum or maximum.";
    }
    std::string takes;
    for (const ApplyRule& rule : kApplyRules) {
        if (rule.map != map) continue;
        if (rule.mode == mode && rule.channel == channel.name()) return {};
        if (!takes.empty()) takes += ", ";
        takes += std::string(rule.channel) + " (" + std::string(apply_mode_name(rule.mode)) + ")";
    }
    return std::string(channel.name()) + " in " + std::string(channel.unit()) + " cannot be " +
           std::string(mode_phrase(mode)) + " " + map_table_name(map) +
           ": the units do not match. It takes " + takes + ".";
}

MapProposal histogram_proposal(const Calibration& cal, const Histogram& h, ApplyMode mode) {
    MapProposal p;
    p.map = h.map;
    for (int row = 0; row < map_rows(h.map); ++row) {
        for (int col = 0; col < kMapCols; ++col) {
            CellLearning& cell = p.at(row, col);
            cell.hits = hits_at(h.hits, row, col);
            const int word = cal.cell(h.map, row, col);
            if (cell.hits == 0) continue;
            cell.value = static_cast<std::int16_t>(word);
            if (h.too_few(row, col)) {
                cell.state = ProposalCell::too_few;
                continue;
            }
            cell.value =
                static_cast<std::int16_t>(proposed_word(cal, h.map, word, h.at(row, col), mode));
            cell.state = ProposalCell::proposed;
        }
    }
    return p;
}

}  // namespace veloquin
