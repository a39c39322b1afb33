#pragma once
// What each page lets the keys and operations edit: one table, looked up by
// page name, drives the cursor moves, the value steps, copy and paste and
// "Interpolate", so no rule is repeated per page.

#include <optional>

#include "calibration/calibration.h"
#include "editors/editor_state.h"
#include "editors/pages.h"

namespace veloquin {

enum class TableKind { none, map, curve };

// How "+", "-", Page Up and Page Down change one value.
enum class StepKind {
    none,
    // Step only while the value is inside the limits (it never crosses them).
    conditional,
    // Step, then hold the result at the limit it passed.
    clamped,
    // The MAF curve's unsigned words: a decrease that leaves 0..32768 lands on 0.
    maf_unsigned,
    // No limits of their own; the 16-bit word's range is the only bound.
    unlimited,
};

// "+" and "-" take the small step, Page Up and Page Down the large one; on some
// pages the two differ in kind, which shows only on values loaded out of range.
struct StepRule {
    StepKind small_kind = StepKind::none;
    int small = 0;
    StepKind large_kind = StepKind::none;
    int large = 0;  // 0 on the MAF emulation page: the step follows the value
    int lo = 0;
    int hi = 0;
};

enum class Interpolation { none, airflow_2d, plain_2d, rows_only, curve_1d };

struct PageRules {
    Page page;
    TableKind kind;
    MapId map;         // map pages
    int curve_offset;  // curve pages; the temperature page resolves it by the active curve
    int curve_points;
    bool unsigned_values;
    bool twelve_rows;  // the editor shows rows 0..11 only and holds the cursor there
    bool copy_values;  // Ctrl+C and Ctrl+V move cell values
    bool maf_curve;    // every change rebuilds the MAF reverse table
    StepRule step;
    Interpolation interpolation;
};

const PageRules& page_rules(Page page);

struct CurveRef {
    int offset = 0;
    int points = 0;
};

// The curve a curve page edits, the active one on the temperature page.
CurveRef page_curve(Page page, TempCurve active);

// The page whose own rules edit a map or a curve in that edition (for a
// curve also which curve of the temperature page it is); nullopt where the
// edition shows it nowhere.
std::optional<Page> page_of_map(MapId map, Edition edition);
struct CurvePage {
    Page page;
    TempCurve curve = TempCurve::sensor;
};
std::optional<CurvePage> page_of_curve(int curve_offset, Edition edition);

// The rows of the 12-row editors: whenever they handle anything, a cursor or
// anchor row above 11 is brought back to 11.
inline constexpr int kTwelveRowLimit = 11;
void limit_rows_for_page(EditorCursor& cursor, Page page);

// The curve cursor is shared by curves of 17 to 33 points: on a shorter
// curve a cursor left past its end (after "MAF calibration") showed nowhere
// and no key reached a point, so it is brought back to the last point.
void limit_curve_for_page(EditorCursor& cursor, Page page, TempCurve active);

}  // namespace veloquin
