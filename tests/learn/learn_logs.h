#pragma once
// Logs made as the recorder makes them: live records through
// fill_sample_from_live, one every 20 ms.

#include <algorithm>
#include <filesystem>
#include <vector>

#include "base/live_record.h"
#include "calibration/conversions.h"
#include "datalogs/live_sample.h"
#include "datalogs/log_file.h"
#include "datalogs/log_sample.h"
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
    LogSample& s = log.next_slot();
    fill_sample_from_live(s, r, cal, 1000U + 20U * static_cast<std::uint32_t>(log.count));
    ++log.count;
}

// A calibration for learning: tuned, the fuel map over throttle, AFR 14.0 wanted.
inline Calibration learning_calibration() {
    Calibration cal = tuned_calibration();
    cal.param(hw::FLM_LOAD) = 0;
    cal.param(hw::O2FB_Target) = 1400;
    for (int i = 0; i < cv::AFR_PROTECT_POINTS; ++i)
        cal.curve_word(cv::AFR_PROTECT + i) = 150;  // AFR 15.0 allowed at any boost
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

// A drive over much of both maps, lean at high rpm, written as a log file.
inline void write_drive_log(const Calibration& cal, const std::filesystem::path& path) {
    LogBuffer log;
    int rpm = 1500;
    int map = cal.param(hw::MAP_LO) + 300;
    std::uint32_t seed = 99;
    for (int i = 0; i < 6000; ++i) {
        seed = seed * 1103515245U + 12345U;
        rpm = std::clamp(rpm + static_cast<int>((seed >> 8) % 61) - 30, 1200, 6500);
        map = std::clamp(map + static_cast<int>((seed >> 16) % 21) - 10, 700, 2600);
        testing::append_record(log, cal,
                               testing::live_record(rpm, map, map / 2 + rpm / 4, 1500 + map / 4));
        LogSample& s = log.samples[static_cast<std::size_t>(i)];
        s.temperature = 30;
        s.afr = rpm > 4000 ? 15.1F : 13.9F;
    }
    log_write_file(log, path);
}

}  // namespace veloquin::testing
