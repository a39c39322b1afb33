// The factory calibration as the build writes it, the file the package
// installs and a first start reads.

#include <gtest/gtest.h>

#include "calfile/calibration_file.h"
#include "calibration/config_keys.h"
#include "calibration/conversions.h"
#include "calibration/factory_calibration.h"
#include "tests/support/temp_dir.h"

namespace veloquin {
namespace {

std::size_t count_of(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// The calibration a first start has: start values, then the file.
Calibration first_start(const std::string& text) {
    Calibration cal;
    set_start_values(cal);
    read_calibration_text(cal, text, Edition::full);
    return cal;
}

TEST(FactoryCalibration, FileIsCompleteAndReadsBackAsWritten) {
    const std::string text = testing::read_file(VELOQUIN_FACTORY_FILE);
    for (const ConfigKey& key : config_keys())
        EXPECT_EQ(count_of("\n" + text, "\n" + std::string(key.name) + ":"), 1U) << key.name;
    for (const CalibrationSection& s : calibration_sections())
        EXPECT_EQ(count_of(text, std::string(s.header) + "\r\n"), 1U) << s.header;
    EXPECT_EQ(count_of(text, "[end]\r\n"), calibration_sections().size());

    const Calibration cal = first_start(text);
    EXPECT_EQ(write_calibration_text_with_map_axis(cal, Edition::full), text);
    const Calibration factory = factory_calibration();
    EXPECT_EQ(cal.maps, factory.maps);
    for (const ConfigKey& key : config_keys())
        EXPECT_EQ(cal.param(key.word), factory.param(key.word)) << key.name;
}

TEST(FactoryCalibration, ValuesArePlausibleForAFourCylinderTurboCar) {
    const Calibration cal = first_start(testing::read_file(VELOQUIN_FACTORY_FILE));
    EXPECT_EQ(cal.param(hw::MAP_BAR_LO), -70);
    EXPECT_EQ(cal.param(hw::MAP_BAR_HI), 190);
    // The rows of the map are labelled with those limits from the first look.
    EXPECT_EQ(format_map(cal, cal.param(hw::MAP_LO)), "-0.70");
    EXPECT_EQ(format_map(cal, cal.param(hw::MAP_HI)), "1.90");

    // MAF Emulation: more air with more pressure and more speed, smoothly.
    for (int r = 0; r < kMapRows; ++r) {
        for (int c = 0; c < kMapCols; ++c) {
            const int v = cal.cell(MapId::map_2_maf, r, c);
            ASSERT_GT(v, 0);
            ASSERT_LT(v, 4095);
            // Rises from the cell below and the cell to the left, and never
            // by more than a tenth of the sensor's airflow range.
            for (const int before : {r > 0 ? cal.cell(MapId::map_2_maf, r - 1, c) : v - 1,
                                     c > 0 ? cal.cell(MapId::map_2_maf, r, c - 1) : v - 1}) {
                ASSERT_GT(v, before) << r << "," << c;
                ASSERT_LT(maf_counts_to_airflow(cal, v) - maf_counts_to_airflow(cal, before),
                          32768 / 10)
                    << r << "," << c;
            }
        }
    }
    // Idle in vacuum is a small share of the sensor's range, full boost at
    // the redline nearly all of it.
    EXPECT_LT(maf_counts_to_airflow(cal, cal.cell(MapId::map_2_maf, 0, 1)), 32768 / 50);
    EXPECT_GT(maf_counts_to_airflow(cal, cal.cell(MapId::map_2_maf, 23, 12)), 32768 / 2);

    for (int i = 1; i <= 32; ++i) {
        EXPECT_LT(cal.curve_word(cv::IAT_SENSOR + i), cal.curve_word(cv::IAT_SENSOR + i - 1));
        EXPECT_GT(cal.maf_point(i), cal.maf_point(i - 1));
        EXPECT_GE(cal.curve_word(cv::IAT_CORRECTION + i),
                  cal.curve_word(cv::IAT_CORRECTION + i - 1));
    }
    EXPECT_EQ(cal.maf_point(32), 32768);
    // The map is made for 25 C: more fuel for colder air, less for warmer.
    for (int i = 0; i <= 32; ++i) {
        const int celsius = cal.curve_word(cv::IAT_SENSOR + i);
        const int percent = cal.curve_word(cv::IAT_CORRECTION + i);
        EXPECT_TRUE(celsius < 25 ? percent >= 0 : percent <= 0) << celsius << " C " << percent;
    }
    EXPECT_GT(cal.curve_word(cv::IAT_CORRECTION + 32), 20);
    for (int i = 0; i < cv::AFR_PROTECT_POINTS; ++i) {
        EXPECT_GE(cal.curve_word(cv::AFR_PROTECT + i), 100);
        EXPECT_LE(cal.curve_word(cv::AFR_PROTECT + i), 150);
    }

    // Boost duty: within the solenoid's limits, rising with the pedal, and
    // nothing at part throttle, where the wastegate spring holds the boost.
    for (int r = 0; r < 12; ++r) {
        for (int c = 0; c < kMapCols; ++c) {
            const int duty = cal.cell(MapId::boost_duty, r, c);
            ASSERT_GE(duty, 0);
            ASSERT_LE(duty, cal.param(hw::BOOST_DUTY_MAX));
            ASSERT_GE(duty, r > 0 ? cal.cell(MapId::boost_duty, r - 1, c) : 0);
        }
    }
    EXPECT_EQ(cal.cell(MapId::boost_duty, 3, 10), 0);
    EXPECT_GT(cal.cell(MapId::boost_duty, 11, 10), 50);
}

}  // namespace
}  // namespace veloquin
