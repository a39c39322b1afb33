#include "datalogs/log_channels.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>

namespace veloquin {

namespace {

using S = LogSample;
using C = LogChannel;
using X = ComputedChannel;

constexpr std::array<LogChannelInfo, 17> kChannels = {{
    {"RPM", "rpm", C::rpm, &S::rpm, nullptr, X::none},
    {"BOOST", "bar", C::boost, nullptr, &S::boost, X::none},
    {"THROTTLE", "%", C::throttle, nullptr, &S::throttle, X::none},
    {"MAFIn", "V", C::maf_in, nullptr, &S::maf_in, X::none},
    {"MAFOut", "V", C::maf_out, nullptr, &S::maf_out, X::none},
    {"FuelCorr", "%", C::fuel_corr, nullptr, &S::fuel_corr, X::none},
    {"TEMP", "°C", C::temperature, &S::temperature, nullptr, X::none},
    {"AFR", "AFR", C::afr, nullptr, &S::afr, X::none},
    {"SPEED", "km/h", C::speed, &S::speed, nullptr, X::none},
    {"INJ.DUTY", "%", C::inj_duty, nullptr, &S::inj_duty, X::none},
    {"KNOCK", "V", C::knock, nullptr, &S::knock, X::none},
    {"FLAGS", "", C::ls_switches, &S::flags, nullptr, X::none},
    {"LOAD", "%", C::ecu_load, &S::ecu_load, nullptr, X::none},
    {"IGN", "deg", C::ecu_ignition, nullptr, &S::ecu_ignition, X::none},
    {"WGDuty", "%", C::wg_duty, nullptr, &S::wg_duty, X::none},
    {"INJ.PULSE", "ms", C::inj_pulse, nullptr, nullptr, X::inj_pulse},
    {"R/S", "rpm/(km/h)", C::rpm_per_speed, nullptr, nullptr, X::rpm_per_speed},
}};

// Upper case without blanks, dots, slashes or underscores, so "Inj. pulse",
// "INJ_PULSE" and "inj.pulse" are one name.
std::string folded(std::string_view name) {
    std::string out;
    for (const char c : name) {
        if (c == ' ' || c == '.' || c == '/' || c == '_' || c == '-') continue;
        out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}

}  // namespace

std::span<const LogChannelInfo> log_channel_table() {
    return kChannels;
}

const LogChannelInfo* find_log_channel(std::string_view name) {
    const std::string wanted = folded(name);
    if (wanted.empty()) return nullptr;
    for (const LogChannelInfo& channel : kChannels) {
        if (folded(channel.name) == wanted) return &channel;
    }
    return nullptr;
}

const LogChannelInfo& log_channel_info(LogChannel channel) {
    const auto* found =
        std::find_if(kChannels.begin(), kChannels.end(),
                     [channel](const LogChannelInfo& c) { return c.channel == channel; });
    return *found;  // every LogChannel has its row
}

double log_channel_value(const LogChannelInfo& channel, const LogSample& sample) {
    switch (channel.computed) {
        case X::inj_pulse:
            return sample.rpm > 100 ? 1200.0 / sample.rpm * static_cast<double>(sample.inj_duty)
                                    : 0.0;
        case X::rpm_per_speed:
            return sample.speed > 10 ? static_cast<double>(sample.rpm) / sample.speed : 0.0;
        case X::none:
            break;
    }
    if (channel.int_field != nullptr) return sample.*channel.int_field;
    return static_cast<double>(sample.*channel.real_field);
}

}  // namespace veloquin
