#pragma once
// The "Target AFR" editor: the target table the fuel learning aims at,
// edited with the fuel correction map's own keys and paint. The table sits in
// the fuel correction map of a scratch calibration that carries the real
// one's axes, so the cursor, the selection, the steps and "Interpolate" work
// as they do on that page; the cells read tenths of AFR (147 is 14.7). Every
// change is written to the file at once, and Ctrl+Z takes it back.

#include <filesystem>
#include <string>
#include <vector>

#include "base/live_record.h"
#include "base/paint_model.h"
#include "calibration/calibration.h"
#include "editors/editor_state.h"
#include "learn/target_afr.h"

namespace veloquin {

enum class TargetAfrKey {
    left,
    right,
    up,
    down,
    increase,        // "+": 0.1 AFR
    decrease,        // "-"
    increase_large,  // Page Up
    decrease_large,  // Page Down
    interpolate,     // "I"
    undo,            // Ctrl+Z
};

class TargetAfrEditor {
  public:
    // Reads the table from `folder` (the defaults when there is none, or it
    // cannot be read: the result says why), the axes from `cal`.
    TargetAfrRead open(const std::filesystem::path& folder, const Calibration& cal);

    // What the key did: whether the table changed; `save_error` says why a
    // changed table could not be written (it is kept and written next time).
    bool key(TargetAfrKey k, bool extend = false);
    const std::string& save_error() const { return save_error_; }

    const TargetAfrTable& table() const { return table_; }
    int undo_steps() const { return static_cast<int>(undo_.size()); }
    void paint(int width, int height, PaintModel& model);

  private:
    bool changed(const TargetAfrTable& before);

    std::filesystem::path folder_;
    Calibration scratch_;
    EditorState state_;
    LiveRecord live_;
    TargetAfrTable table_;
    std::vector<TargetAfrTable> undo_;
    std::string save_error_;
};

}  // namespace veloquin
