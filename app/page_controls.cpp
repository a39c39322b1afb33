#include "app/page_controls.h"

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
                      k != nullptr ? k->word : -1};
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
        return b;
    }();
    return built;
}

std::string format_hundredths(int decimals, int value) {
    char text[64];
    // The page shows the value through a single-precision hundredth, as the
    // device's own tools did, so 114 reads 1.14 and never 1.1400000001.
    const float shown = static_cast<float>(value) * kHundredth;
    std::snprintf(text, sizeof text, "%.*f", decimals, static_cast<double>(shown));
    return text;
}

// Truncating x + 0.5 rounds only above zero: a threshold below the throttle's
// closed end (a negative percent) moved further at every fill and read-back,
// so the page rewrote it at each page switch without anyone typing.
int round_half_up(double x) {
    return truncate_to_int(std::floor(x + 0.5));
}

std::string throttle_percent_text(const Calibration& cal, int counts) {
    const int lo = cal.param(hw::THROTTLE_LO);
    const int hi = cal.param(hw::THROTTLE_HI);
    if (hi == lo) return "0";
    return std::to_string(round_half_up((counts - lo) * 100.0 / (hi - lo)));
}

int throttle_percent_counts(const Calibration& cal, long percent) {
    const int lo = cal.param(hw::THROTTLE_LO);
    const int hi = cal.param(hw::THROTTLE_HI);
    return round_half_up(static_cast<double>(percent) * (hi - lo) * 0.01 + lo);
}

std::int16_t low16(long v) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<unsigned long>(v)));
}

ControlValue fill_value(const ControlInfo& c, const Calibration& cal) {
    const int v = cal.param(c.word);
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
    return out;
}

// The control's own value; nullopt keeps the stored one.
std::optional<long> read_value(const ControlInfo& c, const ControlValue& v,
                               const Calibration& cal) {
    switch (c.format) {
        case ValueFormat::flag:
            return v.checked ? 1 : 0;
        case ValueFormat::index:
            // A value loaded from a file that the list cannot show (no entry
            // selected) would otherwise be destroyed by a mere page switch.
            if (v.index < 0) return std::nullopt;
            return v.index;
        case ValueFormat::integer:
            return parse_c_integer(v.text);
        case ValueFormat::hundredths:
            return truncate_to_int(parse_c_number(v.text) * 100);
        case ValueFormat::volts:
            return volts_to_counts(static_cast<float>(parse_c_number(v.text)));
        case ValueFormat::throttle_percent:
            return throttle_percent_counts(cal, parse_c_integer(v.text));
    }
    return std::nullopt;
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

void read_back_page(const PageControls& controls, Calibration& cal, Page page) {
    const auto table = control_table();
    for (std::size_t i = 0; i < table.size(); ++i) {
        const ControlInfo& c = table[i];
        if (c.page != page) continue;
        if (const auto v = read_value(c, controls.values[i], cal)) {
            cal.param(c.word) = low16(*v);
            write_also(c, cal);
        }
    }
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
