#include "app/typed_entry.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "calibration/conversions.h"
#include "learn/target_afr.h"

namespace veloquin {
namespace {

bool digit(char c) {
    return c >= '0' && c <= '9';
}

bool blank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

// The digits from `i`; the count taken.
std::size_t digits_at(std::string_view s, std::size_t& i) {
    const std::size_t start = i;
    while (i < s.size() && digit(s[i]))
        ++i;
    return i - start;
}

// The units the pages show beside their fields; typed after a number they
// say what the field already means.
bool unit_word(std::string_view rest) {
    if (rest.empty()) return true;
    std::string lower;
    for (const char c : rest)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const std::string_view unit : {"rpm", "v", "%", "bar", "hz", "ms", "km/h", "kmh"}) {
        if (lower == unit) return true;
    }
    return false;
}

// A map cell's range in what the tuner types, and its stored word.
struct CellRange {
    double lo, hi;
    int decimals;  // of the range as written
    const char* unit;
};

std::optional<CellRange> cell_range(Page page) {
    switch (page) {
        case Page::maf_emulation:
            return CellRange{0.0, 5.0, 2, " V"};
        case Page::fuel_correction:
        case Page::nos_methanol:
            return CellRange{-75, 200, 0, ""};
        case Page::boost_control:
            return CellRange{0, 100, 0, ""};
        default:
            return std::nullopt;
    }
}

std::string shown(double v, int decimals, const char* unit) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f%s", decimals, v, unit);
    return text;
}

}  // namespace

std::optional<double> parse_typed_number(std::string_view text) {
    const std::string_view s = trimmed(text);
    std::string number;
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t digits = digits_at(s, i);
    number.assign(s.substr(0, i));
    if (i < s.size() && (s[i] == '.' || s[i] == ',')) {
        number += '.';
        const std::size_t start = ++i;
        digits += digits_at(s, i);
        number.append(s.substr(start, i - start));
    }
    if (digits == 0) return std::nullopt;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        const std::size_t start = i++;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        if (digits_at(s, i) == 0) return std::nullopt;
        number.append(s.substr(start, i - start));
    }
    if (!unit_word(trimmed(s.substr(i)))) return std::nullopt;
    const double v = std::strtod(number.c_str(), nullptr);
    if (!std::isfinite(v)) return std::nullopt;
    return v;
}

std::string not_a_number_text(std::string_view what, std::string_view typed,
                              std::string_view kept) {
    return std::string(what) + ": \"" + std::string(trimmed(typed)) + "\" is not a number; " +
           std::string(kept);
}

std::string held_text(std::string_view what, std::string_view typed, std::string_view stored,
                      std::string_view range) {
    return std::string(what) + ": " + std::string(trimmed(typed)) + " was held at " +
           std::string(stored) + " (" + std::string(range) + ")";
}

CellEntry cell_entry(Page page, std::string_view typed) {
    const auto range = cell_range(page);
    if (!range) return {};
    const auto number = parse_typed_number(typed);
    if (!number)
        return {std::nullopt, not_a_number_text("Cell", typed, "the cell keeps its value")};
    const double held = std::clamp(*number, range->lo, range->hi);
    CellEntry entry;
    entry.value =
        page == Page::maf_emulation ? volts_to_counts(held) : static_cast<int>(std::lround(held));
    if (held != *number) {
        entry.note = held_text("Cell", typed, shown(held, range->decimals, range->unit),
                               "Range: " + shown(range->lo, range->decimals, "") + " to " +
                                   shown(range->hi, range->decimals, range->unit));
    }
    return entry;
}

CellEntry target_afr_entry(std::string_view typed) {
    const auto number = parse_typed_number(typed);
    if (!number)
        return {std::nullopt,
                not_a_number_text("Target AFR", typed, "the cells keep their values")};
    const double tenths = *number < kTargetAfrMin ? *number * 10.0 : *number;
    const double held = std::clamp(tenths, double{kTargetAfrMin}, double{kTargetAfrMax});
    CellEntry entry;
    entry.value = static_cast<int>(std::lround(held));
    if (held != tenths) {
        entry.note = held_text("Target AFR", typed, "AFR " + shown(held / 10.0, 1, ""),
                               "Range: AFR " + shown(kTargetAfrMin / 10.0, 1, "") + " to " +
                                   shown(kTargetAfrMax / 10.0, 1, ""));
    }
    return entry;
}

}  // namespace veloquin
