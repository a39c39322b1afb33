#pragma once
// One live record as a log row. The recorder and any replay of recorded
// records go through this one conversion, so a log means the same whatever
// filled it.

#include <cstdint>

#include "base/live_record.h"
#include "calibration/calibration.h"
#include "datalogs/log_sample.h"

namespace veloquin {

// Sets every field the device reports; inj_pulse, rpm_per_speed, flags and
// aux are left as the slot held them.
void fill_sample_from_live(LogSample& sample, const LiveRecord& record, const Calibration& cal,
                           std::uint32_t time_ms);

// Throttle opening in percent between the calibrated closed and open
// readings; 0 when the two coincide.
float live_throttle_percent(const Calibration& cal, int counts);

}  // namespace veloquin
