#include "calibration/config_keys.h"

#include <algorithm>
#include <array>

#include "calibration/calibration.h"

namespace veloquin {
namespace {

constexpr auto I = KeyEncoding::integer;
constexpr auto V = KeyEncoding::volts;

constexpr std::array<ConfigKey, kConfigKeyCount> kKeys = {{
    {"EMULATE_MAF", hw::EMULATE_MAF, I, true},
    {"EXTERNALTS", hw::EXTERNALTS, I, true},
    {"EXTERNALKS", hw::EXTERNALKS, I, true},
    {"KNOCKFUEL", hw::KNOCKFUEL, I, true},
    {"MAF_INVERT", hw::MAF_INVERT, I, true},
    {"TPS_INVERT", hw::TPS_INVERT, I, true},
    {"MAP_00V", hw::MAP_00V, V, true},
    {"MAP_05V", hw::MAP_05V, V, true},
    {"MAP_BAR_LO", hw::MAP_BAR_LO, I, true},
    {"MAP_BAR_HI", hw::MAP_BAR_HI, I, true},
    {"MAP_UNITS", hw::MAP_UNITS, I, true},
    {"MAP_FILTER", hw::MAP_FILTER, I, true},
    {"MAF_LO", hw::MAF_LO, V, true},
    {"MAF_HI", hw::MAF_HI, V, true},
    {"AFR_0V", hw::AFR_0V, I, true},
    {"AFR_5V", hw::AFR_5V, I, true},
    {"ACC_ENABLE", hw::ACC_ENABLE, I, true},
    {"ACC_FACTOR", hw::ACC_FACTOR, I, true},
    {"ACC_DFACTOR", hw::ACC_DFACTOR, I, true},
    {"ACC_DECAY", hw::ACC_DECAY, I, true},
    {"ACC_TRESHOLD", hw::ACC_TRESHOLD, I, true},
    {"ACC_MAX", hw::ACC_MAX, I, true},
    {"THROTTLE_LO", hw::THROTTLE_LO, V, true},
    {"THROTTLE_HI", hw::THROTTLE_HI, V, true},
    {"FLM_LOAD", hw::FLM_LOAD, I, true},
    {"REV_DIV", hw::REV_DIV, I, true},
    {"SPD_DIV", hw::SPD_DIV, I, true},
    {"REV2x", hw::REV2x, I, true},
    {"REV2x_RPMON", hw::REV2x_RPMON, I, true},
    {"REV2x_RPMOFF", hw::REV2x_RPMOFF, I, true},
    {"REV2x_FUELCORR", hw::REV2x_FUELCORR, I, true},
    {"REV2x_OFFSPEED", hw::REV2x_OFFSPEED, I, true},
    {"REV2x_OFFTHROTTLE", hw::REV2x_OFFTHROTTLE, I, true},
    {"O2FB", hw::O2FB, I, true},
    {"O2FB_Target", hw::O2FB_Target, I, true},
    {"O2FB_MaxCorr", hw::O2FB_MaxCorr, I, true},
    {"O2FB_MaxLoad", hw::O2FB_MaxLoad, I, true},
    {"O2FB_Gain", hw::O2FB_Gain, I, true},
    {"METH_MODE", hw::METH_MODE, I, true},
    {"METH_BAR_LO", hw::METH_BAR_LO, I, true},
    {"METH_BAR_HI", hw::METH_BAR_HI, I, true},
    {"METH_FADE_IN", hw::METH_FADE_IN, I, true},
    {"METH_FADE_OUT", hw::METH_FADE_OUT, I, true},
    {"BOOST_DUTY_MIN", hw::BOOST_DUTY_MIN, I, true},
    {"BOOST_DUTY_MAX", hw::BOOST_DUTY_MAX, I, true},
    {"BOOST_START", hw::BOOST_START, I, true},
    {"BOOST_HZ", hw::BOOST_HZ, I, true},
    {"BOOST_GEARJ_1", hw::BOOST_GEARJ_1 + 0, I, true},
    {"BOOST_GEARD_1", hw::BOOST_GEARD_1 + 0, I, true},
    {"BOOST_GEARJ_2", hw::BOOST_GEARJ_1 + 1, I, true},
    {"BOOST_GEARD_2", hw::BOOST_GEARD_1 + 1, I, true},
    {"BOOST_GEARJ_3", hw::BOOST_GEARJ_1 + 2, I, true},
    {"BOOST_GEARD_3", hw::BOOST_GEARD_1 + 2, I, true},
    {"BOOST_GEARJ_4", hw::BOOST_GEARJ_1 + 3, I, true},
    {"BOOST_GEARD_4", hw::BOOST_GEARD_1 + 3, I, true},
    {"BOOST_GEARJ_5", hw::BOOST_GEARJ_1 + 4, I, true},
    {"BOOST_GEARD_5", hw::BOOST_GEARD_1 + 4, I, true},
    {"BOOST_GEARJ_6", hw::BOOST_GEARJ_1 + 5, I, true},
    {"BOOST_GEARD_6", hw::BOOST_GEARD_1 + 5, I, true},
    {"SW_A_MODE", sw::record_start(0) + sw::MODE, I, true},
    {"SW_A_RPM", sw::record_start(0) + sw::RPM, I, true},
    {"SW_A_RPM1", sw::record_start(0) + sw::RPM1, I, true},
    {"SW_A_RPM2", sw::record_start(0) + sw::RPM2, I, true},
    {"SW_A_SPD", sw::record_start(0) + sw::SPD, I, true},
    {"SW_A_SPD1", sw::record_start(0) + sw::SPD1, I, true},
    {"SW_A_SPD2", sw::record_start(0) + sw::SPD2, I, true},
    {"SW_A_MAP", sw::record_start(0) + sw::MAP, I, true},
    {"SW_A_MAP1", sw::record_start(0) + sw::MAP1, I, true},
    {"SW_A_MAP2", sw::record_start(0) + sw::MAP2, I, true},
    {"SW_A_IAT", sw::record_start(0) + sw::IAT, I, true},
    {"SW_A_IAT1", sw::record_start(0) + sw::IAT1, I, true},
    {"SW_A_IAT2", sw::record_start(0) + sw::IAT2, I, true},
    {"SW_A_THR", sw::record_start(0) + sw::THR, I, true},
    {"SW_A_THR1", sw::record_start(0) + sw::THR1, I, true},
    {"SW_A_THR2", sw::record_start(0) + sw::THR2, I, true},
    {"SW_B_MODE", sw::record_start(1) + sw::MODE, I, true},
    {"SW_B_RPM", sw::record_start(1) + sw::RPM, I, true},
    {"SW_B_RPM1", sw::record_start(1) + sw::RPM1, I, true},
    {"SW_B_RPM2", sw::record_start(1) + sw::RPM2, I, true},
    {"SW_B_SPD", sw::record_start(1) + sw::SPD, I, true},
    {"SW_B_SPD1", sw::record_start(1) + sw::SPD1, I, true},
    {"SW_B_SPD2", sw::record_start(1) + sw::SPD2, I, true},
    {"SW_B_MAP", sw::record_start(1) + sw::MAP, I, true},
    {"SW_B_MAP1", sw::record_start(1) + sw::MAP1, I, true},
    {"SW_B_MAP2", sw::record_start(1) + sw::MAP2, I, true},
    {"SW_B_IAT", sw::record_start(1) + sw::IAT, I, true},
    {"SW_B_IAT1", sw::record_start(1) + sw::IAT1, I, true},
    {"SW_B_IAT2", sw::record_start(1) + sw::IAT2, I, true},
    {"SW_B_THR", sw::record_start(1) + sw::THR, I, true},
    {"SW_B_THR1", sw::record_start(1) + sw::THR1, I, true},
    {"SW_B_THR2", sw::record_start(1) + sw::THR2, I, true},
    {"SW_C_MODE", sw::record_start(2) + sw::MODE, I, true},
    {"SW_C_RPM", sw::record_start(2) + sw::RPM, I, true},
    {"SW_C_RPM1", sw::record_start(2) + sw::RPM1, I, true},
    {"SW_C_RPM2", sw::record_start(2) + sw::RPM2, I, true},
    {"SW_C_SPD", sw::record_start(2) + sw::SPD, I, true},
    {"SW_C_SPD1", sw::record_start(2) + sw::SPD1, I, true},
    {"SW_C_SPD2", sw::record_start(2) + sw::SPD2, I, true},
    {"SW_C_MAP", sw::record_start(2) + sw::MAP, I, true},
    {"SW_C_MAP1", sw::record_start(2) + sw::MAP1, I, true},
    {"SW_C_MAP2", sw::record_start(2) + sw::MAP2, I, true},
    {"SW_C_IAT", sw::record_start(2) + sw::IAT, I, true},
    {"SW_C_IAT1", sw::record_start(2) + sw::IAT1, I, true},
    {"SW_C_IAT2", sw::record_start(2) + sw::IAT2, I, true},
    {"SW_C_THR", sw::record_start(2) + sw::THR, I, true},
    {"SW_C_THR1", sw::record_start(2) + sw::THR1, I, true},
    {"SW_C_THR2", sw::record_start(2) + sw::THR2, I, true},
    {"SW_D_MODE", sw::record_start(3) + sw::MODE, I, true},
    {"SW_D_RPM", sw::record_start(3) + sw::RPM, I, true},
    {"SW_D_RPM1", sw::record_start(3) + sw::RPM1, I, true},
    {"SW_D_RPM2", sw::record_start(3) + sw::RPM2, I, true},
    {"SW_D_SPD", sw::record_start(3) + sw::SPD, I, true},
    {"SW_D_SPD1", sw::record_start(3) + sw::SPD1, I, true},
    {"SW_D_SPD2", sw::record_start(3) + sw::SPD2, I, true},
    {"SW_D_MAP", sw::record_start(3) + sw::MAP, I, true},
    {"SW_D_MAP1", sw::record_start(3) + sw::MAP1, I, true},
    {"SW_D_MAP2", sw::record_start(3) + sw::MAP2, I, true},
    {"SW_D_IAT", sw::record_start(3) + sw::IAT, I, true},
    {"SW_D_IAT1", sw::record_start(3) + sw::IAT1, I, true},
    {"SW_D_IAT2", sw::record_start(3) + sw::IAT2, I, true},
    {"SW_D_THR", sw::record_start(3) + sw::THR, I, true},
    {"SW_D_THR1", sw::record_start(3) + sw::THR1, I, true},
    {"SW_D_THR2", sw::record_start(3) + sw::THR2, I, true},
    {"SW_A_NAME", hw::SW_A_NAME, I, true},
    {"SW_B_NAME", hw::SW_B_NAME, I, true},
    {"SW_C_NAME", hw::SW_C_NAME, I, true},
    {"SW_D_NAME", hw::SW_D_NAME, I, true},
    {"MAP_LO", hw::MAP_LO, V, false},
    {"MAP_HI", hw::MAP_HI, V, false},
}};

}  // namespace

std::span<const ConfigKey> config_keys() {
    return kKeys;
}

const ConfigKey* find_config_key(std::string_view name) {
    const auto* it = std::find_if(kKeys.begin(), kKeys.end(),
                                  [&](const ConfigKey& k) { return k.name == name; });
    return it == kKeys.end() ? nullptr : &*it;
}

const ConfigKey* config_key_for_word(int word) {
    const auto* it = std::find_if(kKeys.begin(), kKeys.end(),
                                  [&](const ConfigKey& k) { return k.word == word; });
    return it == kKeys.end() ? nullptr : &*it;
}

}  // namespace veloquin
