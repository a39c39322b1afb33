// veloquin-tool cal: normalize, compare and show calibration files.

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "calfile/calibration_file.h"
#include "calibration/config_keys.h"
#include "calibration/conversions.h"
#include "tool/commands.h"
#include "tool/edition.h"

namespace veloquin::tool {
namespace {

// The number with that many decimals and a unit behind it.
std::string fixed(double v, int decimals, const char* unit) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f %s", decimals, v, unit);
    return text;
}

// A calibration as the program has it after start-up with only this file.
bool load(const std::string& path, Calibration& cal) {
    set_start_values(cal);
    std::string error;
    if (!std::filesystem::is_regular_file(path)) {
        fail(path + ": not a readable file");
        return false;
    }
    if (!read_calibration_file(cal, path, kEdition, &error)) {
        fail(error);
        return false;
    }
    return true;
}

std::string key_value_text(const Calibration& cal, const ConfigKey& key) {
    if (key.encoding == KeyEncoding::volts) {
        return fixed(static_cast<double>(counts_to_volts(cal.param(key.word))), 3, "V");
    }
    return std::to_string(cal.param(key.word));
}

// The row axis of a map in the tuner's terms.
std::string row_label(const Calibration& cal, MapId map, int row) {
    const int map_lo = cal.param(hw::MAP_LO);
    const int map_hi = cal.param(hw::MAP_HI);
    auto pressure = [&](int counts) { return fixed(counts_to_bar(cal, counts), 2, "bar"); };
    switch (map) {
        case MapId::map_2_maf:
            return pressure(map_lo + (map_hi - map_lo) * row / 23);
        case MapId::fuel_correction:
            if (cal.param(hw::FLM_LOAD) == 1)
                return pressure(map_lo + (map_hi - map_lo) * row / 23);
            return std::to_string(100 * row / 23) + " % throttle";
        case MapId::meth_correction: {
            const int lo = bar100_to_counts(cal, cal.param(hw::METH_BAR_LO));
            const int hi = bar100_to_counts(cal, cal.param(hw::METH_BAR_HI));
            return pressure(lo + (hi - lo) * row / 11);
        }
        case MapId::boost_duty:
            return std::to_string(100 * row / 11) + " % throttle";
    }
    return {};
}

// What point i of a curve stands for.
std::string point_label(const CalibrationSection& s, int i) {
    switch (s.curve_offset) {
        case cv::KNOCK:
            return std::to_string(500 * i) + " rpm";
        case cv::AFR_PROTECT:
            return "boost step " + std::to_string(i) + "/15";
        default:
            return fixed(i * 5.0 / 32.0, 3, "V");
    }
}

int curve_value(const Calibration& cal, const CalibrationSection& s, int i) {
    const std::int16_t w = cal.curve_word(s.curve_offset + i);
    return s.unsigned_values ? static_cast<std::uint16_t>(w) : w;
}

int normalize(Args args) {
    if (args.size() != 2) return fail("usage: veloquin-tool cal normalize IN OUT");
    Calibration cal;
    if (!load(args[0], cal)) return kExitError;
    std::string error;
    if (!write_calibration_file(cal, args[1], kEdition, &error)) return fail(error);
    return kExitOk;
}

int diff(Args args) {
    if (args.size() != 2) return fail("usage: veloquin-tool cal diff A B");
    Calibration a;
    Calibration b;
    if (!load(args[0], a) || !load(args[1], b)) return kExitError;
    int differences = 0;
    for (const ConfigKey& key : config_keys()) {
        if (!key.written || a.param(key.word) == b.param(key.word)) continue;
        std::printf("%s: %s -> %s\n", std::string(key.name).c_str(), key_value_text(a, key).c_str(),
                    key_value_text(b, key).c_str());
        ++differences;
    }
    for (const CalibrationSection& s : calibration_sections()) {
        if (s.full_edition_only && kEdition != Edition::full) continue;
        const std::string name(s.name());
        for (int i = 0; i < s.count; ++i) {
            if (s.is_map) {
                const int r = i / kMapCols;
                const int c = i % kMapCols;
                const int va = a.cell(s.map, r, c);
                const int vb = b.cell(s.map, r, c);
                if (va == vb) continue;
                std::printf("%s row %d (%s) col %d (%d rpm): %d -> %d\n", name.c_str(), r,
                            row_label(a, s.map, r).c_str(), c, 500 * (c + 1), va, vb);
            } else {
                const int va = curve_value(a, s, i);
                const int vb = curve_value(b, s, i);
                if (va == vb) continue;
                std::printf("%s point %d (%s): %d -> %d\n", name.c_str(), i,
                            point_label(s, i).c_str(), va, vb);
            }
            ++differences;
        }
    }
    if (differences == 0) return kExitOk;
    std::printf("%d difference%s\n", differences, differences == 1 ? "" : "s");
    return kExitNegative;
}

void show_text(const Calibration& cal) {
    for (const ConfigKey& key : config_keys()) {
        if (!key.written) continue;
        std::printf("%-20s %s\n", std::string(key.name).c_str(), key_value_text(cal, key).c_str());
    }
    for (const CalibrationSection& s : calibration_sections()) {
        if (s.full_edition_only && kEdition != Edition::full) continue;
        std::printf("\n%s\n", std::string(s.header).c_str());
        if (s.is_map) {
            std::printf("%16s", "");
            for (int c = 0; c < kMapCols; ++c)
                std::printf("%6d", 500 * (c + 1));
            std::printf("\n");
            for (int r = kMapRows - 1; r >= 0; --r) {
                std::printf("%16s", row_label(cal, s.map, r).c_str());
                for (int c = 0; c < kMapCols; ++c)
                    std::printf("%6d", cal.cell(s.map, r, c));
                std::printf("\n");
            }
        } else {
            for (int i = 0; i < s.count; ++i) {
                std::printf("%3d %12s %6d\n", i, point_label(s, i).c_str(), curve_value(cal, s, i));
            }
        }
    }
}

void show_json(const Calibration& cal) {
    std::printf("{\n  \"keys\": {");
    const char* sep = "\n";
    for (const ConfigKey& key : config_keys()) {
        if (!key.written) continue;
        if (key.encoding == KeyEncoding::volts) {
            std::printf("%s    \"%s\": %.3f", sep, std::string(key.name).c_str(),
                        static_cast<double>(counts_to_volts(cal.param(key.word))));
        } else {
            std::printf("%s    \"%s\": %d", sep, std::string(key.name).c_str(),
                        cal.param(key.word));
        }
        sep = ",\n";
    }
    std::printf("\n  },\n  \"tables\": {");
    sep = "\n";
    for (const CalibrationSection& s : calibration_sections()) {
        if (s.full_edition_only && kEdition != Edition::full) continue;
        std::printf("%s    \"%s\": [", sep, std::string(s.name()).c_str());
        for (int i = 0; i < s.count; ++i) {
            if (s.is_map && i % kMapCols == 0) std::printf("%s[", i == 0 ? "" : "], ");
            const bool row_start = s.is_map ? i % kMapCols == 0 : i == 0;
            std::printf(
                "%s%d", row_start ? "" : ", ",
                s.is_map ? cal.cell(s.map, i / kMapCols, i % kMapCols) : curve_value(cal, s, i));
        }
        std::printf(s.is_map ? "]]" : "]");
        sep = ",\n";
    }
    std::printf("\n  }\n}\n");
}

int show(Args args) {
    if (args.empty() || args.size() > 2 || (args.size() == 2 && args[1] != "--json")) {
        return fail("usage: veloquin-tool cal show IN [--json]");
    }
    Calibration cal;
    if (!load(args[0], cal)) return kExitError;
    if (args.size() == 2) {
        show_json(cal);
    } else {
        show_text(cal);
    }
    return kExitOk;
}

}  // namespace

int run_cal(Args args) {
    if (args.empty()) return fail("usage: veloquin-tool cal normalize|diff|show ...");
    const std::string& command = args[0];
    const Args rest = args.subspan(1);
    if (command == "normalize") return normalize(rest);
    if (command == "diff") return diff(rest);
    if (command == "show") return show(rest);
    if (command == "op") return run_cal_op(rest);
    return fail("unknown cal command '" + command + "'");
}

}  // namespace veloquin::tool
