#include "calibration/factory_calibration.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "calibration/conversions.h"

namespace veloquin {
namespace {

constexpr double kGasConstantAir = 287.05;  // J/(kg K)
constexpr double kZeroCelsiusKelvin = 273.15;

int engine_rpm_of_column(int col) {
    return 500 * (col + 1);
}

void fill_parameters(Calibration& cal) {
    struct Setting {
        int word;
        int value;
    };
    // Everything that needs a part the car may not have (wide-band sensor,
    // water/methanol kit, fuel pump relay, two-step wiring) is off, with its
    // settings filled in so that switching it on starts from sane numbers.
    static constexpr Setting kSettings[] = {
        {hw::EMULATE_MAF, 1},
        {hw::MAP_FILTER, 3},
        {hw::AFR_0V, 735},
        {hw::AFR_5V, 2205},
        {hw::ACC_ENABLE, 0},
        {hw::ACC_FACTOR, 10},
        {hw::ACC_DFACTOR, 5},
        {hw::ACC_DECAY, 5},
        {hw::ACC_TRESHOLD, 8},
        {hw::ACC_MAX, 3},
        {hw::FLM_LOAD, 0},
        {hw::REV_DIV, 2},  // "2": a four-cylinder's ignition fires twice per revolution
        {hw::SPD_DIV, 140},
        {hw::REV2x, 0},
        {hw::REV2x_RPMON, 4000},
        {hw::REV2x_RPMOFF, 4000},
        {hw::REV2x_FUELCORR, -20},
        {hw::REV2x_OFFSPEED, 10},
        {hw::O2FB, 0},
        {hw::O2FB_Target, 1470},
        {hw::O2FB_MaxCorr, 10},
        {hw::O2FB_MaxLoad, 0},
        {hw::O2FB_Gain, 2},
        {hw::MAP_BAR_LO, factory::kMapBarLo},
        {hw::MAP_BAR_HI, factory::kMapBarHi},
        {hw::METH_MODE, 0},
        {hw::METH_BAR_LO, 50},
        {hw::METH_BAR_HI, 150},
        {hw::METH_FADE_IN, 50},
        {hw::METH_FADE_OUT, 20},
        {hw::EXTERNALKS, 0},
        {hw::KNOCKFUEL, 5},
        {hw::SW_A_NAME, 0},  // "Water/Meth"
        {hw::SW_B_NAME, 2},  // "Fuel Pump"
        {hw::SW_C_NAME, 3},  // "Knock-Light"
        {hw::SW_D_NAME, 8},  // "noname"
        {hw::BOOST_DUTY_MIN, 0},
        {hw::BOOST_DUTY_MAX, 90},
        {hw::BOOST_HZ, 2},  // "31Hz"
        {hw::BOOST_START, 30},
    };
    for (const Setting& s : kSettings)
        cal.param(s.word) = low16(s.value);
    cal.param(hw::MAP_LO) = low16(bar100_to_counts(cal, factory::kMapBarLo));
    cal.param(hw::MAP_HI) = low16(bar100_to_counts(cal, factory::kMapBarHi));
    cal.param(hw::O2FB_MaxLoad_counts) = low16(bar100_to_counts(cal, cal.param(hw::O2FB_MaxLoad)));
    cal.param(hw::REV2x_OFFTHROTTLE) = low16(tps_percent_to_counts(cal, 50));

    // Output A is laid out for a water/methanol pump (above 3000 rpm and
    // 0.5 bar), off until the kit is fitted; C lights on knock.
    const int a = sw::record_start(0);
    cal.param(a + sw::RPM) = 1;
    cal.param(a + sw::RPM1) = 3000;
    cal.param(a + sw::RPM2) = 8000;
    cal.param(a + sw::MAP) = 1;
    cal.param(a + sw::MAP1) = 50;
    cal.param(a + sw::MAP2) = factory::kMapBarHi;
    cal.param(sw::record_start(2) + sw::MODE) = 3;  // "Knock-Light"

    // The engine speed per km/h that tells the gears apart, and less boost
    // in the first two gears, where traction ends before the engine does.
    constexpr int kGearJudge[] = {120, 72, 50, 38, 31, 26};
    constexpr int kGearDuty[] = {0, 5, 10, 10, 10, 10};
    for (int g = 0; g < 6; ++g) {
        cal.param(hw::BOOST_GEARJ_1 + g) = low16(kGearJudge[g]);
        cal.param(hw::BOOST_GEARD_1 + g) = low16(kGearDuty[g]);
    }
}

void fill_curves(Calibration& cal) {
    for (int i = 0; i <= 32; ++i) {
        const double volts = i * 5.0 / 32.0;
        const double celsius = iat_sender_celsius(volts);
        cal.curve_word(cv::IAT_SENSOR + i) = low16(std::lround(celsius));
        // Air density goes with 1/T: colder air than the map's reference
        // carries more mass per litre and needs more fuel.
        const double density_ratio = (factory::kReferenceCelsius + kZeroCelsiusKelvin) /
                                     (std::round(celsius) + kZeroCelsiusKelvin);
        cal.curve_word(cv::IAT_CORRECTION + i) = low16(std::lround(100.0 * (density_ratio - 1.0)));
        cal.set_maf_point(
            i, static_cast<std::uint16_t>(std::lround(32768.0 * maf_sensor_share(volts))));
    }
    // Mechanical noise grows with engine speed, and the knock threshold with it.
    for (int i = 0; i < cv::KNOCK_POINTS; ++i)
        cal.curve_word(cv::KNOCK + i) = low16(600 + 80 * i);
    // Richer is demanded as boost rises: AFR 15.0 at 0 bar down to 12.0 at the
    // mapping hi-limit (point 15) and beyond.
    for (int i = 0; i < cv::AFR_PROTECT_POINTS; ++i)
        cal.curve_word(cv::AFR_PROTECT + i) = low16(150 - 2 * std::min(i, 15));
    rebuild_maf_reverse_table(cal);
}

void fill_maf_emulation_map(Calibration& cal) {
    const int map_lo = cal.param(hw::MAP_LO);
    const int map_hi = cal.param(hw::MAP_HI);
    for (int r = 0; r < kMapRows; ++r) {
        const double gauge_bar = counts_to_bar(cal, map_lo + (map_hi - map_lo) * r / 23);
        for (int c = 0; c < kMapCols; ++c) {
            const double share =
                engine_airflow_grams_per_second(engine_rpm_of_column(c), gauge_bar) /
                factory::kMafFullScaleGramsPerSecond;
            const auto airflow =
                static_cast<int>(std::lround(std::clamp(share, 0.0, 1.0) * 32767.0));
            cal.cell(MapId::map_2_maf, r, c) = low16(maf_airflow_to_counts(cal, airflow));
        }
    }
}

// Wastegate duty by throttle (rows 0 to 11) and engine speed: none below 40 %
// throttle, so part throttle stays on the wastegate spring; then rising with
// the pedal, plus up to 30 % more as the turbo comes on song above 2000 rpm.
void fill_boost_duty_map(Calibration& cal) {
    for (int r = 0; r < 12; ++r) {
        const int throttle = 100 * r / 11;
        for (int c = 0; c < kMapCols; ++c) {
            const int rpm = engine_rpm_of_column(c);
            const int spool = rpm < 2000 ? 0 : std::min(30, (rpm - 2000) / 100);
            const int duty = throttle < 40 ? 0 : (throttle - 40) * 50 / 60 + spool;
            cal.cell(MapId::boost_duty, r, c) =
                low16(std::clamp(duty, 0, static_cast<int>(cal.param(hw::BOOST_DUTY_MAX))));
        }
    }
}

}  // namespace

double iat_sender_celsius(double volts) {
    return 140.0 - 176.0 * std::pow(std::clamp(volts / 5.0, 0.0, 1.0), 1.15);
}

double iat_sender_volts(double celsius) {
    return 5.0 * std::pow(std::clamp((140.0 - celsius) / 176.0, 0.0, 1.0), 1.0 / 1.15);
}

double maf_sensor_share(double volts) {
    return std::pow(std::clamp(volts / 5.0, 0.0, 1.0), 2.6);
}

double volumetric_efficiency(double rpm) {
    // Best at 4500 rpm; it falls slowly enough beyond that for the airflow to
    // keep rising with speed up to the map's last column.
    return 0.78 + 0.17 * std::sin(std::numbers::pi * std::max(rpm, 0.0) / 9000.0);
}

double engine_airflow_grams_per_second(double rpm, double gauge_bar) {
    const double absolute_pascal = std::max(0.0, gauge_bar + factory::kAtmosphereBar) * 1e5;
    const double grams_per_litre =
        absolute_pascal / (kGasConstantAir * (factory::kReferenceCelsius + kZeroCelsiusKelvin));
    const double litres_per_second = factory::kDisplacementLitres * rpm / 120.0;
    return litres_per_second * volumetric_efficiency(rpm) * grams_per_litre;
}

Calibration factory_calibration() {
    Calibration cal;
    set_start_values(cal);
    fill_parameters(cal);
    fill_curves(cal);
    fill_maf_emulation_map(cal);
    fill_boost_duty_map(cal);
    recompute_derived_values(cal, Edition::full);
    return cal;
}

}  // namespace veloquin
