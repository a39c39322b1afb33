#pragma once
// A recording may run longer than the log holds (a drive of an hour at 50
// records a second, or the full line rate): the file keeps every sample, and
// the log in memory keeps the newest ones. Dropping one sample at a time
// would move the whole log at every record, so the oldest tenth goes at once
// and is kept aside, and the end of the recording puts back what is needed
// for the log to hold exactly its newest LOG_CAPACITY samples.

#include <cstdint>
#include <vector>

#include "datalogs/log_sample.h"

namespace veloquin {

struct RecordingTail {
    std::vector<LogSample> spilled;  // the samples dropped last, oldest first
    std::uint64_t dropped = 0;       // samples dropped since the recording began
};

inline constexpr int kRecordingSpillSamples = LOG_CAPACITY / 10;

// Makes sure slot log.count exists for the next sample: a full log moves its
// oldest tenth out (the viewer's cursor and selection are cleared, as the
// samples under them moved).
void make_room_for_sample(LogBuffer& log, RecordingTail& tail);

// Once the recording has ended: the newest LOG_CAPACITY samples in order.
void restore_newest_samples(LogBuffer& log, const RecordingTail& tail);

}  // namespace veloquin
