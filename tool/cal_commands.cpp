// veloquin-tool cal: normalize, compare and show calibration files.

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "calfile/atomic_file.h"
#include "calfile/calibration_diff.h"
#include "calfile/calibration_file.h"
#include "calibration/config_keys.h"
#include "calibration/conversions.h"
#include "calibration/factory_calibration.h"
#include "calibration/map_rows.h"
#include "tool/commands.h"
#include "tool/edition.h"

namespace veloquin::tool {
namespace {

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
    // Rows are labelled as the program's editor labels them.
    derive_row_axes(a);
    derive_row_axes(b);
    const std::vector<CalibrationDifference> differences = calibration_differences(a, b, kEdition);
    for (const CalibrationDifference& d : differences)
        std::printf("%s\n", d.text.c_str());
    if (differences.empty()) return kExitOk;
    const std::size_t n = differences.size();
    std::printf("%zu difference%s\n", n, n == 1 ? "" : "s");
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
                std::printf("%16s", map_row_label(cal, s.map, r).c_str());
                for (int c = 0; c < kMapCols; ++c)
                    std::printf("%6d", cal.cell(s.map, r, c));
                std::printf("\n");
            }
        } else {
            for (int i = 0; i < s.count; ++i) {
                std::printf("%3d %12s %6d\n", i, curve_point_label(s, i).c_str(),
                            curve_point_value(cal, s, i));
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
            std::printf("%s%d", row_start ? "" : ", ",
                        s.is_map ? cal.cell(s.map, i / kMapCols, i % kMapCols)
                                 : curve_point_value(cal, s, i));
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
    derive_row_axes(cal);
    if (args.size() == 2) {
        show_json(cal);
    } else {
        show_text(cal);
    }
    return kExitOk;
}

// The factory calibration with every section, for either program: the lite
// program passes over the AFR protect section.
int factory(Args args) {
    if (args.size() != 1) return fail("usage: veloquin-tool cal factory OUT");
    std::string error;
    const std::string text =
        write_calibration_text_with_map_axis(factory_calibration(), Edition::full);
    if (!write_file_atomically(args[0], text, &error)) return fail(error);
    return kExitOk;
}

}  // namespace

int run_cal(Args args) {
    if (args.empty()) return fail("usage: veloquin-tool cal normalize|diff|show|factory|op ...");
    const std::string& command = args[0];
    const Args rest = args.subspan(1);
    if (command == "normalize") return normalize(rest);
    if (command == "diff") return diff(rest);
    if (command == "show") return show(rest);
    if (command == "factory") return factory(rest);
    if (command == "op") return run_cal_op(rest);
    return fail("unknown cal command '" + command + "'");
}

}  // namespace veloquin::tool
