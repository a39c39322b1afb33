#pragma once
// The editing commands as the main window receives them, applied to the
// visible page with the repaint each one owes the screen.

#include <optional>
#include <string>
#include <string_view>

#include "base/platform.h"
#include "calibration/calibration.h"
#include "datalogs/log_sample.h"
#include "editors/editor_state.h"
#include "editors/pages.h"

namespace veloquin {

enum class EditorCommand {
    move_left,
    move_right,
    move_up,
    move_down,
    extend_left,
    extend_right,
    extend_up,
    extend_down,
    increase,
    decrease,
    increase_large,
    decrease_large,
    clear_visits,
    copy,
    paste,
    interpolate,
    smooth_map,
    extrapolate_boost_up,
    replicate_fuel_correction,
    rest_all_map_data,
};

// The command behind a menu or accelerator id (32778 Left, 32792 "Interpolate", ...).
std::optional<EditorCommand> editor_command_for_id(int command_id);

// Applies the command to the visible page's table and repaints where the
// command changes what is on view. Copy repaints nothing; "Smooth MAP" and
// "Exterpolate boost up" act, and repaint, only on the MAF emulation page.
// Returns what the lower line says of a map operation that changed nothing
// (on a page it does not work on, or finding nothing to do); empty else.
std::string apply_editor_command(EditorState& state, Calibration& cal, EditorCommand command,
                                 Page visible, Platform& platform);

// "Calibrate Knock by Log", then the switch to the "Knock calibration" page;
// a log that reaches no point changes nothing and the page stays. Returns
// how many points were set.
int calibrate_knock_by_log(Calibration& cal, const LogBuffer& log, Platform& platform);

}  // namespace veloquin
