#pragma once
// The smoothing the viewer draws speed, boost, injector duty and ECU
// ignition with: weighted means over neighbouring samples. The log keeps
// the values as read, so the smoothed ones are columns of their own.

#include <cstdint>
#include <span>
#include <vector>

#include "datalogs/log_sample.h"

namespace veloquin {

struct SmoothedColumns {
    std::vector<std::int32_t> speed;
    std::vector<float> boost;
    std::vector<float> inj_duty;
    std::vector<float> ecu_ignition;

    // Sample i as drawn: the raw sample with its smoothed fields.
    LogSample drawn(const LogSample& raw, std::size_t i) const;
};

// Speed: 0.2 x (s[k-3] + 2 s[k-1] + s[k] + s[k+3]) of the values as read;
// boost, injector duty and ignition: the mean of the next value, the
// smoothed one before and this one. The first three and the last two
// samples, and logs under six samples, are left as they are.
void smooth_log_columns(std::span<const LogSample> samples, SmoothedColumns& out);

}  // namespace veloquin
