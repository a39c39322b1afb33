#pragma once
// What the histogram and the scatter read from a log: a channel by name (the
// log's own, the computed ones, and the AFR error against a target), the
// tuner's conditions on channels ("THROTTLE > 80", "BOOST between 0.2 and
// 1.0"), and which samples the learning filters and the conditions keep.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/paint_model.h"
#include "calibration/calibration.h"
#include "datalogs/log_channels.h"
#include "learn/learn_filters.h"

namespace veloquin {

inline constexpr std::string_view kAfrErrorName = "AFR error %";

// The AFR a sample aimed for. Today one number (O2FB_Target); a target table
// looks the sample up instead, so it is a function of the sample.
using AfrTarget = std::function<double(const LogSample&)>;
AfrTarget afr_target_of(const Calibration& cal);

struct AnalysisChannel {
    const LogChannelInfo* log = nullptr;  // null: the AFR error
    std::string_view name() const { return log != nullptr ? log->name : kAfrErrorName; }
    std::string_view unit() const { return log != nullptr ? log->unit : "%"; }
    bool afr_based() const { return log == nullptr || log->channel == LogChannel::afr; }
};

// Every channel a tuner may pick, in the order the choosers list them.
std::vector<AnalysisChannel> analysis_channels();
// By `find_log_channel`'s rules, or "AFR error %" (also "AFRERR", "AFR.ERROR").
std::optional<AnalysisChannel> find_analysis_channel(std::string_view name);

// The value, or nullopt where the sample says nothing (the AFR error of a
// dead probe reading 0 or less, or of a target that is not set).
std::optional<double> channel_value(const AnalysisChannel& channel, const LogSample& sample,
                                    const AfrTarget& target);

enum class ConditionOp { less, less_equal, greater, greater_equal, equal, not_equal, between };

struct LogCondition {
    AnalysisChannel channel;
    ConditionOp op = ConditionOp::greater;
    double a = 0.0;
    double b = 0.0;  // the upper end of between
    std::string text;
};

struct ConditionParse {
    std::optional<LogCondition> condition;
    std::string error;  // names what is wrong: the channel, the operator or the number
};
ConditionParse parse_condition(std::string_view text);

bool condition_holds(const LogCondition& c, const LogSample& s, const AfrTarget& target);

// Why a sample is left out of an analysis, beyond the learning filters.
struct AnalysisCounts {
    FilterCounts verdicts{};  // by the learning filters; [kept] those they kept
    int conditions = 0;       // kept by the filters, failed a condition
    int no_value = 0;         // kept, but the channel says nothing there
};

// Which samples an analysis takes: the filters' verdicts, then the
// conditions. `afr`: the learning's AFR filter applies.
std::vector<std::uint8_t> analysis_keep(const LogBuffer& log, const LearnFilters& filters, bool afr,
                                        const std::vector<LogCondition>& conditions,
                                        const AfrTarget& target, AnalysisCounts& counts);

// Cold to hot over 0..1 (blue, green, yellow, red): the histogram's cells
// and the scatter's colour channel.
Rgb value_scale_color(double t);
Rgb mix_color(Rgb from, Rgb to, double t);

}  // namespace veloquin
