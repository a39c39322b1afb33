#pragma once
// Logs with distinct, printable values for the data-log tests.

#include "datalogs/log_sample.h"

namespace veloquin::testing {

// Sample i has values that tell it apart from its neighbours and that print
// without loss at the file's precisions.
inline LogSample numbered_sample(int i) {
    LogSample s;
    s.rpm = 800 + 10 * i;
    s.speed = i % 120;
    s.boost = -0.5F + 0.25F * static_cast<float>(i % 8);
    s.throttle = static_cast<float>(i % 100);
    s.maf_in = 0.5F * static_cast<float>(i % 10);
    s.maf_out = 0.25F * static_cast<float>(i % 20);
    s.fuel_corr = static_cast<float>((i % 50) - 25);
    s.temperature = (i % 60) - 10;
    s.afr = 10.0F + 0.5F * static_cast<float>(i % 16);
    s.inj_duty = 0.5F * static_cast<float>(i % 100);
    s.knock = 0.25F * static_cast<float>(i % 20);
    s.flags = i % 16;
    s.ecu_load = -1;
    s.ecu_ignition = -1.0F;
    s.wg_duty = static_cast<float>(i % 90);
    return s;
}

inline void fill_numbered(LogBuffer& log, int count) {
    log.count = count;
    log.make_room(count);
    for (int i = 0; i < count; ++i)
        log.samples[static_cast<std::size_t>(i)] = numbered_sample(i);
}

}  // namespace veloquin::testing
