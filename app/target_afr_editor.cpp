#include "app/target_afr_editor.h"

#include <algorithm>

#include "app/commands.h"
#include "editors/cursor_keys.h"
#include "editors/editor_commands.h"
#include "editors/graph_editors.h"

namespace veloquin {
namespace {

constexpr Page kPage = Page::fuel_correction;
constexpr EditorKind kKind = EditorKind::fuel_correction;

// An undo history longer than this is more than a session of edits.
constexpr std::size_t kUndoDepth = 200;

// The map editor's commands that make sense on a table of targets. The
// others work on the calibration as a whole ("Replicate Fuel Correction"
// would fold the targets into a MAF map and clear them) and are not offered.
constexpr EditorCommand kTableCommands[] = {
    EditorCommand::move_left,    EditorCommand::move_right,     EditorCommand::move_up,
    EditorCommand::move_down,    EditorCommand::extend_left,    EditorCommand::extend_right,
    EditorCommand::extend_up,    EditorCommand::extend_down,    EditorCommand::increase,
    EditorCommand::decrease,     EditorCommand::increase_large, EditorCommand::decrease_large,
    EditorCommand::clear_visits, EditorCommand::copy,           EditorCommand::paste,
    EditorCommand::interpolate,
};

bool table_command(EditorCommand c) {
    return std::find(std::begin(kTableCommands), std::end(kTableCommands), c) !=
           std::end(kTableCommands);
}

void table_into(const TargetAfrTable& table, Calibration& scratch) {
    std::copy(table.afr10.begin(), table.afr10.end(), scratch.map(MapId::fuel_correction).begin());
}

TargetAfrTable table_of(const Calibration& scratch) {
    TargetAfrTable t;
    const Map& cells = scratch.map(MapId::fuel_correction);
    for (std::size_t k = 0; k < cells.size(); ++k)
        t.afr10[k] =
            static_cast<std::int16_t>(std::clamp<int>(cells[k], kTargetAfrMin, kTargetAfrMax));
    return t;
}

TargetAfrOutcome from_mouse(const MouseResult& r) {
    TargetAfrOutcome out;
    out.close_entry = r.cancel_cell_editor;
    out.open_entry = r.open_cell_editor;
    out.repaint = r.repaint || r.open_cell_editor;
    return out;
}

}  // namespace

TargetAfrRead TargetAfrEditor::open(const std::filesystem::path& folder, const Calibration& cal) {
    folder_ = folder;
    // The axes and how they are shown are the real calibration's; nothing
    // else of the scratch is ever looked at.
    scratch_ = cal;
    TargetAfrRead read = read_target_afr(folder, cal);
    table_ = read.table;
    table_into(table_, scratch_);
    undo_.clear();
    redo_.clear();
    save_error_.clear();
    return read;
}

TargetAfrOutcome TargetAfrEditor::key(const KeyPress& key, bool entry_open, Platform& platform) {
    const KeyRoute route = route_key(key, kPage, KeyFocus::main_window, entry_open);
    TargetAfrOutcome out;
    switch (route.action) {
        case KeyAction::pass:
            break;
        case KeyAction::command:
            return command(route.command, platform);
        case KeyAction::commit_edit:
            out.commit_entry = true;
            break;
        case KeyAction::cancel_edit:
            out.close_entry = true;
            out.repaint = true;
            break;
        case KeyAction::open_cell_editor:
            out.open_entry = true;
            out.typed = key.code == keycode::delete_key ? "" : key.text;
            break;
    }
    return out;
}

TargetAfrOutcome TargetAfrEditor::command(int id, Platform& platform) {
    if (id == cmd::undo || id == cmd::redo) return step_history(id == cmd::undo);
    if (id == cmd::open_cell_editor) {
        TargetAfrOutcome out;
        out.open_entry = true;
        return out;
    }
    const auto editing = editor_command_for_id(id);
    if (!editing || !table_command(*editing)) return {};
    return take_scratch(apply_editor_command(state_, scratch_, *editing, kPage, platform));
}

TargetAfrOutcome TargetAfrEditor::enter(std::string_view typed) {
    const CellEntry entry = target_afr_entry(typed);
    if (entry.value) {
        EditorCursor& c = state_.cursor;
        update_selection(c, scratch_);
        for (int row = c.first_row; row <= c.last_row; ++row) {
            for (int col = c.first_col; col <= c.last_col; ++col)
                scratch_.cell(MapId::fuel_correction, row, col) =
                    static_cast<std::int16_t>(*entry.value);
        }
    }
    TargetAfrOutcome out = take_scratch(entry.note);
    out.close_entry = true;
    return out;
}

TargetAfrOutcome TargetAfrEditor::left_down(const MouseEvent& e) {
    return from_mouse(editor_left_down(kKind, state_, e));
}

TargetAfrOutcome TargetAfrEditor::mouse_move(const MouseEvent& e) {
    return from_mouse(editor_mouse_move(kKind, state_, e));
}

TargetAfrOutcome TargetAfrEditor::double_click(const MouseEvent& e) {
    return from_mouse(editor_double_click(kKind, state_, e));
}

TargetAfrOutcome TargetAfrEditor::take_scratch(std::string note) {
    TargetAfrOutcome out;
    out.repaint = true;
    out.note = std::move(note);
    const TargetAfrTable before = table_;
    table_ = table_of(scratch_);
    table_into(table_, scratch_);  // a step past the ends comes back inside
    if (table_ == before) return out;
    undo_.push_back(before);
    if (undo_.size() > kUndoDepth) undo_.erase(undo_.begin());
    redo_.clear();
    out.changed = true;
    write();
    return out;
}

TargetAfrOutcome TargetAfrEditor::step_history(bool undoing) {
    std::vector<TargetAfrTable>& from = undoing ? undo_ : redo_;
    std::vector<TargetAfrTable>& to = undoing ? redo_ : undo_;
    TargetAfrOutcome out;
    if (from.empty()) return out;
    to.push_back(table_);
    table_ = from.back();
    from.pop_back();
    table_into(table_, scratch_);
    out.repaint = true;
    out.changed = true;
    write();
    return out;
}

void TargetAfrEditor::write() {
    save_error_.clear();
    if (!write_target_afr(folder_, table_, &save_error_) && save_error_.empty())
        save_error_ = "not written";
}

void TargetAfrEditor::paint(int width, int height, PaintModel& model) {
    paint_editor(kKind, EditorView{width, height, scratch_, state_, live_}, model);
}

}  // namespace veloquin
