#pragma once
// The parameter pages as one table of controls: which control shows which
// calibration key, how its value becomes text (fill) and how the text goes
// back into the calibration (read-back). The widgets mirror a PageControls
// value; fill and read-back work on it, so both run without a window.

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/page.h"
#include "calibration/calibration.h"

namespace veloquin {

struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
};

enum class ControlKind { check, edit, list };

enum class ValueFormat {
    flag,              // check box: ticked when above 0, reads back 1 or 0
    index,             // drop-down list: the entry whose index is the value
    integer,           // "%d", read C-style
    hundredths,        // shown times 0.01 with `decimals` places, read back times 100
    volts,             // sensor counts shown and typed as volts
    throttle_percent,  // counts between THROTTLE_LO and THROTTLE_HI, shown in percent
};

// Where a field's values lie, from what its key means. A typed value is held
// inside; a stored value outside (from a file or the device) is kept as it is
// and shown framed.
enum class RangeKind {
    fixed,     // lo..hi as written in the table
    pressure,  // hundredths of a bar the MAP sensor can report, 0 to 5 V
    counts,    // sensor counts, 0 to 4095
    throttle,  // counts between THROTTLE_LO and THROTTLE_HI; typed as 0..100 %
};

struct ValueRange {
    RangeKind kind = RangeKind::fixed;
    int lo = 0;
    int hi = 0;
    // The key this value must stay below, or above: a map axis, a sensor's
    // two calibration points or its two ends may not meet.
    std::string_view below;
    std::string_view above;
};

// What a read-back also writes beside the control's own key.
enum class AlsoWrites {
    nothing,
    map_lo_counts,     // MAP_LO = bar100_to_counts(MAP_BAR_LO)
    map_hi_counts,     // MAP_HI = bar100_to_counts(MAP_BAR_HI)
    o2fb_load_counts,  // the derived word of O2FB_MaxLoad
    rpm_off,           // REV2x_RPMOFF takes the same value as REV2x_RPMON
};

struct GroupSpec {
    Page page;
    std::string caption;
    Rect rect;  // in the page
};

struct ControlInfo {
    Page page;
    int group;  // index into control_groups()
    ControlKind kind;
    std::string label;  // the check box's text or the field's label; empty for a second field
    std::string key;    // the calibration key it shows
    ValueFormat format;
    int decimals = 0;  // hundredths only: "%1.2f" and "%2.2f" show 2, "%2.1f" shows 1
    std::span<const std::string_view> entries;  // lists only
    AlsoWrites also = AlsoWrites::nothing;
    Rect rect;        // the control, in the page
    Rect label_rect;  // the field's label; empty for check boxes and second fields
    int word = 0;     // the key's word in the parameter record
    ValueRange range;
};

std::span<const GroupSpec> control_groups();
std::span<const ControlInfo> control_table();

// What a control holds between fills and read-backs.
struct ControlValue {
    std::string text;
    bool checked = false;
    int index = -1;  // -1: no entry selected
    // As the last fill left them: a control still showing these was not
    // touched, and its read-back keeps the stored word whatever it shows.
    std::string filled_text;
    bool filled_checked = false;
    int filled_index = -1;
    // The stored value lies outside the field's range; the range in words.
    bool out_of_range = false;
    std::string range_text;

    bool touched() const {
        return text != filled_text || checked != filled_checked || index != filled_index;
    }
};

struct PageControls {
    std::vector<ControlValue> values = std::vector<ControlValue>(control_table().size());
};

bool has_controls(Page page);
void fill_page(PageControls& controls, const Calibration& cal, Page page);
// What a fill shows in one control for that calibration.
ControlValue control_value(const ControlInfo& control, const Calibration& cal);
// Stores the touched controls of the page into the calibration, each held
// inside its range, and fills them again so they show what was stored.
// Untouched controls keep their words. `skip` (a control index) is left
// alone: the tuner is still typing into it. A text that is no number keeps
// the stored word. Returns what the lower line says of entries refused or
// held inside their range; empty when every one went in as typed. Derived
// values and the page's after-steps are the caller's.
std::string read_back_page(PageControls& controls, Calibration& cal, Page page, int skip = -1);

// The limits of a control's stored word for this calibration (its partner's
// current value included), and the tooltip naming them.
struct WordLimits {
    int lo = 0;
    int hi = 0;
};
WordLimits control_limits(const ControlInfo& control, const Calibration& cal);
std::string range_text(const ControlInfo& control, const Calibration& cal);

// The words the Parameters page derives from the pressures it shows: MAP_LO
// and MAP_HI (the map's pressure axis in counts) and the O2FB load counts.
// Files keep only the pressures, so whatever reads a file derives these;
// limits that coincide describe no axis and leave the counts.
void derive_pressure_counts(Calibration& cal);

// The index of the control showing `key` on `page` (tests and widgets), or -1.
int control_index(Page page, std::string_view key);

}  // namespace veloquin
