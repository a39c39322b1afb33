#include "devsim/device_store.h"

#include <algorithm>
#include <cmath>

#include "calibration/conversions.h"

namespace veloquin::devsim {
namespace {

constexpr std::array<int, 11> kRevDivValues = {1, 2, 4, 6, 8, 12, 16, 32, 64, 64, 116};
constexpr std::array<int, 11> kBoostHzValues = {20, 24, 31, 40, 1, 1, 1, 1, 1, 1, 0};

void put_word(RawBlock& out, std::size_t index, int value) {
    out[2 * index] = static_cast<std::uint8_t>(value & 0xFF);
    out[2 * index + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

RawBlock words_to_bytes(std::span<const std::int16_t> words) {
    RawBlock out(words.size() * 2);
    for (std::size_t i = 0; i < words.size(); ++i)
        put_word(out, i, words[i]);
    return out;
}

int engine_rpm_of_column(int col) {
    return 500 * (col + 1);
}

void fill_parameters(Calibration& cal) {
    struct Setting {
        int word;
        int value;
    };
    static constexpr Setting kSettings[] = {
        {hw::EMULATE_MAF, 1},
        {hw::MAP_FILTER, 3},
        {hw::AFR_0V, 735},
        {hw::AFR_5V, 2205},
        {hw::ACC_FACTOR, 10},
        {hw::ACC_DECAY, 5},
        {hw::ACC_TRESHOLD, 8},
        {hw::ACC_MAX, 3},
        {hw::FLM_LOAD, 0},
        {hw::REV_DIV, 2},
        {hw::SPD_DIV, 140},
        {hw::REV2x_RPMON, 4000},
        {hw::REV2x_RPMOFF, 4000},
        {hw::REV2x_FUELCORR, -20},
        {hw::REV2x_OFFSPEED, 10},
        {hw::REV2x_OFFTHROTTLE, 2048},
        {hw::O2FB, 1},
        {hw::O2FB_Target, 1470},
        {hw::O2FB_MaxCorr, 10},
        {hw::O2FB_Gain, 2},
        {hw::METH_MODE, 1},
        {hw::METH_BAR_LO, 50},
        {hw::METH_BAR_HI, 150},
        {hw::METH_FADE_IN, 50},
        {hw::METH_FADE_OUT, 20},
        {hw::ACC_DFACTOR, 5},
        {hw::KNOCKFUEL, 5},
        {hw::SW_A_NAME, 0},
        {hw::SW_B_NAME, 2},
        {hw::SW_C_NAME, 3},
        {hw::SW_D_NAME, 8},
        {hw::BOOST_DUTY_MIN, 10},
        {hw::BOOST_DUTY_MAX, 90},
        {hw::BOOST_HZ, 2},
        {hw::BOOST_START, 30},
    };
    for (const Setting& s : kSettings)
        cal.param(s.word) = low16(s.value);

    // Output A feeds water/methanol between 0.5 and 2.5 bar above 3000 rpm;
    // B runs the fuel pump always; C is the knock light.
    const int a = sw::record_start(0);
    cal.param(a + sw::MODE) = 2;
    cal.param(a + sw::RPM) = 1;
    cal.param(a + sw::RPM1) = 3000;
    cal.param(a + sw::RPM2) = 8000;
    cal.param(a + sw::MAP) = 1;
    cal.param(a + sw::MAP1) = 50;
    cal.param(a + sw::MAP2) = 250;
    cal.param(sw::record_start(1) + sw::MODE) = 1;
    cal.param(sw::record_start(2) + sw::MODE) = 3;

    constexpr int kGearJudge[] = {120, 72, 50, 38, 31, 26};
    constexpr int kGearDuty[] = {0, 5, 10, 10, 10, 10};
    for (int g = 0; g < 6; ++g) {
        cal.param(hw::BOOST_GEARJ_1 + g) = low16(kGearJudge[g]);
        cal.param(hw::BOOST_GEARD_1 + g) = low16(kGearDuty[g]);
    }
}

void fill_curves(Calibration& cal) {
    for (int i = 0; i <= 32; ++i) {
        const double x = i / 32.0;
        const int celsius = static_cast<int>(std::lround(iat_sender_celsius(x * 5.0)));
        cal.curve_word(cv::IAT_SENSOR + i) = low16(celsius);
        cal.curve_word(cv::IAT_CORRECTION + i) = low16(std::clamp((25 - celsius) / 8, -20, 15));
        cal.set_maf_point(i, static_cast<std::uint16_t>(std::lround(32768.0 * std::pow(x, 2.6))));
    }
    for (int i = 0; i < cv::KNOCK_POINTS; ++i)
        cal.curve_word(cv::KNOCK + i) = low16(600 + 80 * i);
    for (int i = 0; i < cv::AFR_PROTECT_POINTS; ++i) {
        cal.curve_word(cv::AFR_PROTECT + i) = low16(130 - 12 * i / 16);
    }
    rebuild_maf_reverse_table(cal);
}

void fill_maps(Calibration& cal) {
    const int map_lo = cal.param(hw::MAP_LO);
    const int map_hi = cal.param(hw::MAP_HI);
    for (int r = 0; r < kMapRows; ++r) {
        const double absolute = 1.0 + counts_to_bar(cal, map_lo + (map_hi - map_lo) * r / 23);
        for (int c = 0; c < kMapCols; ++c) {
            const int rpm = engine_rpm_of_column(c);
            // Volumetric efficiency peaks in the mid range, as on most engines.
            const double ve = 0.8 + 0.15 * std::sin(std::min(rpm, 8000) / 8000.0 * 3.14159);
            const double share = rpm / 8500.0 * absolute / 2.9 * ve;
            const int airflow = static_cast<int>(std::clamp(share, 0.0, 1.0) * 32767.0);
            cal.cell(MapId::map_2_maf, r, c) = low16(maf_airflow_to_counts(cal, airflow));
        }
    }
    for (int r = 0; r < 12; ++r) {
        const int throttle = 100 * r / 11;
        for (int c = 0; c < kMapCols; ++c) {
            const int rpm = engine_rpm_of_column(c);
            const int spool = rpm < 2000 ? 0 : std::min(30, (rpm - 2000) / 100);
            const int duty = throttle < 40 ? 0 : (throttle - 40) * 50 / 60 + spool;
            cal.cell(MapId::boost_duty, r, c) = low16(std::clamp(duty, 0, 100));
            cal.cell(MapId::meth_correction, r, c) = low16(2 * r);
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

int DeviceStore::word(Block b, int index) const {
    const RawBlock& raw = block(b);
    const auto i = static_cast<std::size_t>(index) * 2;
    if (index < 0 || i + 1 >= raw.size()) return 0;
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(raw[i] | (raw[i + 1] << 8)));
}

int DeviceStore::fuel_correction(int row, int col) const {
    return static_cast<std::uint16_t>(map_cell(Block::f_map, row, col)) / 128 - 100;
}

bool DeviceStore::blank() const {
    return std::all_of(blocks.begin(), blocks.end(), [](const RawBlock& b) {
        return std::all_of(b.begin(), b.end(), [](std::uint8_t x) { return x == 0xFF; });
    });
}

int rev_div_device_value(int index) {
    return kRevDivValues[static_cast<std::size_t>(std::clamp(index, 0, 10))];
}

int rev_div_index(int device_value) {
    const auto it = std::find(kRevDivValues.begin(), kRevDivValues.end(), device_value);
    return it == kRevDivValues.end() ? device_value : static_cast<int>(it - kRevDivValues.begin());
}

int boost_hz_device_value(int index) {
    return kBoostHzValues[static_cast<std::size_t>(std::clamp(index, 0, 10))];
}

Calibration plausible_calibration() {
    Calibration cal;
    set_start_values(cal);
    fill_parameters(cal);
    fill_curves(cal);
    derive_map_pressure_limits(cal);
    fill_maps(cal);
    recompute_derived_values(cal, Edition::full);
    cal.param(hw::BOOST_HZ_device) = low16(boost_hz_device_value(cal.param(hw::BOOST_HZ)));
    return cal;
}

DeviceStore encode_for_device(const Calibration& cal) {
    DeviceStore store;
    for (Block b : kBlockOrder)
        store.block(b) = words_to_bytes(block_words(cal, b));
    RawBlock& header = store.block(Block::header);
    put_word(header, hw::REV_DIV, rev_div_device_value(cal.param(hw::REV_DIV)));
    put_word(header, hw::BOOST_HZ_device, boost_hz_device_value(cal.param(hw::BOOST_HZ)));
    put_word(header, hw::ACC_MAX, cal.param(hw::ACC_MAX) << 7);
    RawBlock& fmap = store.block(Block::f_map);
    for (std::size_t i = 0; i < kMapCells; ++i) {
        put_word(fmap, i,
                 (cal.maps[static_cast<std::size_t>(MapId::fuel_correction)][i] + 100) * 128);
    }
    return store;
}

DeviceStore blank_store() {
    DeviceStore store;
    for (Block b : kBlockOrder) {
        store.block(b).assign(static_cast<std::size_t>(block_bytes(b)), 0xFF);
    }
    return store;
}

}  // namespace veloquin::devsim
