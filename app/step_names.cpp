#include "app/step_names.h"

#include <algorithm>

#include "app/commands.h"
#include "app/key_routing.h"
#include "editors/editor_mouse.h"
#include "editors/pages.h"

namespace veloquin {
namespace {

std::string on_page(std::string_view what, Page page) {
    return std::string(what) + " on " + std::string(page_title(page));
}

std::optional<std::string_view> menu_text_of(int command_id) {
    for (const Menu& menu : menu_bar()) {
        for (const MenuEntry& e : menu.entries) {
            if (e.command_id == command_id) return e.text;
        }
    }
    for (const MenuEntry& e : map_popup_menu()) {
        if (e.command_id == command_id) return e.text;
    }
    return std::nullopt;
}

// Written as the menus write keys ("Ctrl-Shift-C").
std::string key_name(const Accelerator& a) {
    std::string name = a.ctrl ? "Ctrl-" : "";
    if (a.shift) name += "Shift-";
    switch (a.code) {
        case keycode::page_up:
            return name + "Page Up";
        case keycode::page_down:
            return name + "Page Down";
        case keycode::delete_key:
            return name + "Delete";
        default:
            return name + static_cast<char>(a.code);
    }
}

std::string trimmed(std::string_view s) {
    const auto first = s.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return std::string(s.substr(first, s.find_last_not_of(' ') - first + 1));
}

bool same_value(const ControlValue& a, const ControlValue& b) {
    return a.text == b.text && a.checked == b.checked && a.index == b.index;
}

// A pair's second field, and the fields behind a check box, have no label of
// their own: the row's label is the nearest one before them in their group.
std::string control_label(std::size_t index) {
    const auto table = control_table();
    const ControlInfo& c = table[index];
    for (std::size_t i = index + 1; i-- > 0;) {
        if (table[i].page != c.page || table[i].group != c.group) break;
        if (!table[i].label.empty()) return trimmed(table[i].label);
    }
    return c.key;
}

}  // namespace

std::string menu_step_name(std::string_view menu_text) {
    std::string name(menu_text.substr(0, menu_text.find('\t')));
    std::erase(name, '&');
    while (!name.empty() && (name.back() == '.' || name.back() == ' '))
        name.pop_back();
    return name;
}

std::string command_step_name(int command_id, Page visible) {
    if (const auto text = menu_text_of(command_id)) return menu_step_name(*text);
    // No menu names these; a key's name ("Ctrl-V", "-") says nothing of the change.
    if (command_id == cmd::paste_cells) return "Paste";
    for (const Accelerator& a : accelerators(AcceleratorTable::full_133)) {
        if (a.command != command_id) continue;
        return on_page(a.character != 0 ? std::string("Typing") : key_name(a), visible);
    }
    return on_page("Change", visible);
}

std::string cell_edit_step_name(Page page) {
    return on_page("Edit", page);
}

std::string fields_step_name(const PageControls& now, const PageControls& committed) {
    const auto table = control_table();
    std::optional<std::size_t> first;
    int changed = 0;
    bool one_page = true;
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (same_value(now.values[i], committed.values[i])) continue;
        if (!first) first = i;
        one_page = one_page && table[i].page == table[*first].page;
        ++changed;
    }
    if (!first) return {};
    const Page page = table[*first].page;
    if (changed == 1) return on_page(control_label(*first), page);
    return one_page ? on_page("Fields", page) : "Fields";
}

std::optional<MenuEntryState> edit_menu_entry(int command_id, const CalibrationHistory& history,
                                              std::string_view pending) {
    std::string what;
    std::string text;
    if (command_id == cmd::undo) {
        if (!pending.empty()) {
            what = pending;
        } else if (const HistoryStep* step = history.next_undo()) {
            what = step->what;
        }
        text = "Undo";
    } else if (command_id == cmd::redo) {
        const HistoryStep* step = history.next_redo();
        if (pending.empty() && step != nullptr) what = step->what;
        text = "Redo";
    } else {
        return std::nullopt;
    }
    if (!what.empty()) text += " " + what;
    text += command_id == cmd::undo ? "\tCtrl-Z" : "\tCtrl-Shift-Z";
    return MenuEntryState{text, !what.empty()};
}

}  // namespace veloquin
