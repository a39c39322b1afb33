#include "app/live_panel.h"

#include <cstdio>

#include "calibration/conversions.h"

namespace veloquin {
namespace {

constexpr std::array<std::string_view, kLiveFieldCount> kLabels = {
    "RPM:", "MAP:",   "MAFIn:",    "MAFOut:",  "FuelCorr:", "Throttle:",  "IAT:",
    "AFR:", "Speed:", "Inj.Duty:", "WG.Duty:", "Knock:",    "LSSwitches:"};

using C = LogChannel;
constexpr std::array<LogChannel, kLiveFieldCount> kFieldChannels = {
    C::rpm, C::boost, C::maf_in,   C::maf_out, C::fuel_corr, C::throttle,   C::temperature,
    C::afr, C::speed, C::inj_duty, C::wg_duty, C::knock,     C::ls_switches};

std::string fixed(int decimals, double v) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

}  // namespace

std::span<const std::string_view, kLiveFieldCount> live_panel_labels() {
    return kLabels;
}

LogChannel live_panel_channel(int field) {
    return kFieldChannels[static_cast<std::size_t>(field)];
}

std::string switched_outputs_text(int bits) {
    std::string text = "....";
    for (int i = 0; i < 4; ++i) {
        if ((bits & (1 << i)) != 0) text[static_cast<std::size_t>(i)] = static_cast<char>('A' + i);
    }
    return text;
}

std::array<std::string, kLiveFieldCount> live_panel_values(const Calibration& cal,
                                                           const LiveRecord& live, bool connected) {
    std::array<std::string, kLiveFieldCount> v;
    if (!connected) {
        v.fill("n/a");
        return v;
    }
    v[0] = std::to_string(live.rpm());
    v[1] = format_map(cal, live.map_counts());
    v[2] = fixed(2, counts_to_volts(live.maf_in_counts()));
    v[3] = fixed(2, counts_to_volts(live.maf_out_counts()));
    v[4] = std::to_string(live.fuel_correction()) + "%";
    v[5] = std::to_string(tps_counts_to_percent(cal, live.throttle_counts())) + "%";
    v[6] = std::to_string(iat_counts_to_celsius(cal, live.iat_counts()));
    v[7] = fixed(1, afr_counts_to_afr(cal, live.afr_counts()));
    v[8] = std::to_string(live.speed_kmh());
    v[9] = std::to_string(live.injector_duty());
    v[10] = std::to_string(live.wastegate_duty());
    v[11] = fixed(2, counts_to_volts(live.knock_counts()));
    v[12] = switched_outputs_text(live.switched_outputs());
    return v;
}

}  // namespace veloquin
