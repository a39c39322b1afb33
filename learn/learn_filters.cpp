#include "learn/learn_filters.h"

#include <cmath>
#include <limits>

#include "datalogs/log_stats.h"

namespace veloquin {
namespace {

// The samples at either end that fall within the trimmed seconds.
struct KeptRange {
    int first = 0;
    int last = -1;
};

KeptRange kept_range(const LogBuffer& log, float seconds) {
    const int n = log.count;
    if (!(seconds > 0.0F)) return {0, n - 1};
    if (!log_has_times(log)) {
        const double limit = static_cast<double>(n);
        const auto edge = static_cast<int>(
            std::min(std::round(static_cast<double>(seconds) * kStreamRecordsPerSecond), limit));
        return {edge, n - 1 - edge};
    }
    const auto span = static_cast<std::uint32_t>(std::min(
        static_cast<double>(seconds) * 1000.0, double{std::numeric_limits<std::uint32_t>::max()}));
    const auto samples = log.valid();
    const std::uint32_t start = samples.front().time_ms;
    const std::uint32_t end = samples.back().time_ms;
    KeptRange r{0, n - 1};
    // The clock wraps like a 32-bit tick counter, so times are compared as differences.
    while (r.first < n && samples[static_cast<std::size_t>(r.first)].time_ms - start < span)
        ++r.first;
    while (r.last >= 0 && end - samples[static_cast<std::size_t>(r.last)].time_ms < span)
        --r.last;
    return r;
}

// Follows R/S and tells when it leaves the last steady ratio.
class GearWatch {
  public:
    bool changed(const LogSample& s) {
        if (s.speed < kGearMinSpeedKmh || s.rpm <= 0) return false;
        const float ratio = static_cast<float>(s.rpm) / static_cast<float>(s.speed);
        if (ratio_ == 0.0F) {
            ratio_ = ratio;
            return false;
        }
        if (std::fabs(ratio - ratio_) <= kGearChangeShare * ratio_) return false;
        ratio_ = ratio;
        return true;
    }

  private:
    float ratio_ = 0.0F;
};

}  // namespace

LearnFilters LearnFilters::none() {
    LearnFilters f;
    f.trim_on = false;
    f.min_rpm_on = false;
    f.min_temperature_on = false;
    f.throttle_step_on = false;
    f.settle_on = false;
    f.overrun_on = false;
    f.max_afr_on = false;
    f.min_samples = 1;
    return f;
}

std::string_view sample_filter_name(SampleFilter f) {
    switch (f) {
        case SampleFilter::kept:
            return "kept";
        case SampleFilter::log_edges:
            return "first and last seconds";
        case SampleFilter::low_rpm:
            return "below the minimum rpm";
        case SampleFilter::cold:
            return "too cold";
        case SampleFilter::throttle_step:
            return "throttle moving too fast";
        case SampleFilter::settling:
            return "after a gear change or throttle step";
        case SampleFilter::overrun:
            return "overrun";
        case SampleFilter::afr_range:
            return "AFR too lean";
    }
    return {};
}

std::vector<SampleFilter> classify_samples(const LogBuffer& log, const LearnFilters& f, bool fuel) {
    const auto samples = log.valid();
    std::vector<SampleFilter> out(samples.size(), SampleFilter::kept);
    if (samples.empty()) return out;
    const KeptRange kept = f.trim_on ? kept_range(log, f.trim_seconds) : KeptRange{0, log.count};
    GearWatch gear;
    int settle_left = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const LogSample& s = samples[i];
        const bool step = i > 0 && std::fabs(s.throttle - samples[i - 1].throttle) >
                                       std::max(f.max_throttle_step, 0.0F);
        // The watch follows every sample, so a change is seen whatever filters are on.
        const bool shifted = gear.changed(s);
        if (f.settle_on && (step || shifted)) settle_left = std::max(f.settle_samples, 0) + 1;
        const auto index = static_cast<int>(i);
        SampleFilter& verdict = out[i];
        if (index < kept.first || index > kept.last) {
            verdict = SampleFilter::log_edges;
        } else if (f.min_rpm_on && s.rpm < f.min_rpm) {
            verdict = SampleFilter::low_rpm;
        } else if (f.min_temperature_on && s.temperature < f.min_temperature_c) {
            verdict = SampleFilter::cold;
        } else if (f.throttle_step_on && step) {
            verdict = SampleFilter::throttle_step;
        } else if (settle_left > 0) {
            verdict = SampleFilter::settling;
        } else if (f.overrun_on && s.throttle <= kClosedThrottlePercent && s.afr >= f.overrun_afr) {
            verdict = SampleFilter::overrun;
        } else if (fuel && f.max_afr_on && !(s.afr <= f.max_afr)) {
            verdict = SampleFilter::afr_range;
        }
        if (settle_left > 0) --settle_left;
    }
    return out;
}

FilterCounts count_verdicts(const std::vector<SampleFilter>& verdicts) {
    FilterCounts counts{};
    for (const SampleFilter v : verdicts)
        ++counts[static_cast<std::size_t>(v)];
    return counts;
}

bool within_map_axes(const Calibration& cal, const LiveRecord& live, Page page) {
    const bool by_throttle = page == Page::fuel_correction && cal.param(hw::FLM_LOAD) == 0;
    const int reading = by_throttle ? live.throttle_counts() : live.map_counts();
    const int lo = cal.param(by_throttle ? hw::THROTTLE_LO : hw::MAP_LO);
    const int hi = cal.param(by_throttle ? hw::THROTTLE_HI : hw::MAP_HI);
    const int rpm = live.rpm();
    return reading >= std::min(lo, hi) && reading <= std::max(lo, hi) && rpm >= kLowestMapRpm &&
           rpm <= kHighestMapRpm;
}

}  // namespace veloquin
