#include "datalogs/log_bands.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "datalogs/log_words.h"

namespace veloquin {

namespace {

using C = LogChannel;
using P = PixelRule;
using R = BandScaleRule;
using S = LogSample;

constexpr BandText text(std::string_view prefix, int precision = -1, float factor = 1.0F) {
    return {prefix, precision, factor};
}
// Bands a Mazda log shows and names as any other log does.
constexpr BandText kAsUsual{};

constexpr std::array<LogBand, kLogBandCount> kBands = {{
    {C::rpm, 32818, "RPM", "RPM", &S::rpm, nullptr, R::hundreds_above, P::integer_span, 0, 0, 0, 1,
     false, text("RPM: "), "RPM", kAsUsual, ""},
    {C::boost, 32819, "BOOST", "BOOST", nullptr, &S::boost, R::fifths_around, P::float_span, 0, 0,
     0, 2, false, text("Boost: ", 2), "Boost", kAsUsual, ""},
    {C::throttle, 32822, "Throttle", "Throttle", nullptr, &S::throttle, R::fixed, P::float_factor,
     0, 100, 0.01F, 1, false, text("Throttle: ", 1), "Throttle,%", kAsUsual, ""},
    {C::maf_in, 32820, "MAF In", "Air Flow", nullptr, &S::maf_in, R::fixed, P::float_factor, 0, 5,
     0.2F, 1, false, text("MAFIn: ", 2), "MAFIn,V", text("AirFlow: ", 2), "AirFlow"},
    {C::maf_out, 32821, "MAFOut", "", nullptr, &S::maf_out, R::fixed, P::float_factor, 0, 5, 0.2F,
     1, false, text("MAFOut: ", 2), "MAFOut,V", kAsUsual, ""},
    {C::temperature, 32823, "Temperature", "Ignition", &S::temperature, nullptr, R::fixed,
     P::integer_span, -40, 120, 0, -1, false, text("Temperature: "), "Temperature,C",
     text("Ignition: "), "Ignition,C"},
    {C::afr, 32828, "AFR", "", nullptr, &S::afr, R::fixed, P::float_factor, 8, 18, 0.1F, 1, true,
     text("AFR: ", 1), "AFR", kAsUsual, ""},
    {C::speed, 32824, "Speed", "", &S::speed, nullptr, R::tens_above, P::integer_span, 0, 0, 0, -1,
     false, text("Speed: "), "Speed kmph", kAsUsual, ""},
    {C::inj_duty, 32825, "Inj.Duty", "", nullptr, &S::inj_duty, R::fixed, P::float_factor, 0, 100,
     0.01F, 1, false, text("Inj.Duty: ", 1), "Inj.Duty,%", kAsUsual, ""},
    {C::wg_duty, 32848, "WG.Duty", "", nullptr, &S::wg_duty, R::fixed, P::float_factor, 0, 100,
     0.01F, 1, false, text("WG.Duty: ", 1), "WG.Duty,%", kAsUsual, ""},
    {C::inj_pulse, 32838, "Inj.Pulse", "", nullptr, &S::inj_pulse, R::at_least_one, P::float_span,
     0, 0, 0, 1, false, text("Inj.Pulse: ", 3), "Inj.Pulse,mSec", kAsUsual, ""},
    {C::rpm_per_speed, 32833, "RPM/Speed", "", nullptr, &S::rpm_per_speed, R::from_zero_or_min,
     P::float_span, 0, 0, 0, 2, false, text("R/S: ", 1), "R/S", kAsUsual, ""},
    {C::knock, 32839, "Knock", "", nullptr, &S::knock, R::fixed, P::float_factor, 0, 5, 0.2F, 1,
     false, text("Knock: ", 2), "Knock,V", kAsUsual, ""},
    {C::fuel_corr, 32837, "FUEL correction", "Load", nullptr, &S::fuel_corr, R::from_zero_or_min,
     P::float_span, 0, 0, 0, 2, false, text("FUEL Corr: ", 1), "FUEL Corr",
     text("Load: ", 2, 0.01F), "Load"},
    {C::ecu_load, 32846, "ECU: LOAD", "", &S::ecu_load, nullptr, R::fixed, P::integer_span, 0, 200,
     0, -1, false, text("ECU LOAD: "), "ECU LOAD", kAsUsual, ""},
    {C::ecu_ignition, 32845, "ECU: IGNITION", "", nullptr, &S::ecu_ignition, R::fixed,
     P::float_factor, 0, 45, 0.022222223F, 0, false, text("ECU Ignition: ", 2), "ECU Ignition",
     kAsUsual, ""},
    {C::ls_switches, 32844, "LS Switches", "", &S::flags, nullptr, R::switches, P::switch_rows, 0,
     1, 0, -1, false, text("LS: "), "LS Switches", kAsUsual, ""},
}};

// A Mazda log keeps its load in the injector-duty field (and twice it in the
// fuel correction, for the file): its Load band draws and reads the load.
constexpr LogBand kMazdaLoad = [] {
    LogBand band = kBands[static_cast<std::size_t>(C::fuel_corr)];
    band.real_field = &S::inj_duty;
    band.mazda_readout = text("Load: ", 1);
    return band;
}();

double field_value(const LogBand& band, const LogSample& sample) {
    if (band.int_field != nullptr) return sample.*band.int_field;
    return static_cast<double>(sample.*band.real_field);
}

template <typename T>
std::pair<double, double> range_of(std::span<const LogSample> samples, T LogSample::*field) {
    T lo = samples.front().*field;
    T hi = lo;
    for (const LogSample& s : samples) {
        lo = std::min(lo, s.*field);
        hi = std::max(hi, s.*field);
    }
    return {static_cast<double>(lo), static_cast<double>(hi)};
}

// Smallest and largest value over the log, both starting at sample 0.
std::pair<double, double> value_range(const LogBand& band, const LogBuffer& log) {
    if (band.int_field != nullptr) return range_of(log.valid(), band.int_field);
    return range_of(log.valid(), band.real_field);
}

// 100 × (max / 100 + 1) with C's truncating division, in 64 bits: an rpm near
// the 32-bit limit must not overflow the scale.
double next_step_above(double max, std::int64_t step) {
    const std::int64_t steps = static_cast<std::int64_t>(max) / step + 1;
    return static_cast<double>(step * steps);
}

// The Boost band's ends are whole fifths of a bar; they are stored as floats,
// like the values they scale.
double fifth_of_bar(double value, double extra) {
    return static_cast<double>(hold_to_float(std::floor(value * 5.0) * 0.2 + extra));
}

}  // namespace

std::span<const LogBand> log_bands() {
    return kBands;
}

const LogBand& log_band(LogChannel channel) {
    return kBands[static_cast<std::size_t>(channel)];
}

const LogBand& drawn_band(const LogBand& band, bool mazda_log) {
    return mazda_log && band.channel == C::fuel_corr ? kMazdaLoad : band;
}

const LogBand* log_band_for_command(int command_id) {
    const auto* it = std::find_if(kBands.begin(), kBands.end(), [command_id](const LogBand& b) {
        return b.command_id == command_id;
    });
    return it == kBands.end() ? nullptr : it;
}

BandScale band_scale(const LogBand& band, const LogBuffer& log) {
    if (band.scale == R::fixed || band.scale == R::switches || log.count == 0) {
        return {band.lo, band.hi};
    }
    const auto [min, max] = value_range(band, log);
    switch (band.scale) {
        case R::hundreds_above:
            return {0.0, next_step_above(max, 100)};
        case R::tens_above:
            return {0.0, next_step_above(max, 10)};
        case R::fifths_around:
            return {fifth_of_bar(min, 0.0), fifth_of_bar(max, 0.2)};
        case R::at_least_one:
            return {0.0, std::max(1.0, max)};
        case R::from_zero_or_min:
            return {std::min(0.0, min), max};
        case R::fixed:
        case R::switches:
            break;
    }
    return {band.lo, band.hi};
}

std::array<std::string, 6> band_labels(const LogBand& band, const BandScale& scale) {
    std::array<std::string, 6> labels;
    if (band.pixels == P::switch_rows) return labels;
    for (int k = 0; k < 6; ++k) {
        double value = 0.0;
        if (band.pixels == P::integer_span) {
            const auto lo = static_cast<std::int64_t>(scale.lo);
            const auto hi = static_cast<std::int64_t>(scale.hi);
            const std::int64_t label = lo + (k * (hi - lo)) / 5;
            value = static_cast<double>(label);
        } else if (band.pixels == P::float_span) {
            const auto lo = static_cast<float>(scale.lo);
            const float range = static_cast<float>(scale.hi) - lo;
            value = static_cast<double>(lo) + k * static_cast<double>(range) * 0.2;
        } else {
            value = scale.lo + k * (scale.hi - scale.lo) / 5.0;
        }
        labels[static_cast<std::size_t>(k)] = format_number(value, band.label_precision);
    }
    return labels;
}

BandPixels::BandPixels(const LogBand& band, const BandScale& scale, int band_height)
    : band_(&band), h_(std::max(band_height, 0)) {
    int_lo_ = static_cast<std::int64_t>(scale.lo);
    int_span_ = static_cast<std::int64_t>(scale.hi) - int_lo_;
    lo_ = static_cast<float>(scale.lo);
    span_ = static_cast<float>(scale.hi) - lo_;
}

int BandPixels::clamp_height(float p) const {
    // Also catches NaN, which no conversion to an integer may see.
    if (!(p > 0.0F)) return 0;
    if (p >= static_cast<float>(h_)) return h_;
    return static_cast<int>(p);
}

int BandPixels::height(const LogSample& sample) const {
    const auto fh = static_cast<float>(h_);
    switch (band_->pixels) {
        case P::integer_span: {
            // A scale of zero range (a largest rpm of -100 to -199 gives one)
            // would divide by zero; its curve lies on the bottom edge.
            if (int_span_ == 0) return 0;
            const std::int64_t p = (h_ * (sample.*band_->int_field - int_lo_)) / int_span_;
            return static_cast<int>(std::clamp<std::int64_t>(p, 0, h_));
        }
        case P::float_factor:
            return clamp_height((sample.*band_->real_field - lo_) * fh * band_->factor);
        case P::float_span:
            if (!(span_ > 0.0F)) return 0;
            return clamp_height((sample.*band_->real_field - lo_) * fh / span_);
        case P::switch_rows:
            break;
    }
    return 0;
}

bool switch_on(const LogSample& sample, int row) {
    return ((sample.flags >> row) & 1) != 0;
}

std::string band_readout(const LogBand& band, const LogSample& sample, bool mazda_log) {
    if (band.pixels == P::switch_rows) {
        std::string text(band.readout.prefix);
        for (int row = 0; row < kSwitchRows; ++row)
            text += switch_on(sample, row) ? static_cast<char>('A' + row) : '-';
        return text;
    }
    const bool mazda = mazda_log && !band.mazda_readout.prefix.empty();
    const BandText& format = mazda ? band.mazda_readout : band.readout;
    const double value = field_value(band, sample) * static_cast<double>(format.factor);
    return std::string(format.prefix) + format_number(value, format.precision);
}

std::string band_title(const LogBand& band, bool mazda_log) {
    return std::string(mazda_log && !band.mazda_title.empty() ? band.mazda_title : band.title);
}

void compute_inj_pulse(LogBuffer& log) {
    for (LogSample& s : log.valid()) {
        s.inj_pulse = 0.0F;
        // The duty share of one engine cycle of two revolutions, in ms; a
        // duty near the float limit must not make the log infinite.
        if (s.rpm > 100)
            s.inj_pulse = hold_to_float(1200.0 / s.rpm * static_cast<double>(s.inj_duty));
    }
    log.mark_changed();
}

void compute_rpm_per_speed(LogBuffer& log) {
    const auto samples = log.valid();
    for (LogSample& s : samples) {
        s.rpm_per_speed = 0.0F;
        if (s.speed > 10)
            s.rpm_per_speed = static_cast<float>(static_cast<double>(s.rpm) / s.speed);
        s.aux = s.rpm_per_speed;
    }
    const auto aux = [&samples](std::size_t k) { return static_cast<double>(samples[k].aux); };
    for (std::size_t k = 2; k + 2 < samples.size(); ++k) {
        samples[k].rpm_per_speed =
            static_cast<float>(0.2 * (2.0 * aux(k - 2) + aux(k - 1) + aux(k) + aux(k + 1)));
    }
    log.mark_changed();
}

std::string format_number(double value, int precision) {
    std::array<char, 64> text{};
    int n = 0;
    switch (precision) {
        case 0:
            n = std::snprintf(text.data(), text.size(), "%.0f", value);
            break;
        case 1:
            n = std::snprintf(text.data(), text.size(), "%.1f", value);
            break;
        case 2:
            n = std::snprintf(text.data(), text.size(), "%.2f", value);
            break;
        case 3:
            n = std::snprintf(text.data(), text.size(), "%.3f", value);
            break;
        default:
            n = std::snprintf(text.data(), text.size(), "%d", truncate_to_int(value));
            break;
    }
    // A float near its limit prints 40 digits; anything longer is cut, not overrun.
    return {text.data(), static_cast<std::size_t>(std::clamp(n, 0, 63))};
}

}  // namespace veloquin
