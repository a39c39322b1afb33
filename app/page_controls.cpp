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

using Entries = std::span<const std::string_view>;

constexpr std::array<std::string_view, 3> kMapUnits = {"Volts", "BAR", "PSi"};
constexpr std::array<std::string_view, 16> kMapFilter = {
    "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15", "16"};
constexpr std::array<std::string_view, 2> kFuelCorrLoad = {"Throttle", "MAP"};
constexpr std::array<std::string_view, 11> kPulses = {"1/2", "1",  "2",  "3",  "4",   "6",
                                                      "8",   "16", "32", "64", "60-2"};
constexpr std::array<std::string_view, 5> kMethMode = {"Disable", "LS-1", "LS-2", "LS-3", "LS-4"};
constexpr std::array<std::string_view, 5> kOutputMode = {"Always OFF", "Always On", "By Conditions",
                                                         "Knock-Light", "AFR-Light"};
constexpr std::array<std::string_view, 9> kSwitchNames = {"Water/Meth",  "NOS",       "Fuel Pump",
                                                          "Knock-Light", "Rev-Light", "Cooling fan",
                                                          "VANOS",       "AFR-Light", "noname"};
// The third group's list was written with an underscore; the device does not
// care, the tuner sees it as it always was.
constexpr std::array<std::string_view, 9> kSwitchNamesC = {
    "Water/Meth",  "NOS",   "Fuel Pump", "Knock-Light", "Rev-Light",
    "Cooling fan", "VANOS", "AFR_Light", "noname"};
constexpr std::array<std::string_view, 4> kSolenoid = {"20Hz", "24Hz", "31Hz", "40Hz"};

// The range of each field from what its key means. Speeds of the engine and
// the sensor frequency are unsigned words; a vehicle speed above 500 km/h, an
// intake temperature outside -40..150 C or an AFR above 99.99 is a typing
// slip. "Accel max correction" goes to the device times 128 and must stay a
// positive word there.
struct KeyRange {
    std::string_view key;  // a switch key without its "SW_x_" prefix
    ValueRange range;
};
constexpr int kWordMax = 32767;
constexpr int kUnsignedWordMax = 65535;
constexpr ValueRange fixed(int lo, int hi) {
    return {RangeKind::fixed, lo, hi, {}, {}};
}
constexpr ValueRange kPercent = fixed(0, 100);
constexpr ValueRange kRpm = fixed(0, kUnsignedWordMax);
constexpr ValueRange kSpeed = fixed(0, 500);
constexpr ValueRange kAfr = fixed(0, 9999);
constexpr ValueRange kCount = fixed(0, kWordMax);
constexpr ValueRange kPressure = {RangeKind::pressure, 0, 0, {}, {}};
constexpr KeyRange kRanges[] = {
    {"MAP_BAR_LO", {RangeKind::pressure, 0, 0, "MAP_BAR_HI", {}}},
    {"MAP_BAR_HI", {RangeKind::pressure, 0, 0, {}, "MAP_BAR_LO"}},
    {"MAP_05V", {RangeKind::counts, 0, 0, "MAP_00V", {}}},
    {"MAP_00V", {RangeKind::counts, 0, 0, {}, "MAP_05V"}},
    {"SPD_DIV", kRpm},
    {"AFR_0V", kAfr},
    {"AFR_5V", kAfr},
    {"O2FB_Target", kAfr},
    {"O2FB_MaxLoad", kPressure},
    {"O2FB_Gain", fixed(1, 5)},
    {"O2FB_MaxCorr", kPercent},
    {"MAF_LO", {RangeKind::counts, 0, 0, "MAF_HI", {}}},
    {"MAF_HI", {RangeKind::counts, 0, 0, {}, "MAF_LO"}},
    {"THROTTLE_LO", {RangeKind::counts, 0, 0, "THROTTLE_HI", {}}},
    {"THROTTLE_HI", {RangeKind::counts, 0, 0, {}, "THROTTLE_LO"}},
    {"ACC_FACTOR", kCount},
    {"ACC_DFACTOR", kCount},
    {"ACC_DECAY", kCount},
    {"ACC_TRESHOLD", kCount},
    {"ACC_MAX", fixed(0, 255)},
    {"REV2x_RPMON", kRpm},
    {"REV2x_OFFTHROTTLE", {RangeKind::throttle, 0, 100, {}, {}}},
    {"REV2x_OFFSPEED", kSpeed},
    {"REV2x_FUELCORR", fixed(-100, 0)},
    {"KNOCKFUEL", kPercent},
    {"METH_BAR_LO", {RangeKind::pressure, 0, 0, "METH_BAR_HI", {}}},
    {"METH_BAR_HI", {RangeKind::pressure, 0, 0, {}, "METH_BAR_LO"}},
    {"METH_FADE_IN", kCount},
    {"METH_FADE_OUT", kCount},
    {"RPM1", kRpm},
    {"RPM2", kRpm},
    {"SPD1", kSpeed},
    {"SPD2", kSpeed},
    {"MAP1", kPressure},
    {"MAP2", kPressure},
    {"THR1", kPercent},
    {"THR2", kPercent},
    {"IAT1", fixed(-40, 150)},
    {"IAT2", fixed(-40, 150)},
    {"BOOST_DUTY_MIN", kPercent},
    {"BOOST_DUTY_MAX", kPercent},
    {"BOOST_START", kPressure},
};

ValueRange range_of(std::string_view key, ValueFormat format, std::size_t entries) {
    if (format == ValueFormat::flag) return fixed(0, 1);
    if (format == ValueFormat::index) return fixed(0, static_cast<int>(entries) - 1);
    if (key.rfind("BOOST_GEARJ_", 0) == 0) return kCount;
    if (key.rfind("BOOST_GEARD_", 0) == 0) return fixed(-100, 100);
    if (key.rfind("SW_", 0) == 0) key.remove_prefix(5);
    for (const KeyRange& r : kRanges) {
        if (r.key == key) return r.range;
    }
    return fixed(-kWordMax - 1, kWordMax);
}

// Rows inside a group box: the caption takes the top, then one row every 26
// pixels. Labels stand left, fields right; a pair of fields shares a row.
constexpr int kFirstRowY = 22;
constexpr int kRowPitch = 26;
constexpr int kRowHeight = 22;
constexpr int kInset = 12;

struct Builder {
    std::vector<GroupSpec> groups;
    std::vector<ControlInfo> controls;
    int row = 0;

    void group(Page page, std::string caption, Rect r) {
        groups.push_back({page, std::move(caption), r});
        row = 0;
    }
    const GroupSpec& current() const { return groups.back(); }
    int row_y() const { return current().rect.y + kFirstRowY + row * kRowPitch; }
    int field_width() const { return current().rect.w >= 280 ? 68 : 56; }
    int pair_width() const { return 54; }

    ControlInfo base(ControlKind kind, std::string label, std::string key, ValueFormat f) {
        const ConfigKey* k = find_config_key(key);
        ControlInfo c{current().page,
                      static_cast<int>(groups.size()) - 1,
                      kind,
                      std::move(label),
                      std::move(key),
                      f,
                      0,
                      {},
                      AlsoWrites::nothing,
                      {},
                      {},
                      k != nullptr ? k->word : -1,
                      {}};
        return c;
    }
    Rect label_rect(int right) const {
        const int x = current().rect.x + kInset;
        return {x, row_y() + 3, right - 6 - x, kRowHeight - 4};
    }
    Rect single_field() const {
        const int w = field_width();
        return {current().rect.x + current().rect.w - kInset - w, row_y(), w, kRowHeight};
    }

    void check(std::string text, std::string key) {
        ControlInfo c =
            base(ControlKind::check, std::move(text), std::move(key), ValueFormat::flag);
        c.rect = {current().rect.x + kInset, row_y(), current().rect.w - 2 * kInset, kRowHeight};
        controls.push_back(std::move(c));
        ++row;
    }
    void edit(std::string label, std::string key, ValueFormat f, int decimals = 0,
              AlsoWrites also = AlsoWrites::nothing) {
        ControlInfo c = base(ControlKind::edit, std::move(label), std::move(key), f);
        c.decimals = decimals;
        c.also = also;
        c.rect = single_field();
        c.label_rect = label_rect(c.rect.x);
        controls.push_back(std::move(c));
        ++row;
    }
    void list(std::string label, std::string key, Entries entries) {
        ControlInfo c =
            base(ControlKind::list, std::move(label), std::move(key), ValueFormat::index);
        c.entries = entries;
        const int w = current().rect.w >= 280 ? 110 : 80;
        c.rect = {current().rect.x + current().rect.w - kInset - w, row_y(), w, kRowHeight};
        c.label_rect = label_rect(c.rect.x);
        controls.push_back(std::move(c));
        ++row;
    }
    // Two fields on one row; `check_key` puts a check box in front instead of a label.
    void pair(const std::string& label, std::string key1, std::string key2, ValueFormat f,
              int decimals = 0, std::string check_key = "") {
        const int w = pair_width();
        const int right = current().rect.x + current().rect.w - kInset;
        const Rect second{right - w, row_y(), w, kRowHeight};
        const Rect first{second.x - 6 - w, row_y(), w, kRowHeight};
        const bool checked_row = !check_key.empty();
        if (checked_row) {
            ControlInfo c =
                base(ControlKind::check, label, std::move(check_key), ValueFormat::flag);
            c.rect = {current().rect.x + kInset, row_y(), first.x - 6 - current().rect.x - kInset,
                      kRowHeight};
            controls.push_back(std::move(c));
        }
        ControlInfo a = base(ControlKind::edit, checked_row ? "" : label, std::move(key1), f);
        a.decimals = decimals;
        a.rect = first;
        if (!checked_row) a.label_rect = label_rect(first.x);
        controls.push_back(std::move(a));
        ControlInfo b = base(ControlKind::edit, "", std::move(key2), f);
        b.decimals = decimals;
        b.rect = second;
        controls.push_back(std::move(b));
        ++row;
    }
};

void build_parameters(Builder& b) {
    constexpr Page p = Page::parameters;
    constexpr auto I = ValueFormat::integer;
    constexpr auto H = ValueFormat::hundredths;
    constexpr auto V = ValueFormat::volts;
    b.group(p, "MAP Settings", {20, 20, 280, 220});
    b.check("Enable MAF emulation", "EMULATE_MAF");
    b.edit("Mapping lo-limit, Bar", "MAP_BAR_LO", H, 2, AlsoWrites::map_lo_counts);
    b.edit("Mapping hi-limit, Bar", "MAP_BAR_HI", H, 2, AlsoWrites::map_hi_counts);
    b.list("MAP Display Untis", "MAP_UNITS", kMapUnits);
    b.edit("MAP  0.0 Bar Voltage ", "MAP_00V", V);
    b.edit("MAP -0.5 Bar Voltage ", "MAP_05V", V);
    b.list("MAP Filter", "MAP_FILTER", kMapFilter);
    b.group(p, "Settings", {20, 260, 280, 192});
    b.check("External Temp.Sensor", "EXTERNALTS");
    b.list("Fuel corr. load", "FLM_LOAD", kFuelCorrLoad);
    b.list("Pulses per revolution", "REV_DIV", kPulses);
    b.edit("Speed Hz/100kmh", "SPD_DIV", I);
    b.edit("AFR@0.0V", "AFR_0V", H, 2);
    b.edit("AFR@5.0V", "AFR_5V", H, 2);
    b.group(p, "O2 Feedback", {20, 474, 280, 160});
    b.check("Enable O2 Feedback", "O2FB");
    b.edit("O2FB Target, AFR", "O2FB_Target", H, 1);
    b.edit("O2FB Max Load, Bar", "O2FB_MaxLoad", H, 2, AlsoWrites::o2fb_load_counts);
    b.edit("O2FB Gain (1..5)", "O2FB_Gain", I);
    b.edit("O2FB Max Correction %", "O2FB_MaxCorr", I);
    b.group(p, "MAF Settings", {340, 20, 280, 80});
    b.check("Invert MAF Voltage", "MAF_INVERT");
    b.pair("MAF min/max Volts", "MAF_LO", "MAF_HI", V);
    b.group(p, "Throttle Settings", {340, 120, 280, 230});
    b.check("Invert TPS Voltage", "TPS_INVERT");
    b.check("Enable Accel.FuelPump", "ACC_ENABLE");
    b.pair("TPS min/max Volts", "THROTTLE_LO", "THROTTLE_HI", V);
    b.pair("Accel/Decel factor", "ACC_FACTOR", "ACC_DFACTOR", I);
    b.edit("Accel decay", "ACC_DECAY", I);
    b.edit("Accel treshold", "ACC_TRESHOLD", I);
    b.edit("Accel max correction", "ACC_MAX", I);
    b.group(p, "2Step Rev Limit", {340, 370, 280, 170});
    b.check("Enable 2Step Rev Lmit", "REV2x");
    b.edit("2Step Fuel Cut RPM", "REV2x_RPMON", I, 0, AlsoWrites::rpm_off);
    b.edit("2Step Off Throttle %", "REV2x_OFFTHROTTLE", ValueFormat::throttle_percent);
    b.edit("2Step Off Speed", "REV2x_OFFSPEED", I);
    b.edit("2Step Fuel correction %", "REV2x_FUELCORR", I);
    b.group(p, "Knock Enrichment", {340, 560, 280, 80});
    b.check("External Knock Sensor", "EXTERNALKS");
    b.edit("Additional fuel %", "KNOCKFUEL", I);
}

void build_nos_methanol(Builder& b) {
    b.group(Page::nos_methanol, "Correction Settings", {20, 20, 280, 170});
    b.list("Correction Linked to", "METH_MODE", kMethMode);
    b.edit("Mapping lo-limit, Bar", "METH_BAR_LO", ValueFormat::hundredths, 2);
    b.edit("Mapping hi-limit, Bar", "METH_BAR_HI", ValueFormat::hundredths, 2);
    b.edit("Fade In (1/100sec)", "METH_FADE_IN", ValueFormat::integer);
    b.edit("Fade Out (1/100sec)", "METH_FADE_OUT", ValueFormat::integer);
}

void build_ls_switches(Builder& b) {
    constexpr std::array<Rect, 3> kGroups = {
        {{20, 20, 280, 260}, {320, 20, 280, 260}, {20, 300, 280, 260}}};
    constexpr std::array<char, 3> kLetters = {'A', 'B', 'C'};
    for (std::size_t g = 0; g < kGroups.size(); ++g) {
        const std::string sw = std::string("SW_") + kLetters[g] + "_";
        b.group(Page::ls_switches, std::string("Switch output ") + kLetters[g], kGroups[g]);
        b.list("Output mode", sw + "MODE", kOutputMode);
        b.list("Switch Name", sw + "NAME", g == 2 ? Entries(kSwitchNamesC) : Entries(kSwitchNames));
        b.pair("RPM", sw + "RPM1", sw + "RPM2", ValueFormat::integer, 0, sw + "RPM");
        b.pair("Speed(km/h)", sw + "SPD1", sw + "SPD2", ValueFormat::integer, 0, sw + "SPD");
        b.pair("MAP(Bar)", sw + "MAP1", sw + "MAP2", ValueFormat::hundredths, 2, sw + "MAP");
        b.pair("Throttle(%)", sw + "THR1", sw + "THR2", ValueFormat::integer, 0, sw + "THR");
        b.pair("IAT(C)", sw + "IAT1", sw + "IAT2", ValueFormat::integer, 0, sw + "IAT");
    }
}

void build_boost_control(Builder& b) {
    constexpr Page p = Page::boost_control;
    b.group(p, "Settings", {20, 20, 190, 140});
    b.edit("Min Duty", "BOOST_DUTY_MIN", ValueFormat::integer);
    b.edit("Max Duty", "BOOST_DUTY_MAX", ValueFormat::integer);
    b.edit("Start Boost", "BOOST_START", ValueFormat::hundredths, 2);
    b.list("Solenoid", "BOOST_HZ", kSolenoid);
    for (int n = 1; n <= 6; ++n) {
        const int x = 230 + ((n - 1) % 3) * 180;
        const int y = n <= 3 ? 20 : 120;
        b.group(p, "Gear " + std::to_string(n), {x, y, 160, 80});
        b.edit("R/S Judge", "BOOST_GEARJ_" + std::to_string(n), ValueFormat::integer);
        b.edit("Add Duty", "BOOST_GEARD_" + std::to_string(n), ValueFormat::integer);
    }
}

const Builder& table() {
    static const Builder built = [] {
        Builder b;
        build_parameters(b);
        build_nos_methanol(b);
        build_ls_switches(b);
        build_boost_control(b);
        for (ControlInfo& c : b.controls)
            c.range = range_of(c.key, c.format, c.entries.size());
        return b;
    }();
    return built;
}

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

std::span<const GroupSpec> control_groups() {
    return table().groups;
}

std::span<const ControlInfo> control_table() {
    return table().controls;
}

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
