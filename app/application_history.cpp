// The Application's side of undo and redo: which entry points make a step,
// what counts as the user's change, and what an undo owes the screen.

#include "app/application.h"
#include "app/commands.h"

namespace veloquin {
namespace {

// An undo can move any map, so the editors are erased and drawn afresh as
// after a file was opened.
constexpr int kEraseAfterUndo = 2;

class DepthScope {
  public:
    explicit DepthScope(int& depth) : depth_(depth) { ++depth_; }
    ~DepthScope() { --depth_; }
    DepthScope(const DepthScope&) = delete;
    DepthScope& operator=(const DepthScope&) = delete;

  private:
    int& depth_;
};

}  // namespace

void Application::undoable(const std::string& what, const std::function<void()>& work) {
    if (undo_depth_ > 0) {
        work();
        return;
    }
    const CalibrationWords before = calibration_words(state_.cal);
    const std::string path = state_.calibration_path;
    const std::string name = state_.calibration_name;
    const VisitMarks visits_before = state_.editor.visits;
    pending_log_.reset();
    {
        const DepthScope depth(undo_depth_);
        work();
    }
    const CalibrationWords after = calibration_words(state_.cal);
    StepExtras extras;
    extras.log = std::move(pending_log_);
    for (int i = 0; i < kMapCells; ++i) {
        const int row = i / kMapCols;
        const int col = i % kMapCols;
        if (state_.editor.visits.marked(row, col) && !visits_before.marked(row, col)) {
            extras.visits.push_back(static_cast<std::uint16_t>(i));
        }
    }
    if (after == before && extras.empty()) return;
    // A change made while automapping runs ends that run's step first, so
    // each keeps its own words.
    if (automapping_changed_) {
        history_.record(before, std::string(kAutomappingStepName));
        automapping_changed_ = false;
    }
    std::optional<FileSwitch> file;
    if (path != state_.calibration_path || name != state_.calibration_name) {
        file = FileSwitch{path, name, state_.calibration_path, state_.calibration_name};
    }
    history_.record(after, what, std::move(file), std::move(extras));
}

void Application::commit_typed_fields(const std::function<void()>& read_back, int skip) {
    // The field still being typed into is neither read nor counted as committed.
    const auto index = static_cast<std::size_t>(skip);
    PageControls typed = state_.controls;
    if (skip >= 0) typed.values[index] = committed_controls_.values[index];
    const std::string what = fields_step_name(typed, committed_controls_);
    if (what.empty()) {
        read_back();
    } else {
        undoable(what, read_back);
    }
    const ControlValue kept = skip >= 0 ? committed_controls_.values[index] : ControlValue{};
    committed_controls_ = state_.controls;
    if (skip >= 0) committed_controls_.values[index] = kept;
}

void Application::record_automapping_run() {
    if (!automapping_changed_) return;
    automapping_changed_ = false;
    history_.record(calibration_words(state_.cal), std::string(kAutomappingStepName));
}

void Application::take_in_poll_changes(CalibrationWords& seen, bool by_automapping) {
    const CalibrationWords now = calibration_words(state_.cal);
    if (now == seen) return;
    if (by_automapping) {
        automapping_changed_ = true;
    } else {
        history_.adopt(seen, now);
    }
    seen = now;
}

void Application::undo_or_redo(bool undoing) {
    if (state_.cell_editor_open) cancel_cell_editor();
    // A value typed a moment ago is the newest change: it is committed so the
    // undo takes it back rather than the refill dropping it. Untouched fields
    // are not read back: the refill after the undo shows the words anew.
    const std::string typed = fields_step_name(state_.controls, committed_controls_);
    if (!typed.empty() && has_controls(state_.main_page)) {
        undoable(typed, [this] { read_back_page_with_after_steps(state_.main_page); });
    }
    record_automapping_run();
    const HistoryStep* step = undoing ? history_.undo(state_.cal) : history_.redo(state_.cal);
    if (step == nullptr) return;
    for (const std::uint16_t cell : step->extras.visits) {
        if (undoing) {
            state_.editor.visits.unmark(cell / kMapCols, cell % kMapCols);
        } else {
            state_.editor.visits.mark(cell / kMapCols, cell % kMapCols);
        }
    }
    if (step->extras.log) swap_log(*step->extras.log, state_.log, state_.log_view);
    if (step->file) {
        state_.calibration_path = undoing ? step->file->path_before : step->file->path_after;
        state_.calibration_name = undoing ? step->file->name_before : step->file->name_after;
    }
    fill_all_pages();
    state_.erase_allowance = kEraseAfterUndo;
    platform_.repaint_page();
}

std::optional<MenuEntryState> Application::menu_entry_state(int command_id) const {
    if (auto learn = learn_menu_entry(command_id, state_.learn)) return learn;
    if (command_id == cmd::stop_recording) {
        return MenuEntryState{"Stop recording\tEnter", recording()};
    }
    return edit_menu_entry(command_id, history_,
                           automapping_changed_ ? kAutomappingStepName : std::string_view{});
}

}  // namespace veloquin
