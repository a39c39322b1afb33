#include "app/page_controls.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "calibration/config_keys.h"
#include "calibration/conversions.h"
#include "datalogs/log_words.h"

namespace veloquin {
namespace {

// Stored values above this are read as unsigned words (rpm, Hz).
constexpr int kWordMax = 32767;

std::string format_hundredths(int decimals, double value) {
    char text[64];
    // The page shows the value through a single-precision hundredth, as the
    // device's own tools did, so 114 reads 1.14 and never 1.1400000001.
    const float shown = static_cast<float>(value) * kHundredth;
    std::snprintf(text, sizeof text, "%.*f", decimals, static_cast<double>(shown));
    return text;
}

// The nearest integer, halves away from zero on both sides: the shown percent
// of a threshold below the throttle's closed end is as near as one above it.
int nearest(double x) {
    return truncate_to_int(std::round(x));
}

std::string throttle_percent_text(const Calibration& cal, int counts) {
    const int lo = cal.param(hw::THROTTLE_LO);
    const int hi = cal.param(hw::THROTTLE_HI);
    if (hi == lo) return "0";
    return std::to_string(nearest((counts - lo) * 100.0 / (hi - lo)));
}

int throttle_percent_counts(const Calibration& cal, double percent) {
    const int lo = cal.param(hw::THROTTLE_LO);
    const int hi = cal.param(hw::THROTTLE_HI);
    return nearest(percent * (hi - lo) * 0.01 + lo);
}

std::int16_t low16(long v) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<unsigned long>(v)));
}

// Engine speeds and frequencies run past 32767 and are shown unsigned.
bool unsigned_word(const ControlInfo& c) {
    return c.range.kind == RangeKind::fixed && c.range.hi > kWordMax;
}

int stored_value(const ControlInfo& c, const Calibration& cal) {
    const int v = cal.param(c.word);
    return unsigned_word(c) ? static_cast<std::uint16_t>(v) : v;
}

int partner_word(std::string_view key) {
    const ConfigKey* k = key.empty() ? nullptr : find_config_key(key);
    return k != nullptr ? k->word : -1;
}

// What the MAP sensor reports between 0 and 5 V, in hundredths of a bar; a
// sensor whose two points coincide reports nothing, and a wide range stands in.
WordLimits sensor_pressure(const Calibration& cal) {
    const double a = counts_to_bar(cal, 0) * kHundred;
    const double b = counts_to_bar(cal, kFullScaleCounts) * kHundred;
    const auto lo = static_cast<int>(std::ceil(std::min(a, b)));
    const auto hi = static_cast<int>(std::floor(std::max(a, b)));
    if (lo >= hi) return {-100, 500};
    return {lo, hi};
}

WordLimits own_limits(const ControlInfo& c, const Calibration& cal) {
    switch (c.range.kind) {
        case RangeKind::fixed:
            return {c.range.lo, c.range.hi};
        case RangeKind::pressure:
            return sensor_pressure(cal);
        case RangeKind::counts:
            return {0, kFullScaleCounts};
        case RangeKind::throttle: {
            const int lo = cal.param(hw::THROTTLE_LO);
            const int hi = cal.param(hw::THROTTLE_HI);
            return {std::min(lo, hi), std::max(lo, hi)};
        }
    }
    return {c.range.lo, c.range.hi};
}

std::string shown_limit(const ControlInfo& c, int v) {
    switch (c.format) {
        case ValueFormat::hundredths:
            return format_hundredths(c.decimals, v);
        case ValueFormat::volts:
            return format_volts(v);
        default:
            return std::to_string(v);
    }
}

ControlValue fill_value(const ControlInfo& c, const Calibration& cal) {
    const int v = stored_value(c, cal);
    ControlValue out;
    switch (c.format) {
        case ValueFormat::flag:
            out.checked = v > 0;
            break;
        case ValueFormat::index:
            out.index = v >= 0 && v < static_cast<int>(c.entries.size()) ? v : -1;
            break;
        case ValueFormat::integer:
            out.text = std::to_string(v);
            break;
        case ValueFormat::hundredths:
            out.text = format_hundredths(c.decimals, v);
            break;
        case ValueFormat::volts:
            out.text = format_volts(v);
            break;
        case ValueFormat::throttle_percent:
            out.text = throttle_percent_text(cal, v);
            break;
    }
    out.filled_text = out.text;
    out.filled_checked = out.checked;
    out.filled_index = out.index;
    if (c.kind == ControlKind::edit) {
        const WordLimits limits = control_limits(c, cal);
        out.out_of_range = v < limits.lo || v > limits.hi;
        out.range_text = range_text(c, cal);
    }
    return out;
}

// The typed value of a touched control, held inside the control's limits.
long read_value(const ControlInfo& c, const ControlValue& v, const Calibration& cal) {
    const WordLimits limits = control_limits(c, cal);
    const auto held = [&](double x) {
        return nearest(
            std::clamp(x, static_cast<double>(limits.lo), static_cast<double>(limits.hi)));
    };
    switch (c.format) {
        case ValueFormat::flag:
            return v.checked ? 1 : 0;
        case ValueFormat::index:
            return v.index;
        case ValueFormat::integer:
            return held(parse_c_number(v.text));
        case ValueFormat::hundredths:
            return held(parse_c_number(v.text) * 100);
        case ValueFormat::volts:
            return held(volts_to_counts(static_cast<float>(parse_c_number(v.text))));
        case ValueFormat::throttle_percent:
            return held(throttle_percent_counts(
                cal, std::clamp(parse_c_number(v.text), static_cast<double>(c.range.lo),
                                static_cast<double>(c.range.hi))));
    }
    return cal.param(c.word);
}

// A list left without a selection (a value it has no entry for) is no choice.
bool takes_typed_value(const ControlInfo& c, const ControlValue& v) {
    return v.touched() && !(c.format == ValueFormat::index && v.index < 0);
}

void write_also(const ControlInfo& c, Calibration& cal) {
    switch (c.also) {
        case AlsoWrites::nothing:
            break;
        case AlsoWrites::map_lo_counts:
            cal.param(hw::MAP_LO) = low16(bar100_to_counts(cal, cal.param(hw::MAP_BAR_LO)));
            break;
        case AlsoWrites::map_hi_counts:
            cal.param(hw::MAP_HI) = low16(bar100_to_counts(cal, cal.param(hw::MAP_BAR_HI)));
            break;
        case AlsoWrites::o2fb_load_counts:
            cal.param(hw::O2FB_MaxLoad_counts) =
                low16(bar100_to_counts(cal, cal.param(hw::O2FB_MaxLoad)));
            break;
        case AlsoWrites::rpm_off:
            cal.param(hw::REV2x_RPMOFF) = cal.param(hw::REV2x_RPMON);
            break;
    }
}

// The pressures' words in counts follow the sensor's calibration points too.
bool sensor_point(const ControlInfo& c) {
    return c.word == hw::MAP_00V || c.word == hw::MAP_05V;
}

bool follows_sensor(const ControlInfo& c) {
    return c.also == AlsoWrites::map_lo_counts || c.also == AlsoWrites::map_hi_counts ||
           c.also == AlsoWrites::o2fb_load_counts;
}

bool digit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

bool has_controls(Page page) {
    return page == Page::parameters || page == Page::nos_methanol || page == Page::ls_switches ||
           page == Page::boost_control;
}

void fill_page(PageControls& controls, const Calibration& cal, Page page) {
    const auto table = control_table();
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (table[i].page == page) controls.values[i] = fill_value(table[i], cal);
    }
}

ControlValue control_value(const ControlInfo& control, const Calibration& cal) {
    return fill_value(control, cal);
}

void read_back_page(PageControls& controls, Calibration& cal, Page page, int skip) {
    const auto table = control_table();
    std::vector<std::size_t> typed;
    bool sensor_typed = false;
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (table[i].page != page || static_cast<int>(i) == skip) continue;
        if (!takes_typed_value(table[i], controls.values[i])) continue;
        typed.push_back(i);
        sensor_typed = sensor_typed || sensor_point(table[i]);
    }
    // Each value first within its own limits, then once more against its
    // partner's new value, so two ends typed together both count.
    for (int pass = 0; pass < 2; ++pass) {
        for (const std::size_t i : typed)
            cal.param(table[i].word) = low16(read_value(table[i], controls.values[i], cal));
    }
    for (std::size_t i = 0; i < table.size(); ++i) {
        const ControlInfo& c = table[i];
        const bool was_typed = std::find(typed.begin(), typed.end(), i) != typed.end();
        if (c.page == page && (was_typed || (sensor_typed && follows_sensor(c)))) {
            write_also(c, cal);
        }
    }
    for (const std::size_t i : typed)
        controls.values[i] = fill_value(table[i], cal);
}

void derive_pressure_counts(Calibration& cal) {
    // Limits that coincide (both 0 before any file or device) are no axis.
    if (cal.param(hw::MAP_BAR_LO) == cal.param(hw::MAP_BAR_HI)) return;
    for (const ControlInfo& c : control_table()) {
        if (follows_sensor(c)) write_also(c, cal);
    }
}

WordLimits control_limits(const ControlInfo& control, const Calibration& cal) {
    WordLimits limits = own_limits(control, cal);
    if (const int w = partner_word(control.range.below); w >= 0) {
        limits.hi = std::min(limits.hi, cal.param(w) - 1);
    }
    if (const int w = partner_word(control.range.above); w >= 0) {
        limits.lo = std::max(limits.lo, cal.param(w) + 1);
    }
    // Partners already crossed: the value's own range is all that is left.
    if (limits.lo > limits.hi) limits = own_limits(control, cal);
    return limits;
}

std::string range_text(const ControlInfo& control, const Calibration& cal) {
    if (control.format == ValueFormat::throttle_percent) {
        return "Range: " + std::to_string(control.range.lo) + " to " +
               std::to_string(control.range.hi) + " %";
    }
    const WordLimits limits = control_limits(control, cal);
    std::string text =
        "Range: " + shown_limit(control, limits.lo) + " to " + shown_limit(control, limits.hi);
    if (control.format == ValueFormat::volts) text += " V";
    return text;
}

int control_index(Page page, std::string_view key) {
    const auto table = control_table();
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (table[i].page == page && table[i].key == key) return static_cast<int>(i);
    }
    return -1;
}

long parse_c_integer(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])) != 0)
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long value = 0;
    // Held at the long range like strtol, so an absurd entry cannot overflow.
    for (; i < text.size() && digit(text[i]); ++i) {
        const int d = text[i] - '0';
        value = value > (LONG_MAX - d) / 10 ? LONG_MAX : value * 10 + d;
    }
    return negative ? -value : value;
}

double parse_c_number(std::string_view text) {
    // Only sign, digits, one point and an exponent are taken: the C library
    // would also read "nan", "inf" and hexadecimal, none of which a tuner means.
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])) != 0)
        ++i;
    std::string number;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) number += text[i++];
    bool digits = false;
    for (; i < text.size() && digit(text[i]); ++i, digits = true)
        number += text[i];
    if (i < text.size() && text[i] == '.') {
        number += text[i++];
        for (; i < text.size() && digit(text[i]); ++i, digits = true)
            number += text[i];
    }
    if (!digits) return 0.0;
    if (i + 1 < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (text[j] == '+' || text[j] == '-') exponent += text[j++];
        if (j < text.size() && digit(text[j])) {
            for (; j < text.size() && digit(text[j]); ++j)
                exponent += text[j];
            number += exponent;
        }
    }
    return std::strtod(number.c_str(), nullptr);
}

}  // namespace veloquin
