#pragma once
// Comparing the calibration in the program with a calibration file: the file
// as the program would hold it, the list of differences "file -> program" in
// the words of `veloquin-tool cal diff`, where each difference is shown, and
// which parameter-page controls differ.

#include <optional>
#include <string>
#include <vector>

#include "base/page.h"
#include "calfile/calibration_diff.h"
#include "editors/editor_state.h"

namespace veloquin {

struct Comparison {
    bool active = false;
    std::string path;  // the file compared with
    std::string name;  // its file name, for titles and tooltips
    // The file alone on the start values, as `veloquin-tool` loads it.
    Calibration other;
    std::vector<CalibrationDifference> differences;
    // Moves on with every comparison begun, so the window knows to show its
    // list again, and with every new list.
    int started = 0;
    int revision = 0;
    // The program's calibration the list was made for; a repaint or tick
    // that finds it unchanged leaves the list alone.
    Calibration listed_for;
    bool listed = false;
};

// Reads the file to compare with; on failure the comparison is unchanged and
// `error` says why.
bool begin_comparison(Comparison& comparison, const std::string& path, Edition edition,
                      std::string& error);
void end_comparison(Comparison& comparison);
// Makes the list anew when the calibration changed since it was made; true
// when it did.
bool refresh_differences(Comparison& comparison, const Calibration& cal, Edition edition);

// Where a difference is shown: a map cell or a curve point under the editor
// cursor, or a parameter-page control.
struct DifferenceTarget {
    Page page = Page::parameters;
    DifferenceKind kind = DifferenceKind::key;
    int row = 0;
    int col = 0;
    int point = 0;
    TempCurve curve = TempCurve::sensor;  // the temperature page's curve
    int control = -1;                     // index into control_table()
};
// nullopt for a key no page shows (REV2x_RPMOFF, switch D).
std::optional<DifferenceTarget> difference_target(const CalibrationDifference& difference,
                                                  Edition edition);
// The cursor, its anchor and the active temperature curve on the target.
void place_cursor(EditorState& editor, const DifferenceTarget& target);

// One entry per control of control_table(): empty where the control's key is
// the same in both, else the tooltip naming the file's value
// ("In base.emu: 1.30").
std::vector<std::string> differing_controls(const Calibration& cal, const Comparison& comparison);

}  // namespace veloquin
