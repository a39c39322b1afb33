#include "app/history.h"

#include <algorithm>

namespace veloquin {
namespace {

constexpr int kMapsStart = kHeaderWords;
constexpr int kCurvesStart = kHeaderWords + kMapCount * kMapCells;

std::int16_t& word_at(Calibration& cal, int index) {
    if (index < kMapsStart) return cal.header[static_cast<std::size_t>(index)];
    if (index < kCurvesStart) {
        const int m = index - kMapsStart;
        return cal
            .maps[static_cast<std::size_t>(m / kMapCells)][static_cast<std::size_t>(m % kMapCells)];
    }
    return cal.curves[static_cast<std::size_t>(index - kCurvesStart)];
}

// Only the data words move: the block sums stay, so a restored block differs
// from what the device holds exactly as an edited one does, and the upload
// loop sends it.
void apply(Calibration& cal, const HistoryStep& step, bool undoing) {
    for (const WordChange& c : step.changes)
        word_at(cal, c.index) = undoing ? c.before : c.after;
}

std::size_t string_bytes(const std::string& s) {
    return s.capacity() + 1;
}

}  // namespace

CalibrationWords calibration_words(const Calibration& cal) {
    CalibrationWords w{};
    auto out = std::copy(cal.header.begin(), cal.header.end(), w.begin());
    for (const Map& m : cal.maps)
        out = std::copy(m.begin(), m.end(), out);
    std::copy(cal.curves.begin(), cal.curves.end(), out);
    return w;
}

void CalibrationHistory::reset(const Calibration& cal) {
    base_ = calibration_words(cal);
    undo_.clear();
    redo_.clear();
}

bool CalibrationHistory::record(const CalibrationWords& now, std::string what,
                                std::optional<FileSwitch> file, StepExtras extras) {
    HistoryStep step{std::move(what), {}, std::move(file), std::move(extras)};
    for (std::size_t i = 0; i < now.size(); ++i) {
        if (now[i] != base_[i])
            step.changes.push_back({static_cast<std::uint16_t>(i), base_[i], now[i]});
    }
    if (step.changes.empty() && step.extras.empty()) return false;
    step.changes.shrink_to_fit();
    redo_.clear();
    undo_.push_back(std::move(step));
    if (undo_.size() > kMaxSteps) undo_.pop_front();
    keep_newest_log_steps(kMaxLogSteps);
    base_ = now;
    return true;
}

void CalibrationHistory::forget_log_steps() {
    keep_newest_log_steps(0);
}

// Older crops lose their log; a step left with nothing to undo goes.
void CalibrationHistory::keep_newest_log_steps(std::size_t n) {
    std::size_t kept = 0;
    for (std::deque<HistoryStep>* steps : {&redo_, &undo_}) {
        for (auto it = steps->rbegin(); it != steps->rend(); ++it) {
            if (!it->extras.log) continue;
            if (kept < n) {
                ++kept;
            } else {
                it->extras.log.reset();
            }
        }
        std::erase_if(*steps, [](const HistoryStep& s) {
            return s.changes.empty() && s.extras.empty() && !s.file;
        });
    }
}

LogSnapshot take_log_snapshot(const LogBuffer& log, const LogView& view) {
    const std::span<const LogSample> valid = log.valid();
    LogSnapshot s;
    s.samples.assign(valid.begin(), valid.end());
    s.cursor_px = log.cursor_px;
    s.anchor_px = log.anchor_px;
    s.marked_view_first = log.marked_view_first;
    s.marked_view_count = log.marked_view_count;
    s.range = view.range;
    s.zoomed_log_count = view.zoomed_log_count;
    s.markers = log.markers;
    return s;
}

void swap_log(LogSnapshot& snapshot, LogBuffer& log, LogView& view) {
    LogSnapshot shown = take_log_snapshot(log, view);
    log.count = static_cast<std::int32_t>(snapshot.samples.size());
    log.make_room(log.count);
    std::copy(snapshot.samples.begin(), snapshot.samples.end(), log.samples.begin());
    log.cursor_px = snapshot.cursor_px;
    log.anchor_px = snapshot.anchor_px;
    log.marked_view_first = snapshot.marked_view_first;
    log.marked_view_count = snapshot.marked_view_count;
    view.range = snapshot.range;
    view.zoomed_log_count = snapshot.zoomed_log_count;
    log.markers = snapshot.markers;
    log.mark_changed();
    snapshot = std::move(shown);
}

void CalibrationHistory::adopt(const CalibrationWords& before, const CalibrationWords& now) {
    for (std::size_t i = 0; i < now.size(); ++i) {
        if (now[i] != before[i]) base_[i] = now[i];
    }
}

void CalibrationHistory::fold_unrecorded_changes(HistoryStep& step, const CalibrationWords& now,
                                                 bool undoing) {
    auto& changes = step.changes;
    for (std::size_t i = 0; i < now.size(); ++i) {
        if (now[i] == base_[i]) continue;
        const auto index = static_cast<std::uint16_t>(i);
        const auto at = std::lower_bound(
            changes.begin(), changes.end(), index,
            [](const WordChange& c, std::uint16_t wanted) { return c.index < wanted; });
        if (at != changes.end() && at->index == index) {
            (undoing ? at->after : at->before) = now[i];
        } else if (undoing) {
            changes.insert(at, {index, base_[i], now[i]});
        } else {
            changes.insert(at, {index, now[i], base_[i]});
        }
    }
    std::erase_if(changes, [](const WordChange& c) { return c.before == c.after; });
    changes.shrink_to_fit();
}

const HistoryStep* CalibrationHistory::undo(Calibration& cal) {
    return move_step(undo_, redo_, cal, true);
}

const HistoryStep* CalibrationHistory::redo(Calibration& cal) {
    return move_step(redo_, undo_, cal, false);
}

// Takes the newest step of `from`, applies it backwards (undo) or forwards
// (redo) and keeps it on `to`, whence the opposite command takes it back.
const HistoryStep* CalibrationHistory::move_step(std::deque<HistoryStep>& from,
                                                 std::deque<HistoryStep>& to, Calibration& cal,
                                                 bool undoing) {
    if (from.empty()) return nullptr;
    to.push_back(std::move(from.back()));
    from.pop_back();
    HistoryStep& step = to.back();
    fold_unrecorded_changes(step, calibration_words(cal), undoing);
    apply(cal, step, undoing);
    base_ = calibration_words(cal);
    return &step;
}

std::size_t CalibrationHistory::memory_bytes() const {
    std::size_t bytes = sizeof(*this);
    const auto step_bytes = [](const HistoryStep& s) {
        std::size_t b = sizeof s + string_bytes(s.what) + s.changes.capacity() * sizeof(WordChange);
        if (s.file) {
            b += string_bytes(s.file->path_before) + string_bytes(s.file->name_before) +
                 string_bytes(s.file->path_after) + string_bytes(s.file->name_after);
        }
        b += s.extras.visits.capacity() * sizeof(std::uint16_t);
        if (s.extras.log)
            b += sizeof(LogSnapshot) + s.extras.log->samples.capacity() * sizeof(LogSample);
        return b;
    };
    for (const HistoryStep& s : undo_)
        bytes += step_bytes(s);
    for (const HistoryStep& s : redo_)
        bytes += step_bytes(s);
    return bytes;
}

}  // namespace veloquin
