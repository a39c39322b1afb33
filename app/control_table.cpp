// The parameter pages' one table of controls: what each page holds, where,
// which key each control shows in which format, and the range its key's
// meaning allows.

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

}  // namespace

std::span<const GroupSpec> control_groups() {
    return table().groups;
}

std::span<const ControlInfo> control_table() {
    return table().controls;
}

}  // namespace veloquin
