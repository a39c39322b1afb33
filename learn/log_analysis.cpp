#include "learn/log_analysis.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>

namespace veloquin {
namespace {

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

std::string upper(std::string_view s) {
    std::string out;
    for (const char c : s) {
        if (c == ' ' || c == '.' || c == '_' || c == '-') continue;
        out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}

std::optional<double> number(std::string_view text) {
    text = trimmed(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    double v = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

struct OpToken {
    std::string_view text;
    ConditionOp op;
};
// Two-character operators first, so "<=" is not read as "<".
constexpr std::array<OpToken, 7> kOps = {{{"<=", ConditionOp::less_equal},
                                          {">=", ConditionOp::greater_equal},
                                          {"!=", ConditionOp::not_equal},
                                          {"==", ConditionOp::equal},
                                          {"<", ConditionOp::less},
                                          {">", ConditionOp::greater},
                                          {"=", ConditionOp::equal}}};

// Where " between " starts, whatever its case; npos when absent.
std::size_t between_at(std::string_view text) {
    const std::string u = [&] {
        std::string s(text);
        for (char& c : s)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    }();
    return u.find(" between ");
}

ConditionParse refuse(std::string_view text, const std::string& why) {
    return {std::nullopt, "bad condition '" + std::string(text) + "': " + why};
}

ConditionParse parse_between(std::string_view text, std::size_t at, LogCondition c) {
    std::string_view range = text.substr(at + 9);
    std::string lower(range);
    for (char& ch : lower)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    const std::size_t and_at = lower.find(" and ");
    if (and_at == std::string::npos) return refuse(text, "between wants 'A and B'");
    const auto a = number(range.substr(0, and_at));
    const auto b = number(range.substr(and_at + 5));
    if (!a || !b) return refuse(text, "between wants two numbers");
    c.op = ConditionOp::between;
    c.a = std::min(*a, *b);
    c.b = std::max(*a, *b);
    return {c, {}};
}

}  // namespace

AfrTarget afr_target_of(const Calibration& cal) {
    const double target = cal.param(hw::O2FB_Target) / 100.0;
    return [target](const LogSample&) { return target; };
}

std::vector<AnalysisChannel> analysis_channels() {
    std::vector<AnalysisChannel> out;
    for (const LogChannelInfo& info : log_channel_table())
        out.push_back({&info});
    out.push_back({nullptr});
    return out;
}

std::optional<AnalysisChannel> find_analysis_channel(std::string_view name) {
    if (const LogChannelInfo* info = find_log_channel(name)) return AnalysisChannel{info};
    const std::string u = upper(name);
    if (u == "AFRERROR%" || u == "AFRERROR" || u == "AFRERR" || u == "AFRERR%")
        return AnalysisChannel{nullptr};
    return std::nullopt;
}

std::optional<double> channel_value(const AnalysisChannel& channel, const LogSample& sample,
                                    const AfrTarget& target) {
    if (channel.log != nullptr) return log_channel_value(*channel.log, sample);
    const double aim = target(sample);
    if (!(sample.afr > 0.0F) || !std::isfinite(sample.afr) || !(aim > 0.0)) return std::nullopt;
    return (static_cast<double>(sample.afr) / aim - 1.0) * 100.0;
}

ConditionParse parse_condition(std::string_view text) {
    const std::string_view t = trimmed(text);
    LogCondition c;
    c.text = std::string(t);
    std::string_view name;
    const std::size_t between = between_at(t);
    const OpToken* op = nullptr;
    std::size_t op_at = std::string_view::npos;
    if (between == std::string_view::npos) {
        for (const OpToken& o : kOps) {
            const std::size_t at = t.find(o.text);
            if (at != std::string_view::npos && (op == nullptr || at < op_at)) {
                op = &o;
                op_at = at;
            }
        }
        if (op == nullptr)
            return refuse(t, "no comparison (<, <=, >, >=, =, != or between A and B)");
        name = trimmed(t.substr(0, op_at));
    } else {
        name = trimmed(t.substr(0, between));
    }
    if (name.empty()) return refuse(t, "no channel before the comparison");
    const auto channel = find_analysis_channel(name);
    if (!channel) return refuse(t, "unknown channel '" + std::string(name) + "'");
    c.channel = *channel;
    if (between != std::string_view::npos) return parse_between(t, between, c);
    const auto v = number(t.substr(op_at + op->text.size()));
    if (!v) {
        return refuse(
            t, "'" + std::string(trimmed(t.substr(op_at + op->text.size()))) + "' is not a number");
    }
    c.op = op->op;
    c.a = *v;
    return {c, {}};
}

bool condition_holds(const LogCondition& c, const LogSample& s, const AfrTarget& target) {
    const auto value = channel_value(c.channel, s, target);
    if (!value) return false;
    const double v = *value;
    switch (c.op) {
        case ConditionOp::less:
            return v < c.a;
        case ConditionOp::less_equal:
            return v <= c.a;
        case ConditionOp::greater:
            return v > c.a;
        case ConditionOp::greater_equal:
            return v >= c.a;
        case ConditionOp::equal:
            return v == c.a;
        case ConditionOp::not_equal:
            return v != c.a;
        case ConditionOp::between:
            return v >= c.a && v <= c.b;
    }
    return false;
}

std::vector<std::uint8_t> analysis_keep(const LogBuffer& log, const LearnFilters& filters, bool afr,
                                        const std::vector<LogCondition>& conditions,
                                        const AfrTarget& target, AnalysisCounts& counts) {
    const std::vector<SampleFilter> verdicts = classify_samples(log, filters, afr);
    counts = AnalysisCounts{};
    counts.verdicts = count_verdicts(verdicts);
    std::vector<std::uint8_t> keep(verdicts.size(), 0);
    const auto samples = log.valid();
    for (std::size_t i = 0; i < verdicts.size(); ++i) {
        if (verdicts[i] != SampleFilter::kept) continue;
        bool holds = true;
        for (const LogCondition& c : conditions)
            holds = holds && condition_holds(c, samples[i], target);
        if (!holds) {
            ++counts.conditions;
            continue;
        }
        keep[i] = 1;
    }
    return keep;
}

Rgb mix_color(Rgb from, Rgb to, double t) {
    const auto channel = [t](std::uint8_t a, std::uint8_t b) {
        return static_cast<std::uint8_t>(std::lround(a + (b - a) * t));
    };
    return {channel(from.r, to.r), channel(from.g, to.g), channel(from.b, to.b)};
}

Rgb value_scale_color(double t) {
    constexpr std::array<Rgb, 4> kScale = {
        {{60, 110, 230}, {70, 190, 90}, {240, 220, 50}, {225, 60, 40}}};
    const double at = std::clamp(t, 0.0, 1.0) * (kScale.size() - 1);
    const auto i = std::min(static_cast<std::size_t>(at), kScale.size() - 2);
    return mix_color(kScale[i], kScale[i + 1], at - static_cast<double>(i));
}

}  // namespace veloquin
