#pragma once
// The parameter pages' fields between the window and the calibration: filling
// them from the calibration, taking what was typed back in (with the steps
// that follow a page's read-back), and telling a typed field from one that
// only shows its word, so that only the tuner's typing makes an undo step.

#include <functional>

#include "app/page_controls.h"
#include "app/program_state.h"
#include "app/undo_steps.h"
#include "base/platform.h"

namespace veloquin {

class ParameterFields {
  public:
    ParameterFields(ProgramState& state, Platform& platform, UndoSteps& steps)
        : state_(state), platform_(platform), steps_(steps) {}

    // Every page's fields from the calibration.
    void fill_all();
    // The page switch's read-back of every page, then every page filled anew.
    void commit_and_refresh_all();
    // One page's read-back and the steps after it (derived values, a moved
    // methanol axis drawn anew); `skip` is a field still being typed into.
    void read_back(Page page, int skip = -1);
    // A read-back that is an undo step when a field was typed into; `skip`
    // is left as it is, neither read nor counted as committed.
    void commit_typed(const std::function<void()>& read_back, int skip = -1);
    // Whether a field of the page holds what the tuner typed.
    bool touched(Page page) const;
    // The step name of what is typed and not committed yet; empty for none.
    std::string typed_step_name() const;

  private:
    ProgramState& state_;
    Platform& platform_;
    UndoSteps& steps_;
    // The field texts as last filled or committed: a text that differs was typed.
    PageControls committed_;
};

}  // namespace veloquin
