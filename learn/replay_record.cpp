#include "learn/replay_record.h"

#include <algorithm>
#include <cmath>

#include "calibration/conversions.h"
#include "datalogs/live_sample.h"

namespace veloquin {
namespace {

constexpr double kWordMin = -32768.0;
constexpr double kWordMax = 32767.0;

// The record carries signed 16-bit words.
int word_of(double v) {
    if (!(v == v)) return 0;  // NaN from a damaged file
    return static_cast<int>(std::lround(std::clamp(v, kWordMin, kWordMax)));
}

// `guess` inverts the conversion in double precision; the recorded value went
// through single precision, so the exact count is the guess or a neighbour.
template <typename Convert>
int exact_counts(double guess, float recorded, Convert convert) {
    const int c = word_of(guess);
    for (const int d : {0, -1, 1}) {
        const int candidate = std::clamp(c + d, -32768, 32767);
        if (convert(candidate) == recorded) return candidate;
    }
    return c;
}

}  // namespace

int map_counts_of_boost(const Calibration& cal, float boost) {
    const int v05 = cal.param(hw::MAP_05V);
    const int span = cal.param(hw::MAP_00V) - v05;
    if (span == 0) return cal.param(hw::MAP_00V);  // every reading is 0 bar then
    const double guess = (static_cast<double>(boost) + 0.5) / 0.5 * span + v05;
    return exact_counts(guess, boost,
                        [&](int c) { return static_cast<float>(counts_to_bar(cal, c)); });
}

int throttle_counts_of_percent(const Calibration& cal, float percent) {
    const int lo = cal.param(hw::THROTTLE_LO);
    const int span = cal.param(hw::THROTTLE_HI) - lo;
    if (span == 0) return lo;
    const double guess = static_cast<double>(percent) * span / 100.0 + lo;
    return exact_counts(guess, percent, [&](int c) { return live_throttle_percent(cal, c); });
}

LiveRecord replay_record(const LogSample& sample, const Calibration& cal) {
    LiveRecord r;
    r.set_word(2, word_of(sample.rpm));
    r.set_word(6, map_counts_of_boost(cal, sample.boost));
    // counts_to_volts is exactly inverted by volts_to_counts over 0..4095.
    r.set_word(8, volts_to_counts(sample.maf_in));
    r.set_word(12, throttle_counts_of_percent(cal, sample.throttle));
    return r;
}

}  // namespace veloquin
