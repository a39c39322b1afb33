#pragma once
// Every channel of a log by name, with its unit: the columns a log file
// holds and the ones the viewer computes from them. Whatever names a channel
// in text (the histogram, the scatter, alarm rules, exports) looks it up here.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "datalogs/log_sample.h"

namespace veloquin {

enum class ComputedChannel { none, inj_pulse, rpm_per_speed };

struct LogChannelInfo {
    std::string_view name;  // as `log stats` prints it: "RPM", "BOOST", "INJ.DUTY"
    std::string_view unit;  // "rpm", "bar", "%"; empty for a count without a unit
    LogChannel channel;
    std::int32_t LogSample::*int_field;  // one of the two fields is set,
    float LogSample::*real_field;        // neither for a computed channel
    ComputedChannel computed;
};

// The file's fifteen columns in file order, then the computed channels.
std::span<const LogChannelInfo> log_channel_table();

// Case-insensitive; also takes the viewer's band names without their blanks
// and a few spellings a tuner types ("INJ PULSE", "RS").
const LogChannelInfo* find_log_channel(std::string_view name);
const LogChannelInfo& log_channel_info(LogChannel channel);

// The channel's value in one sample. A computed channel is worked out from
// the sample alone, unsmoothed: injector pulse 0 at or below 100 rpm, R/S 0
// at or below 10 km/h, as the viewer's bands have them.
double log_channel_value(const LogChannelInfo& channel, const LogSample& sample);

}  // namespace veloquin
