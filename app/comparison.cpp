#include "app/comparison.h"

#include "app/page_controls.h"
#include "app/startup.h"
#include "editors/page_rules.h"

namespace veloquin {
namespace {

bool same_content(const Calibration& a, const Calibration& b) {
    return a.header == b.header && a.maps == b.maps && a.curves == b.curves;
}

std::string shown_value(const ControlInfo& c, const Calibration& cal) {
    const ControlValue v = control_value(c, cal);
    switch (c.kind) {
        case ControlKind::check:
            return v.checked ? "ticked" : "not ticked";
        case ControlKind::list:
            if (v.index >= 0) return std::string(c.entries[static_cast<std::size_t>(v.index)]);
            return std::to_string(cal.param(c.word)) + " (no entry)";
        case ControlKind::edit:
            break;
    }
    return v.text;
}

bool key_differs(int word, const Calibration& a, const Calibration& b) {
    const ConfigKey* key = word >= 0 ? config_key_for_word(word) : nullptr;
    return key != nullptr && key->written && a.param(word) != b.param(word);
}

}  // namespace

bool begin_comparison(Comparison& comparison, const std::string& path, Edition edition,
                      std::string& error) {
    std::string text;
    if (!load_calibration_text(path, text, error)) return false;
    // Random bytes compared would list every word of the calibration.
    if (const std::string problem = calibration_text_problem(text, edition); !problem.empty()) {
        error = path + ": " + problem;
        return false;
    }
    Calibration other;
    set_start_values(other);
    read_calibration_text(other, text, edition);
    comparison.other = other;
    comparison.path = path;
    comparison.name = split_path(path).file;
    comparison.active = true;
    comparison.listed = false;
    ++comparison.started;
    return true;
}

void end_comparison(Comparison& comparison) {
    comparison.active = false;
    comparison.listed = false;
    comparison.differences.clear();
    ++comparison.revision;
}

bool refresh_differences(Comparison& comparison, const Calibration& cal, Edition edition) {
    if (!comparison.active) return false;
    if (comparison.listed && same_content(comparison.listed_for, cal)) return false;
    comparison.differences = calibration_differences(comparison.other, cal, edition);
    comparison.listed_for = cal;
    comparison.listed = true;
    ++comparison.revision;
    return true;
}

std::optional<DifferenceTarget> difference_target(const CalibrationDifference& difference,
                                                  Edition edition) {
    DifferenceTarget t;
    t.kind = difference.kind;
    switch (difference.kind) {
        case DifferenceKind::key: {
            const auto table = control_table();
            for (std::size_t i = 0; i < table.size(); ++i) {
                if (table[i].word != difference.key->word) continue;
                t.page = table[i].page;
                t.control = static_cast<int>(i);
                return t;
            }
            return std::nullopt;
        }
        case DifferenceKind::map_cell: {
            const auto page = page_of_map(difference.section->map, edition);
            if (!page) return std::nullopt;
            t.page = *page;
            t.row = difference.row;
            t.col = difference.col;
            return t;
        }
        case DifferenceKind::curve_point: {
            const auto shown = page_of_curve(difference.section->curve_offset, edition);
            if (!shown) return std::nullopt;
            t.page = shown->page;
            t.curve = shown->curve;
            t.point = difference.point;
            return t;
        }
    }
    return std::nullopt;
}

void place_cursor(EditorState& editor, const DifferenceTarget& target) {
    EditorCursor& c = editor.cursor;
    switch (target.kind) {
        case DifferenceKind::map_cell:
            c.map_cursor_row = c.map_anchor_row = target.row;
            c.map_cursor_col = c.map_anchor_col = target.col;
            // The twelve-row editors show rows 0 to 11 only; a difference
            // above them is shown at their top row.
            limit_rows_for_page(c, target.page);
            break;
        case DifferenceKind::curve_point:
            c.curve_cursor = c.curve_anchor = target.point;
            if (target.page == Page::temp_correction) editor.active_temp_curve = target.curve;
            break;
        case DifferenceKind::key:
            break;
    }
}

std::vector<std::string> differing_controls(const Calibration& cal, const Comparison& comparison) {
    const auto table = control_table();
    std::vector<std::string> out(table.size());
    if (!comparison.active) return out;
    for (std::size_t i = 0; i < table.size(); ++i) {
        const ControlInfo& c = table[i];
        if (!key_differs(c.word, cal, comparison.other)) continue;
        out[i] = "In " + comparison.name + ": " + shown_value(c, comparison.other);
    }
    return out;
}

}  // namespace veloquin
