#include "app/target_afr_editor.h"

#include <algorithm>

#include "editors/cursor_keys.h"
#include "editors/graph_editors.h"
#include "editors/map_operations.h"

namespace veloquin {
namespace {

// An undo history longer than this is more than a session of edits.
constexpr std::size_t kUndoDepth = 200;

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
    save_error_.clear();
    return read;
}

bool TargetAfrEditor::key(TargetAfrKey k, bool extend) {
    const TargetAfrTable before = table_;
    const Page page = Page::fuel_correction;
    switch (k) {
        case TargetAfrKey::left:
            move_cursor(state_, page, CursorMove::left, extend);
            return false;
        case TargetAfrKey::right:
            move_cursor(state_, page, CursorMove::right, extend);
            return false;
        case TargetAfrKey::up:
            move_cursor(state_, page, CursorMove::up, extend);
            return false;
        case TargetAfrKey::down:
            move_cursor(state_, page, CursorMove::down, extend);
            return false;
        case TargetAfrKey::increase:
            step_values(state_, scratch_, page, ValueStep::increase);
            break;
        case TargetAfrKey::decrease:
            step_values(state_, scratch_, page, ValueStep::decrease);
            break;
        case TargetAfrKey::increase_large:
            step_values(state_, scratch_, page, ValueStep::increase_large);
            break;
        case TargetAfrKey::decrease_large:
            step_values(state_, scratch_, page, ValueStep::decrease_large);
            break;
        case TargetAfrKey::interpolate:
            interpolate_selection(state_, scratch_, page);
            break;
        case TargetAfrKey::undo:
            if (undo_.empty()) return false;
            table_ = undo_.back();
            undo_.pop_back();
            table_into(table_, scratch_);
            return changed(before);
    }
    table_ = table_of(scratch_);
    table_into(table_, scratch_);  // a step past the ends comes back inside
    if (table_ == before) return false;
    undo_.push_back(before);
    if (undo_.size() > kUndoDepth) undo_.erase(undo_.begin());
    return changed(before);
}

bool TargetAfrEditor::changed(const TargetAfrTable& before) {
    if (table_ == before) return false;
    save_error_.clear();
    if (!write_target_afr(folder_, table_, &save_error_) && save_error_.empty())
        save_error_ = "not written";
    return true;
}

void TargetAfrEditor::paint(int width, int height, PaintModel& model) {
    paint_editor(EditorKind::fuel_correction, EditorView{width, height, scratch_, state_, live_},
                 model);
}

}  // namespace veloquin
