#include "datalogs/alarm_rules.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <system_error>

#include "calfile/atomic_file.h"
#include "datalogs/log_channels.h"

namespace veloquin {

namespace {

constexpr std::string_view kMapTop = "map-top";
constexpr std::string_view kAlways = "always";
constexpr std::size_t kLongestFile = 64 * 1024;
constexpr std::uint32_t kLongestHoldMs = 600000;

constexpr std::string_view kHeader =
    "# Veloquin alarm rules, one a line:\n"
    "# name | on or off | CHANNEL > or < threshold (map-top: the map's top pressure) |\n"
    "#   always, or while CHANNEL > or < value | hold N ms | hysteresis N\n";

std::string_view trimmed(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

std::vector<std::string_view> split(std::string_view s, char by) {
    std::vector<std::string_view> parts;
    for (;;) {
        const auto at = s.find(by);
        parts.push_back(trimmed(s.substr(0, at)));
        if (at == std::string_view::npos) return parts;
        s.remove_prefix(at + 1);
    }
}

std::optional<double> number(std::string_view s) {
    double v = 0.0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc{} || end != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::string number_text(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

char side_char(AlarmSide side) {
    return side == AlarmSide::above ? '>' : '<';
}

// "BOOST > 0.3" into its channel, side and value text; an error names what is wrong.
bool parse_comparison(std::string_view s, std::string& channel, AlarmSide& side,
                      std::string_view& value, std::string& error) {
    const auto at = s.find_first_of("<>");
    if (at == std::string_view::npos) {
        error = "\"" + std::string(s) + "\" is not CHANNEL > VALUE or CHANNEL < VALUE";
        return false;
    }
    const std::string_view name = trimmed(s.substr(0, at));
    const LogChannelInfo* info = find_log_channel(name);
    if (info == nullptr) {
        error = "no channel " + std::string(name);
        return false;
    }
    channel = std::string(info->name);
    side = s[at] == '>' ? AlarmSide::above : AlarmSide::below;
    value = trimmed(s.substr(at + 1));
    return true;
}

bool parse_value(std::string_view text, double& out, std::string& error) {
    const auto v = number(text);
    if (!v) {
        error = "\"" + std::string(text) + "\" is not a number";
        return false;
    }
    out = *v;
    return true;
}

// "hold 200 ms", "hysteresis 0.05": the word, then the number.
bool parse_labelled(std::string_view field, std::string_view word, std::string_view unit,
                    double& out, std::string& error) {
    if (field.substr(0, word.size()) != word) {
        error = "\"" + std::string(field) + "\" does not start with \"" + std::string(word) + "\"";
        return false;
    }
    std::string_view rest = trimmed(field.substr(word.size()));
    if (!unit.empty() && rest.size() >= unit.size() &&
        rest.substr(rest.size() - unit.size()) == unit) {
        rest = trimmed(rest.substr(0, rest.size() - unit.size()));
    }
    if (!parse_value(rest, out, error)) return false;
    if (out < 0) {
        error = std::string(word) + " below 0";
        return false;
    }
    return true;
}

bool parse_rule(std::string_view line, AlarmRule& rule, std::string& error) {
    const std::vector<std::string_view> f = split(line, '|');
    if (f.size() != 6) {
        error = "6 fields separated by | expected, " + std::to_string(f.size()) + " found";
        return false;
    }
    rule.name = std::string(f[0]);
    if (rule.name.empty()) {
        error = "a rule without a name";
        return false;
    }
    if (f[1] != "on" && f[1] != "off") {
        error = "\"" + std::string(f[1]) + "\" is neither on nor off";
        return false;
    }
    rule.on = f[1] == "on";
    std::string_view value;
    if (!parse_comparison(f[2], rule.channel, rule.side, value, error)) return false;
    rule.threshold_is_map_top = value == kMapTop;
    if (!rule.threshold_is_map_top && !parse_value(value, rule.threshold, error)) return false;
    if (f[3] != kAlways) {
        if (f[3].substr(0, 6) != "while ") {
            error = "\"" + std::string(f[3]) + "\" is neither always nor while CHANNEL > VALUE";
            return false;
        }
        if (!parse_comparison(f[3].substr(6), rule.while_channel, rule.while_side, value, error) ||
            !parse_value(value, rule.while_value, error)) {
            return false;
        }
    }
    double hold = 0.0;
    if (!parse_labelled(f[4], "hold", "ms", hold, error) ||
        !parse_labelled(f[5], "hysteresis", "", rule.hysteresis, error)) {
        return false;
    }
    if (hold > kLongestHoldMs) {
        error = "a hold time above " + std::to_string(kLongestHoldMs) + " ms";
        return false;
    }
    rule.hold_ms = static_cast<std::uint32_t>(std::lround(hold));
    return true;
}

bool holds(AlarmSide side, double value, double limit) {
    return side == AlarmSide::above ? value > limit : value < limit;
}

double rule_threshold(const AlarmRule& rule, double map_top) {
    return rule.threshold_is_map_top ? map_top : rule.threshold;
}

int decimals_for(const LogChannelInfo& info) {
    if (info.int_field != nullptr) return 0;
    return info.unit == "bar" || info.unit == "V" ? 2 : 1;
}

}  // namespace

AlarmSettings default_alarm_settings() {
    AlarmSettings s;
    s.rules = {
        {"Overboost", true, "BOOST", AlarmSide::above, 0.0, true, "", AlarmSide::above, 0.0, 200,
         0.05},
        {"Lean under boost", true, "AFR", AlarmSide::above, 12.5, false, "BOOST", AlarmSide::above,
         0.3, 300, 0.3},
        {"Knock", true, "KNOCK", AlarmSide::above, 2.5, false, "", AlarmSide::above, 0.0, 0, 0.3},
        {"Hot intake air", true, "TEMP", AlarmSide::above, 60.0, false, "", AlarmSide::above, 0.0,
         2000, 3.0},
    };
    return s;
}

double map_top_bar(const Calibration& cal) {
    return cal.param(hw::MAP_BAR_HI) / 100.0;
}

std::string format_alarm_settings(const AlarmSettings& settings) {
    std::string text(kHeader);
    text += settings.sound ? "sound on\n" : "sound off\n";
    for (const AlarmRule& r : settings.rules) {
        text += r.name + " | " + (r.on ? "on" : "off") + " | " + r.channel + " " +
                side_char(r.side) + " " +
                (r.threshold_is_map_top ? std::string(kMapTop) : number_text(r.threshold)) + " | ";
        text += r.while_channel.empty()
                    ? std::string(kAlways)
                    : "while " + r.while_channel + " " + side_char(r.while_side) + " " +
                          number_text(r.while_value);
        text += " | hold " + std::to_string(r.hold_ms) + " ms | hysteresis " +
                number_text(r.hysteresis) + "\n";
    }
    return text;
}

std::optional<AlarmSettings> parse_alarm_settings(std::string_view text, std::string& error) {
    AlarmSettings s;
    int number = 0;
    for (std::string_view line : split(text, '\n')) {
        ++number;
        if (line.empty() || line.front() == '#') continue;
        if (line == "sound on" || line == "sound off") {
            s.sound = line == "sound on";
            continue;
        }
        AlarmRule rule;
        if (!parse_rule(line, rule, error)) {
            error = "line " + std::to_string(number) + ": " + error;
            return std::nullopt;
        }
        s.rules.push_back(std::move(rule));
    }
    return s;
}

AlarmSettingsRead read_alarm_settings(const std::filesystem::path& folder) {
    const std::filesystem::path path = folder / kAlarmRulesFile;
    AlarmSettingsRead read{default_alarm_settings(), {}};
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return read;
    std::string error;
    std::string text;
    if (check_regular_file(path, error)) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        text = bytes.str();
        if (!in.good() && !in.eof()) error = "cannot read " + path.string();
        if (text.size() > kLongestFile) error = "longer than any rules file";
    }
    if (error.empty()) {
        if (auto parsed = parse_alarm_settings(text, error)) {
            read.settings = std::move(*parsed);
            return read;
        }
    }
    read.message =
        std::string(kAlarmRulesFile) + " not read (" + error + "): the default alarms are used";
    return read;
}

bool write_alarm_settings(const std::filesystem::path& folder, const AlarmSettings& settings,
                          std::string* error) {
    return write_file_atomically(folder / kAlarmRulesFile, format_alarm_settings(settings), error);
}

std::string alarm_text(const AlarmRule& rule, double value) {
    const LogChannelInfo* info = find_log_channel(rule.channel);
    const int decimals = info != nullptr ? decimals_for(*info) : 2;
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    std::string out = rule.name + ": " + text;
    if (info != nullptr && !info->unit.empty() && info->unit != info->name) {
        out += " " + std::string(info->unit);
    }
    return out;
}

void AlarmWatch::set_rules(std::vector<AlarmRule> rules) {
    rules_ = std::move(rules);
    reset();
}

void AlarmWatch::reset() {
    states_.assign(rules_.size(), State{});
    for (std::size_t i = 0; i < rules_.size(); ++i) {
        states_[i].channel = find_log_channel(rules_[i].channel);
        states_[i].condition = find_log_channel(rules_[i].while_channel);
    }
}

std::vector<AlarmFiring> AlarmWatch::feed(const LogSample& sample, std::uint32_t time_ms,
                                          double map_top) {
    std::vector<AlarmFiring> fired;
    for (std::size_t i = 0; i < rules_.size(); ++i) {
        const AlarmRule& rule = rules_[i];
        State& st = states_[i];
        const LogChannelInfo* info = st.channel;
        if (!rule.on || info == nullptr) {
            st.armed = true;
            st.pending = false;
            continue;
        }
        const double value = log_channel_value(*info, sample);
        const double threshold = rule_threshold(rule, map_top);
        const LogChannelInfo* cond = st.condition;
        const bool condition =
            cond == nullptr ||
            holds(rule.while_side, log_channel_value(*cond, sample), rule.while_value);
        if (!st.armed) {
            const double back = rule.side == AlarmSide::above ? threshold - rule.hysteresis
                                                              : threshold + rule.hysteresis;
            const bool came_back = rule.side == AlarmSide::above ? value <= back : value >= back;
            if (!came_back && condition) continue;
            st.armed = true;
        }
        if (!condition || !holds(rule.side, value, threshold)) {
            st.pending = false;
            continue;
        }
        if (!st.pending) {
            st.pending = true;
            st.since_ms = time_ms;
        }
        if (time_ms - st.since_ms < rule.hold_ms) continue;
        st.armed = false;
        st.pending = false;
        fired.push_back({i, value, alarm_text(rule, value)});
    }
    return fired;
}

bool AlarmWatch::channel_alarmed(LogChannel channel) const {
    for (std::size_t i = 0; i < rules_.size(); ++i) {
        const LogChannelInfo* info = states_[i].channel;
        if (active(i) && info != nullptr && info->channel == channel) return true;
    }
    return false;
}

}  // namespace veloquin
