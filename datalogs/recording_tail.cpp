#include "datalogs/recording_tail.h"

#include <algorithm>

namespace veloquin {

void make_room_for_sample(LogBuffer& log, RecordingTail& tail) {
    if (log.count < LOG_CAPACITY) return;
    const auto spill = static_cast<std::ptrdiff_t>(kRecordingSpillSamples);
    tail.spilled.assign(log.samples.begin(), log.samples.begin() + spill);
    std::move(log.samples.begin() + spill, log.samples.begin() + log.count, log.samples.begin());
    log.count -= kRecordingSpillSamples;
    tail.dropped += static_cast<std::uint64_t>(kRecordingSpillSamples);
    clear_log_cursor(log);
    log.mark_changed();
}

void restore_newest_samples(LogBuffer& log, const RecordingTail& tail) {
    const int missing = std::min(LOG_CAPACITY - log.count, static_cast<int>(tail.spilled.size()));
    if (missing <= 0) return;
    std::move_backward(log.samples.begin(), log.samples.begin() + log.count,
                       log.samples.begin() + log.count + missing);
    std::copy(tail.spilled.end() - missing, tail.spilled.end(), log.samples.begin());
    log.count += missing;
    clear_log_cursor(log);
    log.mark_changed();
}

}  // namespace veloquin
