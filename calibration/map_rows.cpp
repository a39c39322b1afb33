#include "calibration/map_rows.h"

#include "calibration/conversions.h"

namespace veloquin {
namespace {

enum class RowAxis { none, pressure, throttle };

struct RowScale {
    RowAxis axis = RowAxis::none;
    int lo = 0;    // counts of row 0 (pressure), percent of row 0 (throttle)
    int span = 0;  // to the last row
    int last = 23;
};

RowScale row_scale(const Calibration& cal, MapId map) {
    const int map_lo = cal.param(hw::MAP_LO);
    const int map_span = cal.param(hw::MAP_HI) - map_lo;
    switch (map) {
        case MapId::map_2_maf:
            return {RowAxis::pressure, map_lo, map_span, 23};
        case MapId::fuel_correction:
            if (cal.param(hw::FLM_LOAD) == 0) return {RowAxis::throttle, 0, 100, 23};
            if (cal.param(hw::FLM_LOAD) == 1) return {RowAxis::pressure, map_lo, map_span, 23};
            return {};
        case MapId::meth_correction: {
            // The methanol rows run between the derived counts of its two pressure limits.
            const int lo = cal.param(hw::METH_BAR_LO_counts);
            return {RowAxis::pressure, lo, cal.param(hw::METH_BAR_HI_counts) - lo, 11};
        }
        case MapId::boost_duty:
            return {RowAxis::throttle, 0, 100, 11};
    }
    return {};
}

// The product first, truncated toward zero, as the editor's integer arithmetic does.
int row_value(const RowScale& s, int row) {
    return s.lo + static_cast<int>(static_cast<long long>(s.span) * row / s.last);
}

}  // namespace

std::string map_row_text(const Calibration& cal, MapId map, int row) {
    const RowScale s = row_scale(cal, map);
    switch (s.axis) {
        case RowAxis::pressure:
            return format_map(cal, row_value(s, row));
        case RowAxis::throttle:
            return std::to_string(row_value(s, row));
        case RowAxis::none:
            break;
    }
    return {};
}

std::string map_row_unit(const Calibration& cal, MapId map) {
    switch (row_scale(cal, map).axis) {
        case RowAxis::pressure:
            switch (cal.param(hw::MAP_UNITS)) {
                case 1:
                    return "bar";
                case 2:
                    return "psi";
                default:
                    return "V";
            }
        case RowAxis::throttle:
            return "% throttle";
        case RowAxis::none:
            break;
    }
    return {};
}

std::string map_row_label(const Calibration& cal, MapId map, int row) {
    const std::string text = map_row_text(cal, map, row);
    return text.empty() ? text : text + " " + map_row_unit(cal, map);
}

void derive_row_axes(Calibration& cal) {
    const auto counts = [&cal](int bar100_word) {
        return low16(bar100_to_counts(cal, cal.param(bar100_word)));
    };
    cal.param(hw::MAP_LO) = counts(hw::MAP_BAR_LO);
    cal.param(hw::MAP_HI) = counts(hw::MAP_BAR_HI);
    cal.param(hw::METH_BAR_LO_counts) = counts(hw::METH_BAR_LO);
    cal.param(hw::METH_BAR_HI_counts) = counts(hw::METH_BAR_HI);
}

}  // namespace veloquin
