#pragma once
// An alarm rule as the tuner edits it: plain data the dialog and the rules
// file exchange. What the rules mean (the channels, the evaluation) lives in
// datalogs/alarm_rules.

#include <cstdint>
#include <string>
#include <vector>

namespace veloquin {

enum class AlarmSide { above, below };

struct AlarmRule {
    std::string name;  // "Overboost": the status line and the marker say it
    bool on = true;
    std::string channel;  // a log channel's name, "BOOST"
    AlarmSide side = AlarmSide::above;
    double threshold = 0.0;
    // The threshold follows the calibration's mapping hi-limit instead.
    bool threshold_is_map_top = false;
    // "while BOOST > 0.3": the rule counts only while this holds; empty for always.
    std::string while_channel;
    AlarmSide while_side = AlarmSide::above;
    double while_value = 0.0;
    std::uint32_t hold_ms = 0;  // how long it must last before the alarm fires
    double hysteresis = 0.0;    // how far back past the threshold before it fires again
};

struct AlarmSettings {
    std::vector<AlarmRule> rules;
    bool sound = true;
};

}  // namespace veloquin
