#pragma once
// Logs made as the recorder makes them: live records through
// fill_sample_from_live, one every 20 ms.

#include <vector>

#include "calibration/conversions.h"
#include "datalogs/live_sample.h"
#include "datalogs/log_sample.h"
#include "device/live_record.h"
#include "tests/editors/editor_fixture.h"

namespace veloquin::testing {

inline LiveRecord live_record(int rpm, int map_counts, int maf_counts, int throttle_counts,
                              int iat_counts = 0, int speed = 0) {
    LiveRecord r;
    r.set_word(2, rpm);
    r.set_word(4, speed);
    r.set_word(6, map_counts);
    r.set_word(8, maf_counts);
    r.set_word(12, throttle_counts);
    r.set_word(14, iat_counts);
    return r;
}

inline void append_record(LogBuffer& log, const Calibration& cal, const LiveRecord& r) {
    LogSample& s = log.samples[static_cast<std::size_t>(log.count)];
    fill_sample_from_live(s, r, cal, 1000U + 20U * static_cast<std::uint32_t>(log.count));
    ++log.count;
}

// A calibration for learning: tuned, the fuel map over throttle, AFR 14.0 wanted.
inline Calibration learning_calibration() {
    Calibration cal = tuned_calibration();
    cal.param(hw::FLM_LOAD) = 0;
    cal.param(hw::O2FB_Target) = 1400;
    for (int r = 0; r < kMapRows; ++r) {
        for (int c = 0; c < kMapCols; ++c)
            cal.cell(MapId::map_2_maf, r, c) = static_cast<std::int16_t>(500 + 80 * r + 50 * c);
    }
    return cal;
}

// The MAP and throttle counts at the middle of row r, where the live box is that row alone.
inline int map_counts_of_row(const Calibration& cal, int row) {
    const int lo = cal.param(hw::MAP_LO);
    return lo + (cal.param(hw::MAP_HI) - lo) * row / 23;
}
inline int throttle_counts_of_row(const Calibration& cal, int row) {
    const int lo = cal.param(hw::THROTTLE_LO);
    return lo + (cal.param(hw::THROTTLE_HI) - lo) * row / 23;
}

}  // namespace veloquin::testing
