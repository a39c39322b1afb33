#include "calibration/conversions.h"

#include <cmath>
#include <cstdio>

namespace veloquin {
namespace {

std::string format_2f(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", v);
    return text;
}

// The IAT curve, falling with its index.
int iat_point(const Calibration& cal, int i) {
    return cal.curve_word(cv::IAT_SENSOR + i);
}

int clamp_counts_from(double x) {
    // NaN and anything below zero give 0; the comparison is written so NaN fails it.
    if (!(x >= 0.0)) return 0;
    if (x >= static_cast<double>(kFullScaleCounts) + 1.0) return kFullScaleCounts;
    const int counts = static_cast<int>(x);
    return counts > kFullScaleCounts ? kFullScaleCounts : counts;
}

}  // namespace

int volts_to_counts(float volts) {
    return clamp_counts_from(static_cast<double>(volts) * kCountsPerVolt + 0.5);
}

int volts_to_counts(double volts) {
    return clamp_counts_from(volts * static_cast<double>(kCountsPerVolt) + 0.5);
}

float counts_to_volts(int counts) {
    const float v = static_cast<float>(counts) * kVoltsPerCount;
    if (v > 5.0F) return 5.0F;
    if (v < 0.0F) return 0.0F;
    return v;
}

std::string format_volts(int counts) {
    return format_2f(counts_to_volts(counts));
}

double counts_to_bar(const Calibration& cal, int counts) {
    const int span = cal.param(hw::MAP_00V) - cal.param(hw::MAP_05V);
    if (span == 0) return 0.0;
    return static_cast<double>(counts - cal.param(hw::MAP_05V)) / span * 0.5 - 0.5;
}

std::string format_map(const Calibration& cal, int counts) {
    switch (cal.param(hw::MAP_UNITS)) {
        case 1:
            return format_2f(static_cast<float>(counts_to_bar(cal, counts)));
        case 2:
            return format_2f(static_cast<double>(static_cast<float>(counts_to_bar(cal, counts))) *
                             kPsiPerBar);
        default:
            return format_volts(counts);
    }
}

int bar100_to_counts(const Calibration& cal, int bar100) {
    const float v00 = counts_to_volts(cal.param(hw::MAP_00V));
    const float v05 = counts_to_volts(cal.param(hw::MAP_05V));
    const auto d = static_cast<float>(static_cast<double>(v00) - v05);
    const auto volts = static_cast<float>(v05 + (bar100 * static_cast<double>(kHundredth) + 0.5) *
                                                    static_cast<double>(d) * 2.0);
    return volts_to_counts(volts);
}

int tps_counts_to_percent(const Calibration& cal, int counts) {
    const int lo = cal.param(hw::THROTTLE_LO);
    const int span = cal.param(hw::THROTTLE_HI) - lo;
    if (span == 0) return 0;
    return (counts - lo) * 100 / span;
}

int tps_percent_to_counts(const Calibration& cal, int percent) {
    const int lo = cal.param(hw::THROTTLE_LO);
    return lo + percent * (cal.param(hw::THROTTLE_HI) - lo) / 100;
}

int iat_counts_to_celsius(const Calibration& cal, int counts) {
    double x = static_cast<double>(counts_to_volts(counts)) * kIatPointsPerVolt;
    if (x < 0.0) x = 0.0;
    if (x > 32.0) x = 32.0;
    const int i = static_cast<int>(x);
    if (i >= 32) return iat_point(cal, 32);
    const double f = x - i;
    return static_cast<int>(iat_point(cal, i) * (1.0 - f) + iat_point(cal, i + 1) * f);
}

int iat_celsius_to_counts(const Calibration& cal, int celsius) {
    for (int i = 0; i < 32; ++i) {
        const int hi = iat_point(cal, i);
        const int lo = iat_point(cal, i + 1);
        if (lo <= celsius && celsius < hi) {
            const int d = hi - lo;
            return i * 128 + ((hi - celsius) * 128 + d / 2 - 1) / d;
        }
    }
    return 0;
}

float afr_counts_to_afr(const Calibration& cal, int counts) {
    const int afr0 = cal.param(hw::AFR_0V);
    const int afr5 = cal.param(hw::AFR_5V);
    return static_cast<float>(static_cast<double>(counts_to_volts(counts)) * (afr5 - afr0) *
                                  kAfrSlope +
                              afr0 * static_cast<double>(kHundredth));
}

int maf_counts_to_airflow(const Calibration& cal, int counts) {
    if (counts < 0) counts = 0;
    if (counts > kFullScaleCounts) counts = kFullScaleCounts;
    const int i = counts / 128;
    const int r = counts % 128;
    return (cal.maf_point(i) * (128 - r) + cal.maf_point(i + 1) * r + 64) / 128;
}

int maf_airflow_to_counts(const Calibration& cal, int airflow) {
    if (airflow < 0) airflow = 0;
    if (airflow > 32767) airflow = 32767;
    const int i = airflow / 128;
    const int r = airflow % 128;
    return (cal.maf_reverse(i) * (128 - r) + cal.maf_reverse(i + 1) * r + 64) / 128;
}

void rebuild_maf_reverse_table(Calibration& cal) {
    for (int k = 0; k < cv::MAF_REVERSE_POINTS; ++k) {
        const int airflow = 128 * k;
        int entry = 4096;
        for (int i = 0; i < 32; ++i) {
            const int m0 = cal.maf_point(i);
            const int m1 = cal.maf_point(i + 1);
            if (m0 <= airflow && airflow < m1) {
                const int s = m1 - m0;
                entry = ((airflow - m0) * 128 + s / 2) / s + 128 * i;
                break;
            }
        }
        cal.curve_word(cv::MAF_REVERSE + k) = low16(entry);
    }
}

void recompute_derived_values(Calibration& cal, Edition edition) {
    for (int s = 0; s < sw::kSwitchCount; ++s) {
        const int base = sw::record_start(s);
        auto word = [&](int offset) -> std::int16_t& { return cal.param(base + offset); };
        word(sw::MAP1_counts) = low16(bar100_to_counts(cal, word(sw::MAP1)));
        word(sw::MAP2_counts) = low16(bar100_to_counts(cal, word(sw::MAP2)));
        word(sw::THR1_counts) = low16(tps_percent_to_counts(cal, word(sw::THR1)));
        word(sw::THR2_counts) = low16(tps_percent_to_counts(cal, word(sw::THR2)));
        word(sw::IAT1_counts) = low16(iat_celsius_to_counts(cal, word(sw::IAT1)));
        word(sw::IAT2_counts) = low16(iat_celsius_to_counts(cal, word(sw::IAT2)));
    }
    cal.param(hw::METH_BAR_LO_counts) = low16(bar100_to_counts(cal, cal.param(hw::METH_BAR_LO)));
    cal.param(hw::METH_BAR_HI_counts) = low16(bar100_to_counts(cal, cal.param(hw::METH_BAR_HI)));
    cal.param(hw::BOOST_START_counts) = low16(bar100_to_counts(cal, cal.param(hw::BOOST_START)));
    if (edition == Edition::full) {
        for (int i = 0; i < cv::AFR_OUTPUT_POINTS; ++i)
            cal.curve_word(cv::AFR_OUTPUT + i) = 5000;
    }
}

void derive_map_pressure_limits(Calibration& cal) {
    const double hundred = kHundred;
    cal.param(hw::MAP_BAR_LO) =
        low16(static_cast<long long>(counts_to_bar(cal, cal.param(hw::MAP_LO)) * hundred));
    cal.param(hw::MAP_BAR_HI) =
        low16(static_cast<long long>(counts_to_bar(cal, cal.param(hw::MAP_HI)) * hundred));
}

void complete_header_after_download(Calibration& cal) {
    if (cal.param(hw::O2FB_Target) == 0) cal.param(hw::O2FB_Target) = 1400;
    if (cal.param(hw::MAP_BAR_LO) == 0) derive_map_pressure_limits(cal);
}

}  // namespace veloquin
