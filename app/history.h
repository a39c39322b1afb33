#pragma once
// The undo history of the calibration: every user change, whatever made it,
// as one step that can be undone and redone.
//
// A step keeps only the words it changed (index, before, after), so memory is
// bounded by kMaxSteps steps of at most kCalibrationWords changes each:
// 256 x 2530 x 6 bytes, about 3.9 MB in the worst case of 256 whole-file
// opens; a typical edit costs a few dozen bytes.
//
// The history also knows the words as they stood at its last step (the base).
// Changes nobody recorded since then are the program's own normalisation (a
// field whose shown text reads back to a slightly different word); they are
// folded into the next step or the next undo, so each undo and redo lands on
// exactly the words the calibration had at that point. Words the device
// sends are different: they are the new base (adopt), so an undo after a
// download reverts only what the undone step itself changed and never pushes
// the previous device's data back over what this one holds.

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "calibration/calibration.h"
#include "datalogs/log_sample.h"
#include "datalogs/log_viewer.h"

namespace veloquin {

inline constexpr int kCalibrationWords = kHeaderWords + kMapCount * kMapCells + kCurveWords;
// Header, the four maps and the curves as one run of words.
using CalibrationWords = std::array<std::int16_t, kCalibrationWords>;
CalibrationWords calibration_words(const Calibration& cal);

struct WordChange {
    std::uint16_t index;
    std::int16_t before;
    std::int16_t after;
};

// "Open calibration" also names the file that "Save" writes to; its undo
// must name the earlier file again, or Save would write the old words over
// the file just opened.
struct FileSwitch {
    std::string path_before, name_before;
    std::string path_after, name_after;
};

// The log on the other side of a crop, with its marks and the viewer's
// zoom: an undo and a redo swap it with the log on show.
struct LogSnapshot {
    std::vector<LogSample> samples;  // the valid samples only
    std::int32_t cursor_px = 0, anchor_px = 0;
    std::int32_t marked_view_first = 0, marked_view_count = 0;
    SampleRange range;
    int zoomed_log_count = 0;
    std::vector<LogMarker> markers;
};
LogSnapshot take_log_snapshot(const LogBuffer& log, const LogView& view);
// Puts the snapshot's log on show and keeps the one that was there.
void swap_log(LogSnapshot& snapshot, LogBuffer& log, LogView& view);

// What a step changed beside the words.
struct StepExtras {
    // Map cells the step marked as visited (a paste); an undo clears them.
    std::vector<std::uint16_t> visits;
    std::shared_ptr<LogSnapshot> log;
    bool empty() const { return visits.empty() && !log; }
};

struct HistoryStep {
    std::string what;                 // "Interpolate", "Page Up on MAF Emulation"
    std::vector<WordChange> changes;  // sorted by index
    std::optional<FileSwitch> file;
    StepExtras extras;
};

class CalibrationHistory {
  public:
    static constexpr std::size_t kMaxSteps = 256;
    // A crop keeps the whole log it cut (up to 4.5 MB); only the newest few can be undone.
    static constexpr std::size_t kMaxLogSteps = 8;

    // Forgets every step; the calibration as it is becomes the base.
    void reset(const Calibration& cal);
    // The calibration's words `now` are the result of `what`. False, and no
    // step, when they equal the base and there are no extras. A new step
    // clears what could be redone.
    bool record(const CalibrationWords& now, std::string what, std::optional<FileSwitch> file = {},
                StepExtras extras = {});
    // Another log came in: the crops of the one before cannot be undone on it.
    void forget_log_steps();
    // Words that changed from `before` to `now` came from the device: they
    // are taken into the base without a step.
    void adopt(const CalibrationWords& before, const CalibrationWords& now);

    // Undo or redo one step on `cal`; null when there is none. The step
    // returned is the one just applied (now on the other stack).
    const HistoryStep* undo(Calibration& cal);
    const HistoryStep* redo(Calibration& cal);

    const HistoryStep* next_undo() const { return undo_.empty() ? nullptr : &undo_.back(); }
    const HistoryStep* next_redo() const { return redo_.empty() ? nullptr : &redo_.back(); }
    std::size_t undo_count() const { return undo_.size(); }
    std::size_t redo_count() const { return redo_.size(); }
    // Heap and object bytes the history holds.
    std::size_t memory_bytes() const;

  private:
    void keep_newest_log_steps(std::size_t n);
    void fold_unrecorded_changes(HistoryStep& step, const CalibrationWords& now, bool undoing);
    const HistoryStep* move_step(std::deque<HistoryStep>& from, std::deque<HistoryStep>& to,
                                 Calibration& cal, bool undoing);

    CalibrationWords base_{};
    std::deque<HistoryStep> undo_;
    std::deque<HistoryStep> redo_;
};

}  // namespace veloquin
