#include "editors/map_operations.h"

#include <algorithm>
#include <array>

#include "calibration/conversions.h"
#include "editors/cursor_keys.h"
#include "editors/page_rules.h"

namespace veloquin {
namespace {

constexpr float kRowPressureStep = 0.00043478262F;  // a hundredth of a bar over 23 rows
constexpr float kOneThird = 0.33333334F;
constexpr int kSmoothedAirflowLimit = 32760;
constexpr int kReplicatedAirflowLimit = 32768;
constexpr float kKnockMargin = 1.1F;
constexpr int kKnockBins = cv::KNOCK_POINTS + 1;  // the curve and its hidden top bin
static_assert(cv::KNOCK + cv::KNOCK_POINTS == cv::KNOCK_EXTRA_POINT);

// A map seen either as plain numbers or, on the MAF emulation page, as airflow.
struct MapDomain {
    const Calibration& cal;
    bool airflow;
    int to_domain(int counts) const {
        return airflow ? maf_counts_to_airflow(cal, counts) : counts;
    }
    int from_domain(int v) const { return airflow ? maf_airflow_to_counts(cal, v) : v; }
};

int between(int a, int b, int k, int k0, int k1) {
    return a + (b - a) * (k - k0) / (k1 - k0);
}

void edge_pass(Calibration& cal, MapId map, const MapDomain& d, int row, int c0, int c1) {
    const int a = d.to_domain(cal.cell(map, row, c0));
    const int b = d.to_domain(cal.cell(map, row, c1));
    for (int c = c0 + 1; c < c1; ++c) {
        cal.cell(map, row, c) = low16(d.from_domain(between(a, b, c, c0, c1)));
    }
}

void fill_pass(Calibration& cal, MapId map, const MapDomain& d, const EditorCursor& s) {
    for (int r = s.first_row + 1; r < s.last_row; ++r) {
        for (int c = s.first_col; c <= s.last_col; ++c) {
            const int a = d.to_domain(cal.cell(map, s.first_row, c));
            const int b = d.to_domain(cal.cell(map, s.last_row, c));
            cal.cell(map, r, c) = low16(d.from_domain(between(a, b, r, s.first_row, s.last_row)));
        }
    }
}

void interpolate_map(Calibration& cal, const PageRules& rules, const EditorCursor& s) {
    const MapDomain d{cal, rules.interpolation == Interpolation::airflow_2d};
    if (rules.interpolation != Interpolation::rows_only) {
        edge_pass(cal, rules.map, d, s.first_row, s.first_col, s.last_col);
        edge_pass(cal, rules.map, d, s.last_row, s.first_col, s.last_col);
    }
    fill_pass(cal, rules.map, d, s);
}

void interpolate_curve(Calibration& cal, const PageRules& rules, const EditorState& state) {
    const CurveRef curve = page_curve(rules.page, state.active_temp_curve);
    const int p0 = std::max(state.cursor.first_point, 0);
    const int p1 = std::min(state.cursor.last_point, curve.points - 1);
    auto value = [&](int k) {
        const std::int16_t w = cal.curve_word(curve.offset + k);
        return rules.unsigned_values ? static_cast<int>(static_cast<std::uint16_t>(w)) : w;
    };
    if (p1 - p0 >= 2) {
        const int v0 = value(p0);
        const int d = value(p1) - v0;
        for (int k = p0 + 1; k < p1; ++k) {
            cal.curve_word(curve.offset + k) = low16(v0 + (k * d - p0 * d) / (p1 - p0));
        }
    }
    // Even with nothing between the end points the reverse table is rebuilt:
    // after a download it is the device's copy, and it must follow the curve.
    if (rules.maf_curve) rebuild_maf_reverse_table(cal);
}

using Grid = std::array<std::array<int, kMapCols>, kMapRows>;

// Each pair of opposite neighbours counts only when both are filled.
void smooth_cell(Grid& w, int r, int c) {
    static constexpr int kPairs[4][4] = {
        {0, -1, 0, 1}, {-1, 0, 1, 0}, {-1, -1, 1, 1}, {1, -1, -1, 1}};
    int sum = 0;
    int n = 0;
    for (const auto& p : kPairs) {
        const int a = w[static_cast<std::size_t>(r + p[0])][static_cast<std::size_t>(c + p[1])];
        const int b = w[static_cast<std::size_t>(r + p[2])][static_cast<std::size_t>(c + p[3])];
        if (a == 0 || b == 0) continue;
        sum += a + b;
        n += 2;
    }
    if (n == 0) return;
    const int m = (sum + n / 2) / n;
    int& cell = w[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
    cell = std::min((m + cell + 1) / 2, kSmoothedAirflowLimit);
}

}  // namespace

double row_pressure(const Calibration& cal, int row) {
    const int lo = cal.param(hw::MAP_BAR_LO);
    const int hi = cal.param(hw::MAP_BAR_HI);
    return 1.0 + static_cast<double>(static_cast<float>(lo) * kHundredth) +
           static_cast<double>(static_cast<float>((hi - lo) * row) * kRowPressureStep);
}

bool interpolate_selection(EditorState& state, Calibration& cal, Page page) {
    const PageRules& rules = page_rules(page);
    limit_rows_for_page(state.cursor, page);
    update_selection(state.cursor, cal);
    if (rules.kind == TableKind::map) {
        interpolate_map(cal, rules, state.cursor);
    } else if (rules.kind == TableKind::curve) {
        interpolate_curve(cal, rules, state);
    }
    return rules.kind != TableKind::none;
}

void smooth_map(Calibration& cal) {
    Grid w{};
    for (int r = 0; r < kMapRows; ++r) {
        for (int c = 0; c < kMapCols; ++c) {
            const int v = cal.cell(MapId::map_2_maf, r, c);
            w[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)] =
                v == 0 ? 0 : maf_counts_to_airflow(cal, v);
        }
    }
    // In place and in order: a cell sees its lower and left neighbours already smoothed.
    for (int r = 1; r < kMapRows - 1; ++r) {
        for (int c = 1; c < kMapCols - 1; ++c) {
            if (w[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)] != 0)
                smooth_cell(w, r, c);
        }
    }
    for (int r = 0; r < kMapRows; ++r) {
        for (int c = 0; c < kMapCols; ++c) {
            const int v = w[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
            if (v != 0) cal.cell(MapId::map_2_maf, r, c) = low16(maf_airflow_to_counts(cal, v));
        }
    }
}

void extrapolate_boost_up(Calibration& cal) {
    for (int c = 0; c < kMapCols; ++c) {
        int base = 0;
        for (int r = kMapRows - 1; r >= 1; --r) {
            if (cal.cell(MapId::map_2_maf, r, c) != 0) {
                base = r;
                break;
            }
        }
        // Row 0 is never a base, and a column filled to the top has nothing above it.
        if (base == 0 || base == kMapRows - 1) continue;
        const float a =
            static_cast<float>(maf_counts_to_airflow(cal, cal.cell(MapId::map_2_maf, base, c)));
        const float pb = static_cast<float>(row_pressure(cal, base));
        // An absolute pressure at or below zero (an absurd MAP_BAR_LO) scales nothing.
        if (!(pb > 0.0F)) continue;
        for (int r = base + 1; r < kMapRows; ++r) {
            float f =
                static_cast<float>(static_cast<double>(a) *
                                   (2.0 * row_pressure(cal, r) / static_cast<double>(pb) + 1.0) *
                                   static_cast<double>(kOneThird));
            if (f > static_cast<float>(kSmoothedAirflowLimit))
                f = static_cast<float>(kSmoothedAirflowLimit);
            const int airflow = f > 0.0F ? static_cast<int>(f) : 0;
            cal.cell(MapId::map_2_maf, r, c) = low16(maf_airflow_to_counts(cal, airflow));
        }
    }
}

void replicate_fuel_correction(Calibration& cal) {
    for (int r = 0; r < kMapRows; ++r) {
        for (int c = 0; c < kMapCols; ++c) {
            std::int16_t& cell = cal.cell(MapId::map_2_maf, r, c);
            std::int16_t& correction = cal.cell(MapId::fuel_correction, r, c);
            // A correction of 0 must leave the cell exactly as it is: the trip
            // through airflow and back is not exact for every word.
            if (correction == 0) continue;
            int a = maf_counts_to_airflow(cal, cell) * (100 + correction) / 100;
            a = std::min(a, kReplicatedAirflowLimit);
            cell = low16(maf_airflow_to_counts(cal, a));
            correction = 0;
        }
    }
}

std::string knock_log_refusal(const LogBuffer& log) {
    // Its zeros would read as a knock threshold of 0 V at every speed it reached.
    if (log.mazda_log) return "the log has no knock data (a Mazda log); nothing was set";
    return {};
}

int knock_from_log(Calibration& cal, const LogBuffer& log) {
    if (!knock_log_refusal(log).empty()) return 0;
    const int count = std::clamp(log.count, 0, static_cast<int>(log.samples.size()));
    std::array<int, kKnockBins> highest{};
    highest.fill(-1);
    for (int i = 0; i < count; ++i) {
        const LogSample& s = log.samples[static_cast<std::size_t>(i)];
        if (s.rpm < 0) continue;
        const int bin = s.rpm / 500;
        if (bin >= kKnockBins) continue;
        int& h = highest[static_cast<std::size_t>(bin)];
        h = std::max(h, volts_to_counts(s.knock * kKnockMargin));
    }
    int set = 0;
    for (int k = 0; k < kKnockBins; ++k) {
        const int h = highest[static_cast<std::size_t>(k)];
        if (h < 0) continue;
        cal.curve_word(cv::KNOCK + k) = low16(h);
        ++set;
    }
    return set;
}

}  // namespace veloquin
