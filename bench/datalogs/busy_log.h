#pragma once
// A full log whose signals move on every sample, for the viewer benchmarks.

#include <cmath>

#include "datalogs/log_sample.h"

namespace veloquin::bench {

// Signals that move on every sample, so each pixel column has real extremes.
inline void fill_busy_log(LogBuffer& log, int count = 60000) {
    log.count = count;
    log.make_room(count);
    for (int i = 0; i < log.count; ++i) {
        LogSample& s = log.samples[static_cast<std::size_t>(i)];
        const double t = i * 0.01;
        s.rpm = 3500 + static_cast<int>(2500 * std::sin(t)) + (i * 37) % 200;
        s.speed = 60 + static_cast<int>(50 * std::sin(t * 0.3)) + i % 3;
        s.boost = static_cast<float>(0.3 + 0.9 * std::sin(t * 1.7) + 0.01 * (i % 5));
        s.throttle = static_cast<float>(50 + 50 * std::sin(t * 2.1));
        s.maf_in = static_cast<float>(2.5 + 2.4 * std::sin(t * 0.9));
        s.maf_out = static_cast<float>(2.5 + 2.4 * std::cos(t * 0.9));
        s.temperature = 30 + (i / 500) % 40;
        s.afr = static_cast<float>(13 + 3 * std::sin(t * 1.3));
        s.inj_duty = static_cast<float>(40 + 40 * std::sin(t * 0.7));
        s.wg_duty = static_cast<float>(i % 90);
        s.fuel_corr = static_cast<float>(i % 200 - 100);
        s.knock = static_cast<float>((i * 13) % 500) * 0.01F;
        s.ecu_load = 100 + (i * 7) % 90;
        s.ecu_ignition = static_cast<float>(20 + 15 * std::sin(t * 3.1));
    }
    log.flags.fill(true);
    log.set_visible(LogChannel::ls_switches, false);
    log.mark_changed();
}

}  // namespace veloquin::bench
