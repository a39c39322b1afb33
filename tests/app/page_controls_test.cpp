#include <gtest/gtest.h>

#include <tuple>

#include "app/page_controls.h"
#include "app/typed_entry.h"
#include "calibration/config_keys.h"
#include "calibration/conversions.h"

namespace veloquin {
namespace {

class PageControlsTest : public ::testing::Test {
  protected:
    PageControlsTest() {
        set_start_values(cal);
        for (Page p :
             {Page::parameters, Page::nos_methanol, Page::ls_switches, Page::boost_control})
            fill_page(controls, cal, p);
    }

    ControlValue& value(Page page, const char* key) {
        const int i = control_index(page, key);
        EXPECT_GE(i, 0) << key;
        return controls.values[static_cast<std::size_t>(i)];
    }
    void type(Page page, const char* key, const char* text) { value(page, key).text = text; }

    Calibration cal;
    PageControls controls;
};

TEST_F(PageControlsTest, EveryControlShowsAKeyOfTheKeyTable) {
    for (const ControlInfo& c : control_table()) {
        const ConfigKey* k = find_config_key(c.key);
        ASSERT_NE(k, nullptr) << c.key;
        EXPECT_EQ(c.word, k->word);
        EXPECT_TRUE(has_controls(c.page));
    }
    // Three switch groups of seventeen controls, six gears of two.
    int switches = 0, gears = 0;
    for (const ControlInfo& c : control_table()) {
        switches += c.page == Page::ls_switches ? 1 : 0;
        gears += c.key.rfind("BOOST_GEAR", 0) == 0 ? 1 : 0;
    }
    EXPECT_EQ(switches, 3 * 17);
    EXPECT_EQ(gears, 12);
}

// Typed hundredths used to truncate (1.15 stored 114); a typed value is now
// read to the nearest hundredth.
TEST_F(PageControlsTest, TypedHundredthsAreReadToTheNearestAndShowAgainAsStored) {
    cal.param(hw::MAP_BAR_HI) = 186;
    type(Page::parameters, "MAP_BAR_LO", "1.15");
    read_back_page(controls, cal, Page::parameters);
    EXPECT_EQ(cal.param(hw::MAP_BAR_LO), 115);
    EXPECT_EQ(cal.param(hw::MAP_LO), bar100_to_counts(cal, 115));
    EXPECT_EQ(value(Page::parameters, "MAP_BAR_LO").text, "1.15");
    type(Page::parameters, "O2FB_Target", "14.57");
    read_back_page(controls, cal, Page::parameters);
    EXPECT_EQ(cal.param(hw::O2FB_Target), 1457);
    EXPECT_EQ(value(Page::parameters, "O2FB_Target").text, "14.6");
}

// A field nobody typed into keeps its word whatever it can show: 1.14 does
// not become 1.13, 1457 does not become 1460, a throttle threshold below the
// closed end does not move, a ticked 5 does not become 1.
TEST_F(PageControlsTest, FillThenReadBackKeepsEveryStoredValue) {
    const std::vector<int> values = {-32768, -32767, -12345, -1000, -68, -1,   0,    1,
                                     5,      17,     99,     114,   999, 1457, 4095, 32767};
    for (Page page :
         {Page::parameters, Page::nos_methanol, Page::ls_switches, Page::boost_control}) {
        for (const ControlInfo& c : control_table()) {
            if (c.page != page) continue;
            for (const int v : values) {
                cal.param(c.word) = low16(v);
                const Calibration before = cal;
                fill_page(controls, cal, page);
                for (int round = 0; round < 3; ++round)
                    read_back_page(controls, cal, page);
                ASSERT_EQ(cal.header, before.header) << c.key << " holding " << v;
            }
        }
    }
}

// "O2FB Gain (1..5)" 99999 became -31073 and "R/S Judge" -3 was taken; two
// limits could meet and leave the map axis without height.
TEST_F(PageControlsTest, TypedValuesAreHeldInsideTheirKeysRange) {
    type(Page::parameters, "O2FB_Gain", "99999");
    type(Page::parameters, "O2FB_MaxCorr", "-4");
    type(Page::parameters, "REV2x_OFFTHROTTLE", "-5");
    type(Page::parameters, "REV2x_RPMON", "40000");
    read_back_page(controls, cal, Page::parameters);
    EXPECT_EQ(cal.param(hw::O2FB_Gain), 5);
    EXPECT_EQ(value(Page::parameters, "O2FB_Gain").text, "5");
    EXPECT_EQ(cal.param(hw::O2FB_MaxCorr), 0);
    EXPECT_EQ(cal.param(hw::REV2x_OFFTHROTTLE), cal.param(hw::THROTTLE_LO));
    EXPECT_EQ(value(Page::parameters, "REV2x_RPMON").text, "40000");
    type(Page::boost_control, "BOOST_DUTY_MAX", "150");
    type(Page::boost_control, "BOOST_GEARJ_2", "-3");
    read_back_page(controls, cal, Page::boost_control);
    EXPECT_EQ(cal.param(hw::BOOST_DUTY_MAX), 100);
    EXPECT_EQ(cal.param(hw::BOOST_GEARJ_1 + 1), 0);
    type(Page::ls_switches, "SW_A_THR1", "-5");
    read_back_page(controls, cal, Page::ls_switches);
    EXPECT_EQ(cal.param(sw::record_start(0) + sw::THR1), 0);

    // Limits that may not meet: the one typed stays a step short of the other.
    cal.param(hw::MAP_BAR_HI) = 186;
    fill_page(controls, cal, Page::parameters);
    type(Page::parameters, "MAP_BAR_LO", "1.86");
    type(Page::parameters, "THROTTLE_HI", "0.5");
    read_back_page(controls, cal, Page::parameters);
    EXPECT_EQ(cal.param(hw::MAP_BAR_LO), 185);
    EXPECT_EQ(cal.param(hw::MAP_BAR_HI), 186);
    EXPECT_EQ(cal.param(hw::THROTTLE_HI), cal.param(hw::THROTTLE_LO) + 1);
    // Both ends typed at once count against each other's new value.
    type(Page::parameters, "MAP_BAR_LO", "2.0");
    type(Page::parameters, "MAP_BAR_HI", "3.0");
    read_back_page(controls, cal, Page::parameters);
    EXPECT_EQ(cal.param(hw::MAP_BAR_LO), 200);
    EXPECT_EQ(cal.param(hw::MAP_BAR_HI), 300);
}

TEST_F(PageControlsTest, OutsideItsRangeAStoredValueIsKeptAndMarked) {
    cal.param(hw::O2FB_Gain) = 9;
    cal.param(hw::KNOCKFUEL) = 50;
    cal.param(hw::MAP_BAR_HI) = 186;
    fill_page(controls, cal, Page::parameters);
    EXPECT_TRUE(value(Page::parameters, "O2FB_Gain").out_of_range);
    EXPECT_FALSE(value(Page::parameters, "KNOCKFUEL").out_of_range);
    EXPECT_EQ(value(Page::parameters, "O2FB_Gain").range_text, "Range: 1 to 5");
    EXPECT_EQ(value(Page::parameters, "MAP_BAR_LO").range_text, "Range: -1.13 to 1.85");
    EXPECT_EQ(value(Page::parameters, "THROTTLE_LO").range_text, "Range: 0.00 to 4.50 V");
    read_back_page(controls, cal, Page::parameters);
    EXPECT_EQ(cal.param(hw::O2FB_Gain), 9);
}

TEST_F(PageControlsTest, VoltsAndThrottlePercent) {
    type(Page::parameters, "MAP_05V", "0.7");
    type(Page::parameters, "THROTTLE_LO", "0.5");
    type(Page::parameters, "THROTTLE_HI", "4.5");
    type(Page::parameters, "REV2x_OFFTHROTTLE", "50");
    read_back_page(controls, cal, Page::parameters);
    EXPECT_EQ(cal.param(hw::MAP_05V), 573);
    ASSERT_EQ(cal.param(hw::THROTTLE_LO), 410);
    ASSERT_EQ(cal.param(hw::THROTTLE_HI), 3686);
    EXPECT_EQ(cal.param(hw::REV2x_OFFTHROTTLE), 2048);
    fill_page(controls, cal, Page::parameters);
    EXPECT_EQ(value(Page::parameters, "MAP_05V").text, "0.70");
    EXPECT_EQ(value(Page::parameters, "REV2x_OFFTHROTTLE").text, "50");
    // A threshold below the closed end stays where it is, page switch after page switch.
    cal.param(hw::REV2x_OFFTHROTTLE) = 17;
    for (int i = 0; i < 3; ++i) {
        fill_page(controls, cal, Page::parameters);
        read_back_page(controls, cal, Page::parameters);
    }
    EXPECT_EQ(value(Page::parameters, "REV2x_OFFTHROTTLE").text, "-12");
    EXPECT_EQ(cal.param(hw::REV2x_OFFTHROTTLE), 17);
    // Both ends equal: the percent is shown as 0 instead of dividing by zero.
    cal.param(hw::THROTTLE_HI) = 410;
    fill_page(controls, cal, Page::parameters);
    EXPECT_EQ(value(Page::parameters, "REV2x_OFFTHROTTLE").text, "0");
}

TEST_F(PageControlsTest, ListOutsideItsEntriesShowsNoneAndKeepsTheStoredValue) {
    cal.param(hw::MAP_FILTER) = 20;
    fill_page(controls, cal, Page::parameters);
    EXPECT_EQ(value(Page::parameters, "MAP_FILTER").index, -1);
    read_back_page(controls, cal, Page::parameters);
    EXPECT_EQ(cal.param(hw::MAP_FILTER), 20);
    value(Page::parameters, "MAP_FILTER").index = 3;
    read_back_page(controls, cal, Page::parameters);
    EXPECT_EQ(cal.param(hw::MAP_FILTER), 3);
}

TEST_F(PageControlsTest, ChecksIntegersAndTheSecondRpmWord) {
    // A check box reads back 1 once the tuner ticks it; untouched it keeps its word.
    cal.param(hw::O2FB) = 5;
    fill_page(controls, cal, Page::parameters);
    EXPECT_TRUE(value(Page::parameters, "O2FB").checked);
    value(Page::parameters, "O2FB").checked = false;
    read_back_page(controls, cal, Page::parameters);
    EXPECT_EQ(cal.param(hw::O2FB), 0);
    value(Page::parameters, "O2FB").checked = true;
    read_back_page(controls, cal, Page::parameters);
    EXPECT_EQ(cal.param(hw::O2FB), 1);
    type(Page::parameters, "REV2x_RPMON", "  +4500rpm");
    type(Page::parameters, "KNOCKFUEL", "70");
    EXPECT_EQ(read_back_page(controls, cal, Page::parameters), "");
    EXPECT_EQ(cal.param(hw::REV2x_RPMON), 4500);
    EXPECT_EQ(cal.param(hw::REV2x_RPMOFF), 4500);
    EXPECT_EQ(cal.param(hw::KNOCKFUEL), 70);
}

// "1,5" as the hi-limit stored 1.00 and relabelled the map; "abc" stored 0.
TEST_F(PageControlsTest, EntriesMeanWhatWasTypedOrAreRefusedSayingWhy) {
    cal.param(hw::SPD_DIV) = 150;
    fill_page(controls, cal, Page::parameters);
    type(Page::parameters, "MAP_BAR_HI", "1,5");
    type(Page::parameters, "SPD_DIV", "abc");
    EXPECT_EQ(read_back_page(controls, cal, Page::parameters),
              "Speed Hz/100kmh: \"abc\" is not a number; the field keeps its value");
    EXPECT_EQ(cal.param(hw::MAP_BAR_HI), 150);
    EXPECT_EQ(cal.param(hw::SPD_DIV), 150);
    EXPECT_EQ(value(Page::parameters, "SPD_DIV").text, "150");
    type(Page::parameters, "MAP_BAR_HI", "9");
    EXPECT_EQ(read_back_page(controls, cal, Page::parameters),
              "Mapping hi-limit, Bar: 9 was held at 3.40 (Range: 0.01 to 3.40)");
}

TEST_F(PageControlsTest, SwitchGroupsAndGearsReachTheirOwnWords) {
    type(Page::ls_switches, "SW_C_MAP2", "1.5");
    value(Page::ls_switches, "SW_C_NAME").index = 7;
    type(Page::boost_control, "BOOST_GEARD_6", "12");
    read_back_page(controls, cal, Page::ls_switches);
    read_back_page(controls, cal, Page::boost_control);
    EXPECT_EQ(cal.param(sw::record_start(2) + sw::MAP2), 150);
    EXPECT_EQ(cal.param(hw::SW_C_NAME), 7);
    EXPECT_EQ(cal.param(hw::BOOST_GEARD_1 + 5), 12);
}

TEST(TypedNumbers, ADecimalCommaIsAPointAndAnythingButANumberIsRefused) {
    const std::pair<const char*, double> good[] = {
        {" 1,5 ", 1.5}, {"-.5", -0.5}, {"1e2", 100.0}, {"+4500 rpm", 4500.0}, {"2.9V", 2.9}};
    for (const auto& [text, v] : good)
        EXPECT_EQ(parse_typed_number(text), v) << text;
    for (const char* text : {"abc", "", "1,5,0", "12x", "1e", ".", "nan", "inf", "1e999"})
        EXPECT_EQ(parse_typed_number(text), std::nullopt) << text;
}

// Below 90 an AFR, from 90 the tenths the cells show; held in 9.0 to 20.0.
TEST(TypedNumbers, ATargetAfrIsReadAsAnAfrOrAsTenthsAndHeldInItsRange) {
    const std::tuple<const char*, std::optional<int>, const char*> cases[] = {
        {"12,5", 125, ""},
        {"125", 125, ""},
        {"5", 90, "Target AFR: 5 was held at AFR 9.0 (Range: AFR 9.0 to 20.0)"},
        {"250", 200, "Target AFR: 250 was held at AFR 20.0 (Range: AFR 9.0 to 20.0)"},
        {"abc", std::nullopt, "Target AFR: \"abc\" is not a number; the cells keep their values"},
    };
    for (const auto& [typed, tenths, note] : cases) {
        EXPECT_EQ(target_afr_entry(typed).value, tenths) << typed;
        EXPECT_EQ(target_afr_entry(typed).note, note) << typed;
    }
}

}  // namespace
}  // namespace veloquin
