#pragma once
// Alarm rules on the log channels: the defaults, the readable rules file and
// the evaluation of each live sample with its time. An alarm only tells: it
// never touches the calibration or what goes to the device.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/alarm_rule.h"
#include "calibration/calibration.h"
#include "datalogs/log_sample.h"

namespace veloquin {

struct LogChannelInfo;

inline constexpr std::string_view kAlarmRulesFile = "alarm-rules.txt";

// Overboost above the map's top pressure, lean under boost, knock, hot intake air.
AlarmSettings default_alarm_settings();

// The mapping hi-limit in bar, the overboost threshold.
double map_top_bar(const Calibration& cal);

// The rules file's text and back. Parsing says what is wrong with the first
// bad line ("line 4: no channel KNOK") and gives nothing.
std::string format_alarm_settings(const AlarmSettings& settings);
std::optional<AlarmSettings> parse_alarm_settings(std::string_view text, std::string& error);

struct AlarmSettingsRead {
    AlarmSettings settings;
    std::string message;  // empty when the file was read or did not exist yet
};
// The rules in `folder`: the defaults when there is no file yet, and the
// defaults with a message saying why when it cannot be read.
AlarmSettingsRead read_alarm_settings(const std::filesystem::path& folder);
bool write_alarm_settings(const std::filesystem::path& folder, const AlarmSettings& settings,
                          std::string* error);

// "Overboost: 1.72 bar".
std::string alarm_text(const AlarmRule& rule, double value);

struct AlarmFiring {
    std::size_t rule = 0;
    double value = 0.0;
    std::string text;
};

// The rules' state across the samples. A rule fires once its condition has
// lasted its hold time; it is then active, and fires again only after the
// value came back past the threshold by the hysteresis, or its "while"
// condition ended (the next pull is a new event).
class AlarmWatch {
  public:
    void set_rules(std::vector<AlarmRule> rules);
    const std::vector<AlarmRule>& rules() const { return rules_; }
    std::vector<AlarmFiring> feed(const LogSample& sample, std::uint32_t time_ms,
                                  double map_top_bar);
    bool active(std::size_t rule) const { return rule < states_.size() && !states_[rule].armed; }
    // Whether an active rule watches this channel: its gauge and field turn red.
    bool channel_alarmed(LogChannel channel) const;
    // All quiet again (a new connection, a new recording).
    void reset();

  private:
    struct State {
        bool armed = true;
        bool pending = false;
        std::uint32_t since_ms = 0;
        // Looked up once: every live sample goes past every rule.
        const LogChannelInfo* channel = nullptr;
        const LogChannelInfo* condition = nullptr;
    };
    std::vector<AlarmRule> rules_;
    std::vector<State> states_;
};

}  // namespace veloquin
