#pragma once
// A recorded sample back as the live record it was made from. The log holds
// converted values (boost in bar, MAF input in volts, throttle in percent);
// the calibration's own conversions are inverted so that a sample recorded
// from a live record gives back that record's counts exactly, and so the
// learning from a log does what live automapping did with the same records.

#include "base/live_record.h"
#include "calibration/calibration.h"
#include "datalogs/log_sample.h"

namespace veloquin {

// The MAP counts whose pressure conversion gives `boost`; for a value the
// conversion never gives (a log file rounds to two decimals), the nearest.
int map_counts_of_boost(const Calibration& cal, float boost);
// The throttle counts whose percent conversion gives `percent`, or the nearest.
int throttle_counts_of_percent(const Calibration& cal, float percent);

// Engine speed, MAP, MAF input and throttle as counts; the other words are 0.
LiveRecord replay_record(const LogSample& sample, const Calibration& cal);

}  // namespace veloquin
