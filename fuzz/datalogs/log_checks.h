#pragma once
// What every loaded log must satisfy, whatever bytes it came from.

#include <cmath>
#include <cstdlib>
#include <string>

#include "datalogs/log_file.h"
#include "datalogs/log_sample.h"

namespace veloquin::fuzz {

// Values are numbers or gaps (NaN), never infinite.
inline bool finite_sample(const LogSample& s) {
    for (float v : {s.boost, s.maf_in, s.maf_out, s.throttle, s.afr, s.inj_duty, s.wg_duty,
                    s.fuel_corr, s.knock, s.ecu_ignition}) {
        if (std::isinf(v)) return false;
    }
    return true;
}

// The log is in range and finite, and writing it and reading it back gives
// the same number of samples.
inline void check_loaded_log(const LogBuffer& log, LogBuffer& scratch) {
    if (log.count < 0 || static_cast<std::size_t>(log.count) > log.samples.size()) std::abort();
    for (const LogSample& s : log.valid()) {
        if (!finite_sample(s)) std::abort();
    }
    const std::string written = format_log_file(log);
    const LogReadResult again = read_log_text(scratch, written);
    if (!again.ok || again.version != 5 || scratch.count != log.count) std::abort();
}

}  // namespace veloquin::fuzz
