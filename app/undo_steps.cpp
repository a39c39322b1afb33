#include "app/undo_steps.h"

namespace veloquin {

namespace {

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

void UndoSteps::undoable(const std::string& what, const std::function<void()>& work) {
    if (depth_ > 0) {
        work();
        return;
    }
    const CalibrationWords before = calibration_words(state_.cal);
    const std::string path = state_.calibration_path;
    const std::string name = state_.calibration_name;
    const VisitMarks visits_before = state_.editor.visits;
    pending_log_.reset();
    {
        const DepthScope depth(depth_);
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

void UndoSteps::record_automapping_run() {
    if (!automapping_changed_) return;
    automapping_changed_ = false;
    history_.record(calibration_words(state_.cal), std::string(kAutomappingStepName));
}

void UndoSteps::take_in_poll_changes(CalibrationWords& seen, bool by_automapping) {
    const CalibrationWords now = calibration_words(state_.cal);
    if (now == seen) return;
    if (by_automapping) {
        automapping_changed_ = true;
    } else {
        history_.adopt(seen, now);
    }
    seen = now;
}

bool UndoSteps::step(bool undoing) {
    record_automapping_run();
    const HistoryStep* step = undoing ? history_.undo(state_.cal) : history_.redo(state_.cal);
    if (step == nullptr) return false;
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
    return true;
}

std::optional<MenuEntryState> UndoSteps::edit_menu_entry(int command_id) const {
    return veloquin::edit_menu_entry(
        command_id, history_, automapping_changed_ ? kAutomappingStepName : std::string_view{});
}

}  // namespace veloquin
