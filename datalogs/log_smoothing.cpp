#include "datalogs/log_smoothing.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "datalogs/log_file.h"
#include "datalogs/log_words.h"

namespace veloquin {

namespace {

// The float sum of three values near the float limit overflows; a curve
// must stay finite for the viewer's scales, so it is held at the limit. A
// gap (NaN) stays a gap.
float three_point_mean(float after, float before, float here) {
    constexpr float kThird = 0.33333334F;
    constexpr float kMax = std::numeric_limits<float>::max();
    const float mean = (after + before + here) * kThird;
    if (std::isfinite(mean) || std::isnan(mean)) return mean;
    return mean > 0.0F ? kMax : -kMax;
}

template <typename T>
void copy_field(std::span<const LogSample> samples, T LogSample::*field, std::vector<T>& out) {
    out.resize(samples.size());
    std::transform(samples.begin(), samples.end(), out.begin(),
                   [field](const LogSample& s) { return s.*field; });
}

void smooth_mean(std::vector<float>& v) {
    for (std::size_t k = 3; k + 3 <= v.size(); ++k)
        v[k] = three_point_mean(v[k + 1], v[k - 1], v[k]);
}

}  // namespace

LogSample SmoothedColumns::drawn(const LogSample& raw, std::size_t i) const {
    LogSample s = raw;
    if (i < speed.size()) {
        s.speed = speed[i];
        s.boost = boost[i];
        s.inj_duty = inj_duty[i];
        s.ecu_ignition = ecu_ignition[i];
    }
    return s;
}

void smooth_log_columns(std::span<const LogSample> samples, SmoothedColumns& out) {
    copy_field(samples, &LogSample::speed, out.speed);
    copy_field(samples, &LogSample::boost, out.boost);
    copy_field(samples, &LogSample::inj_duty, out.inj_duty);
    copy_field(samples, &LogSample::ecu_ignition, out.ecu_ignition);
    const std::size_t count = samples.size();
    if (count < 6) return;
    // The speed mean looks three samples ahead; for the third-last sample
    // that is past the log, so the last sample's speed stands in.
    for (std::size_t k = 3; k + 3 <= count; ++k) {
        const std::size_t ahead = std::min(k + 3, count - 1);
        const std::int64_t sum = std::int64_t{samples[k - 3].speed} +
                                 2 * std::int64_t{samples[k - 1].speed} + samples[k].speed +
                                 samples[ahead].speed;
        out.speed[k] = truncate_to_int(static_cast<double>(
            static_cast<float>(0.2 * static_cast<double>(static_cast<float>(sum)))));
    }
    smooth_mean(out.boost);
    smooth_mean(out.inj_duty);
    smooth_mean(out.ecu_ignition);
}

void smooth_log(LogBuffer& log) {
    if (log.count < 6) return;
    SmoothedColumns columns;
    smooth_log_columns(log.valid(), columns);
    for (std::size_t i = 0; i < log.valid().size(); ++i)
        log.samples[i] = columns.drawn(log.samples[i], i);
    log.mark_changed();
}

}  // namespace veloquin
