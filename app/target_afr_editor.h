#pragma once
// The "Target AFR" editor: the target table the fuel learning aims at,
// edited as the fuel correction map is. The table sits in the fuel
// correction map of a scratch calibration that carries the real one's axes,
// so the map editor's keys (the same accelerator table), mouse rules, steps,
// copy and paste, "Interpolate" and in-place entry work on it unchanged; the
// cells read tenths of AFR (147 is 14.7). Every change is written to the file
// at once, and is a step of the window's own undo and redo. The table never
// reaches the real calibration or the device.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "app/key_routing.h"
#include "app/typed_entry.h"
#include "base/live_record.h"
#include "base/paint_model.h"
#include "base/platform.h"
#include "calibration/calibration.h"
#include "editors/editor_mouse.h"
#include "editors/editor_state.h"
#include "learn/target_afr.h"

namespace veloquin {

// What an input asks of the window, in the order to carry it out.
struct TargetAfrOutcome {
    bool close_entry = false;   // close the in-place entry without storing it
    bool commit_entry = false;  // Enter: hand the entry's text to `enter`
    bool open_entry = false;    // open it over the cursor cell, holding `typed`
    bool changed = false;       // the table changed (and was written)
    bool repaint = false;
    std::string typed;
    std::string note;  // for the lower line; empty: nothing to say
};

class TargetAfrEditor {
  public:
    // Reads the table from `folder` (the defaults when there is none, or it
    // cannot be read: the result says why), the axes from `cal`.
    TargetAfrRead open(const std::filesystem::path& folder, const Calibration& cal);

    // A key pressed in the window, `entry_open` while the in-place entry is.
    TargetAfrOutcome key(const KeyPress& key, bool entry_open, Platform& platform);
    // The in-place entry's text, Enter pressed: stored in every selected cell.
    TargetAfrOutcome enter(std::string_view typed);
    TargetAfrOutcome left_down(const MouseEvent& e);
    TargetAfrOutcome mouse_move(const MouseEvent& e);
    TargetAfrOutcome double_click(const MouseEvent& e);

    const TargetAfrTable& table() const { return table_; }
    EditorState& state() { return state_; }
    int undo_steps() const { return static_cast<int>(undo_.size()); }
    int redo_steps() const { return static_cast<int>(redo_.size()); }
    // Why the last change could not be written (it is kept and written next time).
    const std::string& save_error() const { return save_error_; }
    void paint(int width, int height, PaintModel& model);

  private:
    TargetAfrOutcome command(int id, Platform& platform);
    TargetAfrOutcome step_history(bool undoing);
    // Takes the scratch map back as the table; a step if anything changed.
    TargetAfrOutcome take_scratch(std::string note);
    void write();

    std::filesystem::path folder_;
    Calibration scratch_;
    EditorState state_;
    LiveRecord live_;
    TargetAfrTable table_;
    std::vector<TargetAfrTable> undo_;
    std::vector<TargetAfrTable> redo_;
    std::string save_error_;
};

}  // namespace veloquin
