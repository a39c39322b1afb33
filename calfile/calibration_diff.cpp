#include "calfile/calibration_diff.h"

#include <cstdio>

#include "calibration/conversions.h"
#include "calibration/map_rows.h"

namespace veloquin {
namespace {

constexpr int kRpmPerColumn = 500;

std::string cell_text(const Calibration& a, const CalibrationSection& s, int r, int c, int va,
                      int vb) {
    char text[256];
    std::snprintf(text, sizeof text, "%s row %d (%s) col %d (%d rpm): %d -> %d",
                  std::string(s.name()).c_str(), r, map_row_label(a, s.map, r).c_str(), c,
                  kRpmPerColumn * (c + 1), va, vb);
    return text;
}

std::string point_text(const CalibrationSection& s, int i, int va, int vb) {
    char text[256];
    std::snprintf(text, sizeof text, "%s point %d (%s): %d -> %d", std::string(s.name()).c_str(), i,
                  curve_point_label(s, i).c_str(), va, vb);
    return text;
}

void add_key_differences(std::vector<CalibrationDifference>& out, const Calibration& a,
                         const Calibration& b) {
    for (const ConfigKey& key : config_keys()) {
        if (!key.written || a.param(key.word) == b.param(key.word)) continue;
        CalibrationDifference d;
        d.key = &key;
        d.text =
            std::string(key.name) + ": " + key_value_text(a, key) + " -> " + key_value_text(b, key);
        out.push_back(std::move(d));
    }
}

void add_section_differences(std::vector<CalibrationDifference>& out, const Calibration& a,
                             const Calibration& b, const CalibrationSection& s) {
    for (int i = 0; i < s.count; ++i) {
        CalibrationDifference d;
        d.section = &s;
        if (s.is_map) {
            const int r = i / kMapCols;
            const int c = i % kMapCols;
            const int va = a.cell(s.map, r, c);
            const int vb = b.cell(s.map, r, c);
            if (va == vb) continue;
            d.kind = DifferenceKind::map_cell;
            d.row = r;
            d.col = c;
            d.text = cell_text(a, s, r, c, va, vb);
        } else {
            const int va = curve_point_value(a, s, i);
            const int vb = curve_point_value(b, s, i);
            if (va == vb) continue;
            d.kind = DifferenceKind::curve_point;
            d.point = i;
            d.text = point_text(s, i, va, vb);
        }
        out.push_back(std::move(d));
    }
}

}  // namespace

std::vector<CalibrationDifference> calibration_differences(const Calibration& a,
                                                           const Calibration& b, Edition edition) {
    std::vector<CalibrationDifference> out;
    add_key_differences(out, a, b);
    for (const CalibrationSection& s : calibration_sections()) {
        if (s.full_edition_only && edition != Edition::full) continue;
        add_section_differences(out, a, b, s);
    }
    return out;
}

std::string fixed_with_unit(double v, int decimals, const char* unit) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f %s", decimals, v, unit);
    return text;
}

std::string key_value_text(const Calibration& cal, const ConfigKey& key) {
    if (key.encoding == KeyEncoding::volts) {
        return fixed_with_unit(static_cast<double>(counts_to_volts(cal.param(key.word))), 3, "V");
    }
    return std::to_string(cal.param(key.word));
}

std::string curve_point_label(const CalibrationSection& s, int i) {
    switch (s.curve_offset) {
        case cv::KNOCK:
            return std::to_string(kRpmPerColumn * i) + " rpm";
        case cv::AFR_PROTECT:
            return "boost step " + std::to_string(i) + "/15";
        default:
            return fixed_with_unit(i * 5.0 / 32.0, 3, "V");
    }
}

int curve_point_value(const Calibration& cal, const CalibrationSection& s, int i) {
    const std::int16_t w = cal.curve_word(s.curve_offset + i);
    return s.unsigned_values ? static_cast<std::uint16_t>(w) : w;
}

}  // namespace veloquin
