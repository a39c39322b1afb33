#include "app/key_routing.h"

#include <array>

#include "app/commands.h"
#include "editors/page_rules.h"

namespace veloquin {
namespace {

using namespace keycode;

constexpr Accelerator chr(char c, int command) {
    return {c, 0, false, false, command};
}
constexpr Accelerator key(int code, int command, bool ctrl = false, bool shift = false) {
    return {0, code, ctrl, shift, command};
}

// "Save" shows Ctrl-S in its menu text; the original tables never had the
// key, so the menu promised a shortcut that did nothing. Both tables have it,
// and undo and redo, which belong to every page.
constexpr std::array kShortTable = {
    chr('=', cmd::increase),        key('E', cmd::open_cell_editor, true),
    key('I', cmd::interpolate),     key('L', cmd::load_log_file, true),
    key('M', cmd::drop_marker),     key('O', cmd::open_calibration, true),
    key('S', cmd::save, true),      key('Y', cmd::redo, true),
    key('Z', cmd::undo, true),      key('Z', cmd::redo, true, true),
    key(f7, cmd::start_log_record), key(f8, cmd::start_record_pass),
};

constexpr std::array kFullTable = {
    chr('+', cmd::increase),
    chr('-', cmd::decrease),
    chr('=', cmd::increase),
    key('C', cmd::copy_cells, true),
    key('C', cmd::crop_log_file, true, true),
    key('E', cmd::open_cell_editor, true),
    key('I', cmd::interpolate),
    key('L', cmd::load_log_file, true),
    key('M', cmd::drop_marker),
    key('M', cmd::smooth_map, true, true),
    key('O', cmd::open_calibration, true),
    key('R', cmd::replicate_fuel_correction, true),
    key('S', cmd::save, true),
    key('V', cmd::paste_cells, true),
    key(down, cmd::move_down),
    key(down, cmd::extend_down, false, true),
    key(escape, cmd::clear_visits),
    key(f7, cmd::start_log_record),
    key(f8, cmd::start_record_pass),
    key(left, cmd::move_left),
    key(left, cmd::extend_left, false, true),
    key(page_down, cmd::decrease_large),
    key(page_up, cmd::increase_large),
    key(right, cmd::move_right),
    key(right, cmd::extend_right, false, true),
    key(up, cmd::move_up),
    key(up, cmd::extend_up, false, true),
    key('X', cmd::extrapolate_boost_up, true, true),
    key('Y', cmd::redo, true),
    key('Z', cmd::undo, true),
    key('Z', cmd::redo, true, true),
};

bool matches(const Accelerator& a, const KeyPress& k) {
    if (k.alt) return false;
    if (a.character != 0) return !k.ctrl && k.text.size() == 1 && k.text[0] == a.character;
    return a.code == k.code && a.ctrl == k.ctrl && a.shift == k.shift;
}

bool opens_cell_editor(const KeyPress& k) {
    return (k.code >= '0' && k.code <= '9') || k.code == delete_key;
}

}  // namespace

std::span<const Accelerator> accelerators(AcceleratorTable table) {
    if (table == AcceleratorTable::short_109) return kShortTable;
    return kFullTable;
}

AcceleratorTable choose_accelerator_table(Page visible, bool main_window_focused) {
    if (visible == Page::parameters || visible == Page::ls_switches) {
        return AcceleratorTable::short_109;
    }
    if (visible == Page::boost_control && !main_window_focused) return AcceleratorTable::short_109;
    return AcceleratorTable::full_133;
}

std::optional<int> translate_accelerator(AcceleratorTable table, const KeyPress& key) {
    for (const Accelerator& a : accelerators(table)) {
        if (matches(a, key)) return a.command;
    }
    return std::nullopt;
}

bool edits_text(const KeyPress& key) {
    if (key.alt) return false;
    // Select all, the clipboard and the field's own undo.
    if (key.ctrl) {
        return key.code == 'A' || key.code == 'C' || key.code == 'V' || key.code == 'X' ||
               key.code == 'Y' || key.code == 'Z';
    }
    return key.code != f7 && key.code != f8 && key.code != escape;
}

KeyRoute route_key(const KeyPress& key, Page visible, KeyFocus focus, bool cell_editor_open) {
    if (cell_editor_open) {
        if (key.code == escape) return {KeyAction::cancel_edit, 0};
        if (key.code == enter) return {KeyAction::commit_edit, 0};
        return {};
    }
    if (focus == KeyFocus::text_field && edits_text(key)) return {};
    const bool main_window_focused = focus == KeyFocus::main_window;
    const AcceleratorTable table = choose_accelerator_table(visible, main_window_focused);
    if (const auto command = translate_accelerator(table, key)) {
        return {KeyAction::command, *command};
    }
    // No table has Home; on the log viewer it shows the whole log again,
    // and ] and [ go to the next and the previous marker.
    if (visible == Page::log_viewer && !key.ctrl && !key.alt) {
        if (key.code == home && !key.shift) return {KeyAction::command, cmd::whole_log_view};
        if (key.text == "]") return {KeyAction::command, cmd::next_marker};
        if (key.text == "[") return {KeyAction::command, cmd::previous_marker};
    }
    // The main window takes digits and Delete itself: on a map page they start
    // an in-place entry with the key already typed.
    if (main_window_focused && opens_cell_editor(key) &&
        page_rules(visible).kind == TableKind::map) {
        return {KeyAction::open_cell_editor, 0};
    }
    return {};
}

}  // namespace veloquin
