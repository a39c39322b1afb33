#pragma once
// Which samples of a recorded log may teach a map. A log holds moments that
// lie about the steady engine: the first and last seconds, idle, a cold
// engine, throttle transients and the records right after a gear change or a
// throttle step, while the wide-band probe still reports the mixture of a
// moment before. Each filter names one of them and can be switched off.

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "base/live_record.h"
#include "base/page.h"
#include "calibration/calibration.h"
#include "datalogs/log_sample.h"

namespace veloquin {

struct LearnFilters {
    bool trim_on = true;
    float trim_seconds = 2.0F;  // at either end of the log
    bool min_rpm_on = true;
    int min_rpm = 1000;  // idle lies below
    bool min_temperature_on = true;
    int min_temperature_c = 5;  // intake air, as the log records it
    bool throttle_step_on = true;
    float max_throttle_step = 0.5F;  // percent per sample; also what counts as a step below
    bool settle_on = true;
    int settle_samples = 40;  // skipped at and after a gear change or a throttle step
    bool overrun_on = true;
    float overrun_afr = 18.0F;  // with the throttle closed, this lean or leaner is fuel cut
    bool max_afr_on = true;
    float max_afr = 20.0F;  // fuel learning only: leaner readings are fuel cut or a loose probe
    // Cells reached by fewer samples are left alone; not a sample filter.
    int min_samples = 20;

    // Every sample passes and every reached cell is proposed: the replay of
    // live automapping as it would have run.
    static LearnFilters none();
    friend bool operator==(const LearnFilters&, const LearnFilters&) = default;
};

// Why a sample is left out; a sample several filters name counts under the first.
enum class SampleFilter : std::uint8_t {
    kept,
    log_edges,
    low_rpm,
    cold,
    throttle_step,
    settling,
    overrun,
    afr_range,
};
inline constexpr int kSampleFilterCount = 8;

std::string_view sample_filter_name(SampleFilter f);

// A log without sample times (a loaded file) is taken to run at the line's
// full stream rate: 27 bytes of 10 bits per record at 115200 baud.
inline constexpr double kStreamRecordsPerSecond = 115200.0 / 270.0;

// The columns of the two main maps stand for 500 to 10000 rpm.
inline constexpr int kLowestMapRpm = 500;
inline constexpr int kHighestMapRpm = 10000;

// Closed, for the overrun filter: the pedal off, whatever the sensor's noise.
inline constexpr float kClosedThrottlePercent = 2.0F;

// R/S (rpm per km/h) is a gear only while the car moves; a change beyond this
// share of the last steady ratio is a gear change (or the clutch slipping).
inline constexpr int kGearMinSpeedKmh = 5;
inline constexpr float kGearChangeShare = 0.10F;

// The verdict on every valid sample of the log, in order. `fuel`: the AFR
// filter applies (it concerns the fuel learning only).
std::vector<SampleFilter> classify_samples(const LogBuffer& log, const LearnFilters& filters,
                                           bool fuel);

using FilterCounts = std::array<int, kSampleFilterCount>;
FilterCounts count_verdicts(const std::vector<SampleFilter>& verdicts);

// Whether the record's operating point lies on the map of `page` (MAF
// emulation or fuel correction): its load between the axis' two ends and its
// engine speed within the columns' 500 to 10000 rpm. A point beyond them
// teaches no cell: the edge cells hold other operating points than it.
bool within_map_axes(const Calibration& cal, const LiveRecord& live, Page page);

}  // namespace veloquin
