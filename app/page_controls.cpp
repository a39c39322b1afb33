#include "app/page_controls.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "app/typed_entry.h"
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

// The typed value of a touched control, held inside the control's limits;
// `held` says when it had to be.
struct TypedValue {
    std::optional<long> value;  // none: the text is no number
    bool held = false;
};

TypedValue read_value(const ControlInfo& c, const ControlValue& v, const Calibration& cal) {
    if (c.format == ValueFormat::flag) return {v.checked ? 1 : 0};
    if (c.format == ValueFormat::index) return {v.index};
    const auto typed = parse_typed_number(v.text);
    if (!typed) return {};
    const WordLimits limits = control_limits(c, cal);
    double word = *typed;
    // Volts past the sensor's 0 to 5 V and percent past the throttle's ends
    // are held before they become counts.
    bool held = false;
    switch (c.format) {
        case ValueFormat::hundredths:
            word = *typed * 100;
            break;
        case ValueFormat::volts:
            word = volts_to_counts(*typed);
            held = *typed < 0.0 || *typed > 5.0;
            break;
        case ValueFormat::throttle_percent: {
            const double percent = std::clamp(*typed, static_cast<double>(c.range.lo),
                                              static_cast<double>(c.range.hi));
            word = throttle_percent_counts(cal, percent);
            held = percent != *typed;
            break;
        }
        default:
            break;
    }
    const double within =
        std::clamp(word, static_cast<double>(limits.lo), static_cast<double>(limits.hi));
    return {nearest(within), held || within != word};
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

// What the lower line says of a typed value that did not go in as typed.
std::string entry_note(const ControlInfo& c, const std::string& text, const TypedValue& v,
                       const Calibration& cal) {
    if (c.kind != ControlKind::edit) return {};
    const std::string what = c.label.empty() ? c.key : c.label;
    if (!v.value) return not_a_number_text(what, text, "the field keeps its value");
    if (!v.held) return {};
    const ControlValue now = fill_value(c, cal);
    return held_text(what, text, now.text, range_text(c, cal));
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

std::string read_back_page(PageControls& controls, Calibration& cal, Page page, int skip) {
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
    std::vector<TypedValue> read(table.size());
    for (int pass = 0; pass < 2; ++pass) {
        for (const std::size_t i : typed) {
            read[i] = read_value(table[i], controls.values[i], cal);
            if (read[i].value) cal.param(table[i].word) = low16(*read[i].value);
        }
    }
    std::string notes;
    for (const std::size_t i : typed) {
        const std::string note = entry_note(table[i], controls.values[i].text, read[i], cal);
        if (!note.empty()) notes += (notes.empty() ? "" : "; ") + note;
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
    return notes;
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

}  // namespace veloquin
