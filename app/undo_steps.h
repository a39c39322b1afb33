#pragma once
// Undo and redo as the program makes its steps: which changes of the
// calibration one entry point makes, what the device or an automapping run
// changed meanwhile (never a step of the tuner's), and putting a step back
// into the program's state. What the window owes after an undo (the pages
// filled anew, a repaint) is the caller's.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/history.h"
#include "app/program_state.h"
#include "app/step_names.h"

namespace veloquin {

class UndoSteps {
  public:
    explicit UndoSteps(ProgramState& state) : state_(state) {}

    const CalibrationHistory& history() const { return history_; }
    // The calibration as it is now is where undoing stops.
    void reset() { history_.reset(state_.cal); }

    // Runs `work` as one step named `what`; a step inside another joins it.
    void undoable(const std::string& what, const std::function<void()>& work);
    // The log a crop is about to cut, kept with the step the crop makes.
    void keep_log(std::shared_ptr<LogSnapshot> before) { pending_log_ = std::move(before); }
    // A new log (loaded or recorded) ends what the crops' steps can give back.
    void forget_log_steps() { history_.forget_log_steps(); }

    // What replaced the calibration outside a command (a download) as one step.
    void record_step(const std::string& what) {
        history_.record(calibration_words(state_.cal), what);
    }
    // An automapping run's learning is one step, ended when the run stops
    // or the tuner changes something.
    void record_automapping_run();
    // Sorts out what changed the calibration during a poll since `seen`: the
    // automapping run's learning, or the device's words (taken as they are).
    void take_in_poll_changes(CalibrationWords& seen, bool by_automapping);

    // Puts the calibration, visit marks, log and file name back (or forward)
    // by one step; false when there is none.
    bool step(bool undoing);

    // The Edit menu's Undo and Redo entries as they stand now.
    std::optional<MenuEntryState> edit_menu_entry(int command_id) const;

  private:
    ProgramState& state_;
    CalibrationHistory history_;
    bool automapping_changed_ = false;
    int depth_ = 0;
    std::shared_ptr<LogSnapshot> pending_log_;
};

}  // namespace veloquin
