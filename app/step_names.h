#pragma once
// What the Edit menu calls an undo step, in the words the tuner sees
// elsewhere: a command's menu text ("Interpolate"), a key on a page
// ("Page Up on MAF Emulation"), a typed field ("Speed Hz/100kmh on Parameters").

#include <optional>
#include <string>
#include <string_view>

#include "app/history.h"
#include "app/page_controls.h"
#include "base/page.h"

namespace veloquin {

// A menu or popup text without its key, "&" and trailing dots:
// "Open calibration...\tCtrl-O" -> "Open calibration".
std::string menu_step_name(std::string_view menu_text);

// The step a command makes on the visible page: its menu or popup text, or
// for a command only a key reaches, "<key> on <page>".
std::string command_step_name(int command_id, Page visible);

// The in-place value entry on a map page.
std::string cell_edit_step_name(Page page);

// The step a read-back of typed fields makes: the one field's label and page,
// "Fields on <page>" for several on one page, "Fields" across pages; empty
// when no control differs from what was last filled or committed.
std::string fields_step_name(const PageControls& now, const PageControls& committed);

inline constexpr std::string_view kAutomappingStepName = "Automapping";

// The text and state of the Edit menu's Undo and Redo entries; nullopt for
// any other command. `pending`: a step still being made (an automapping run),
// which an undo takes first and which leaves nothing to redo.
struct MenuEntryState {
    std::string text;
    bool enabled = false;
};
std::optional<MenuEntryState> edit_menu_entry(int command_id, const CalibrationHistory& history,
                                              std::string_view pending = {});

}  // namespace veloquin
