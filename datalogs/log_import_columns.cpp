#include "datalogs/log_import_columns.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>

namespace veloquin {

namespace {

using C = LogChannel;

// Upper case letters and digits only, so "Engine Speed", "engine_speed" and
// "ENGINE-SPEED" are one name.
std::string folded_name(std::string_view name) {
    std::string out;
    for (const char c : name) {
        if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
            out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    return out;
}

// Lower case without blanks, dots and degree signs: "°F" and "deg F" are
// both "f" after the "deg" prefix goes, "km/h" stays "km/h".
std::string folded_unit(std::string_view unit) {
    std::string out;
    for (const char c : unit) {
        const auto u = static_cast<unsigned char>(c);
        if (c == ' ' || c == '.' || u == 0xC2 || u == 0xB0 || u == 0xBA) continue;
        out += static_cast<char>(std::tolower(u));
    }
    if (out.size() > 3 && out.starts_with("deg")) out.erase(0, 3);
    return out;
}

struct NameAlias {
    std::string_view folded;
    C channel;
};

// Names other tools give the quantities this log holds.
constexpr std::array<NameAlias, 43> kAliases = {{
    {"ENGINESPEED", C::rpm},
    {"ENGINERPM", C::rpm},
    {"ENGSPEED", C::rpm},
    {"MAP", C::boost},
    {"BOOSTPRESSURE", C::boost},
    {"MANIFOLDPRESSURE", C::boost},
    {"MANIFOLDABSOLUTEPRESSURE", C::boost},
    {"INTAKEMANIFOLDPRESSURE", C::boost},
    {"TPS", C::throttle},
    {"THROTTLEPOSITION", C::throttle},
    {"THROTTLEPOS", C::throttle},
    {"THROTTLEANGLE", C::throttle},
    {"TP", C::throttle},
    {"AIRFUELRATIO", C::afr},
    {"LAMBDA", C::afr},
    {"WIDEBAND", C::afr},
    {"WIDEBANDAFR", C::afr},
    {"WBO2", C::afr},
    {"IAT", C::temperature},
    {"INTAKETEMPERATURE", C::temperature},
    {"INTAKEAIRTEMPERATURE", C::temperature},
    {"INTAKETEMP", C::temperature},
    {"AIRTEMP", C::temperature},
    {"AIRTEMPERATURE", C::temperature},
    {"MAT", C::temperature},
    {"TEMPERATURE", C::temperature},
    {"MAFVOLTS", C::maf_in},
    {"MAFVOLTAGE", C::maf_in},
    {"MAFV", C::maf_in},
    {"MAF", C::maf_in},
    {"MAFSENSORVOLTAGE", C::maf_in},
    {"VEHICLESPEED", C::speed},
    {"VSS", C::speed},
    {"GROUNDSPEED", C::speed},
    {"IGNITION", C::ecu_ignition},
    {"IGNITIONTIMING", C::ecu_ignition},
    {"TIMING", C::ecu_ignition},
    {"SPARKADVANCE", C::ecu_ignition},
    {"INJECTORDUTY", C::inj_duty},
    {"INJECTORDUTYCYCLE", C::inj_duty},
    {"WASTEGATEDUTY", C::wg_duty},
    {"WGDC", C::wg_duty},
    {"KNOCKVOLTS", C::knock},
}};

constexpr std::array<std::string_view, 7> kTimeNames = {
    "TIME", "TIMES", "TIMESTAMP", "SECONDS", "ELAPSED", "ELAPSEDTIME", "TIMEMS"};
constexpr std::array<std::string_view, 3> kMarkerNames = {"MARKER", "MARKERS", "MARK"};

bool one_of(std::string_view folded, std::span<const std::string_view> names) {
    return std::find(names.begin(), names.end(), folded) != names.end();
}

ColumnTarget target_of_name(std::string_view name) {
    const std::string folded = folded_name(name);
    if (one_of(folded, kTimeNames)) return {ColumnRole::time, nullptr};
    if (one_of(folded, kMarkerNames)) return {ColumnRole::marker, nullptr};
    const LogChannelInfo* channel = find_log_channel(name);
    if (channel == nullptr) {
        for (const NameAlias& a : kAliases) {
            if (a.folded == folded) channel = &log_channel_info(a.channel);
        }
    }
    // A computed channel is worked out again from the stored ones.
    if (channel == nullptr || channel->computed != ComputedChannel::none) return {};
    return {ColumnRole::channel, channel};
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '"'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '"'))
        s.remove_suffix(1);
    return s;
}

struct UnitRow {
    C channel;
    std::string_view unit;  // folded
    double scale;
    double offset;
    bool absolute;  // a pressure against vacuum, whatever the column's name
};

constexpr double kBarPerPsi = 1.0 / 14.503773773;
constexpr double kFahrenheitScale = 5.0 / 9.0;

constexpr std::array<UnitRow, 27> kUnits = {{
    {C::boost, "bar", 1.0, 0.0, false},
    {C::boost, "barg", 1.0, 0.0, false},
    {C::boost, "bara", 1.0, 0.0, true},
    {C::boost, "psi", kBarPerPsi, 0.0, false},
    {C::boost, "psig", kBarPerPsi, 0.0, false},
    {C::boost, "psia", kBarPerPsi, 0.0, true},
    {C::boost, "kpa", 0.01, 0.0, false},
    {C::boost, "kpag", 0.01, 0.0, false},
    {C::boost, "kpaa", 0.01, 0.0, true},
    {C::boost, "mbar", 0.001, 0.0, false},
    {C::boost, "hpa", 0.001, 0.0, false},
    {C::afr, "afr", 1.0, 0.0, false},
    {C::afr, "a/f", 1.0, 0.0, false},
    {C::afr, "lambda", kStoichiometricAfr, 0.0, false},
    {C::afr, "\xce\xbb", kStoichiometricAfr, 0.0, false},  // λ
    {C::temperature, "c", 1.0, 0.0, false},
    {C::temperature, "celsius", 1.0, 0.0, false},
    {C::temperature, "f", kFahrenheitScale, -32.0 * kFahrenheitScale, false},
    {C::temperature, "fahrenheit", kFahrenheitScale, -32.0 * kFahrenheitScale, false},
    {C::temperature, "k", 1.0, -273.15, false},
    {C::speed, "kmh", 1.0, 0.0, false},
    {C::speed, "kph", 1.0, 0.0, false},
    {C::speed, "mph", 1.609344, 0.0, false},
    {C::speed, "m/s", 3.6, 0.0, false},
    {C::ecu_ignition, "deg", 1.0, 0.0, false},
    {C::ecu_ignition, "btdc", 1.0, 0.0, false},
    {C::maf_in, "volts", 1.0, 0.0, false},
}};

// Absolute where the name or the unit says so ("MAP (kPa)", "kPa abs").
bool says_absolute(const TableColumn& column, std::string& unit) {
    bool absolute = false;
    for (std::string_view word : {"absolute", "abs"}) {
        if (const auto at = unit.find(word); at != std::string::npos) {
            unit.erase(at, word.size());
            absolute = true;
        }
    }
    const std::string name = folded_name(column.name);
    return absolute || name == "MAP" || name.find("ABSOLUTE") != std::string::npos;
}

UnitConversion time_conversion(const TableColumn& column, const std::string& unit) {
    if (unit == "ms" || (unit.empty() && folded_name(column.name) == "TIMEMS")) return {1.0};
    if (unit.empty() || unit == "s" || unit == "sec" || unit == "seconds") return {1000.0};
    return {1000.0, 0.0, false};
}

}  // namespace

TableColumn parse_column_title(std::string_view title) {
    TableColumn column;
    const std::string_view t = trimmed(title);
    column.title = std::string(t);
    std::string_view name = t;
    const char close = t.empty() ? '\0' : t.back();
    if (close == ')' || close == ']') {
        const auto open = t.rfind(close == ')' ? '(' : '[');
        if (open != std::string_view::npos && open > 0) {
            column.unit = std::string(trimmed(t.substr(open + 1, t.size() - open - 2)));
            name = trimmed(t.substr(0, open));
        }
    }
    column.name = std::string(name);
    column.target = target_of_name(column.name);
    column.matched =
        column.target.role != ColumnRole::ignored || find_log_channel(column.name) != nullptr;
    return column;
}

UnitConversion unit_conversion(const TableColumn& column) {
    std::string unit = folded_unit(column.unit);
    if (column.target.role == ColumnRole::time) return time_conversion(column, unit);
    if (column.target.role != ColumnRole::channel) return {};
    const LogChannelInfo& channel = *column.target.channel;
    bool absolute = channel.channel == C::boost && says_absolute(column, unit);
    UnitConversion c;
    if (unit.empty() && folded_name(column.name) == "LAMBDA") unit = "lambda";
    if (!unit.empty() && unit != folded_unit(channel.unit)) {
        const auto* row = std::find_if(kUnits.begin(), kUnits.end(), [&](const UnitRow& r) {
            return r.channel == channel.channel && r.unit == unit;
        });
        if (row == kUnits.end()) return {1.0, 0.0, false};
        c = {row->scale, row->offset, true, row->scale == kStoichiometricAfr};
        absolute = absolute || row->absolute;
    }
    if (absolute) c.offset -= kAtmosphereBar;
    return c;
}

bool is_known_unit(std::string_view unit) {
    const std::string u = folded_unit(unit);
    if (u == "s" || u == "ms" || u == "sec") return true;
    const auto channels = log_channel_table();
    return std::any_of(kUnits.begin(), kUnits.end(),
                       [&u](const UnitRow& r) { return r.unit == u; }) ||
           std::any_of(channels.begin(), channels.end(), [&u](const LogChannelInfo& c) {
               return !c.unit.empty() && folded_unit(c.unit) == u;
           });
}

}  // namespace veloquin
