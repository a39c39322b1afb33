#include <gtest/gtest.h>

#include <string>

#include "datalogs/log_channels.h"
#include "datalogs/log_exchange.h"
#include "datalogs/log_import.h"
#include "tests/datalogs/log_samples.h"

namespace veloquin {
namespace {

TEST(LogImport, UnitsBecomeTheLogsOwn) {
    struct Case {
        const char* title;
        const char* cell;
        const char* channel;
        double expected;
    };
    const Case cases[] = {
        {"Boost (psi)", "14.5038", "BOOST", 1.0},
        {"Boost (psia)", "14.6959", "BOOST", 0.0},
        {"Boost (kPa)", "50", "BOOST", 0.5},
        {"MAP (kPa)", "201.325", "BOOST", 1.0},
        {"Boost [kPa abs]", "101.325", "BOOST", 0.0},
        {"MAP (bar)", "2.01325", "BOOST", 1.0},
        {"AFR (lambda)", "1.1", "AFR", 16.17},
        {"IAT (°F)", "-40", "TEMP", -40},
        {"Intake Temp (K)", "293.4", "TEMP", 20},
        {"Speed (mph)", "10", "SPEED", 16},
        {"\xEF\xBB\xBF"
         "Throttle (%)",
         "12.5", "THROTTLE", 12.5},  // a byte order mark
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        LogBuffer log;
        ASSERT_TRUE(read_log_table_text(log, std::string(c.title) + "\n" + c.cell + "\n").ok);
        EXPECT_NEAR(log_channel_value(*find_log_channel(c.channel), log.samples[0]), c.expected,
                    1e-4);
    }
}

TEST(LogImport, ATimeOfDayBecomesSampleTimes) {
    LogBuffer log;
    ASSERT_TRUE(read_log_table_text(log, "Time,RPM\n14:03:07.25,900\n14:03:08,950\n").ok);
    EXPECT_TRUE(log.has_times);
    EXPECT_EQ(log.samples[1].time_ms - log.samples[0].time_ms, 750U);
}

TEST(LogImport, TablesGiveBackEverySampleWithTimesAndMarkers) {
    LogBuffer log;
    testing::fill_numbered(log, 300);
    for (int i = 0; i < log.count; ++i) {
        LogSample& s = log.samples[static_cast<std::size_t>(i)];
        s.boost = 0.1F * static_cast<float>(i % 23) - 0.7F;  // no short binary fractions
        s.afr = 11.0F + static_cast<float>(i) / 7.0F;
        s.time_ms = 0xFFFFF000U + 17U * static_cast<std::uint32_t>(i);  // wraps
    }
    log.has_times = true;
    log.markers = {{0, "start"}, {150, "lean; \"hot\", rich"}, {299, "end"}};

    for (const bool csv : {true, false}) {
        SCOPED_TRACE(csv ? "csv" : "msl");
        const std::string text = csv ? format_log_csv(log) : format_log_msl(log, "today");
        LogBuffer back;
        const LogTableResult r = read_log_table_text(back, text);
        ASSERT_TRUE(r.ok) << r.message;
        EXPECT_EQ(r.message, "");
        ASSERT_EQ(back.count, log.count);
        EXPECT_TRUE(back.has_times);
        for (int i = 0; i < log.count; ++i) {
            const auto k = static_cast<std::size_t>(i);
            for (const LogChannelInfo& c : log_channel_table()) {
                EXPECT_EQ(log_channel_value(c, back.samples[k]),
                          log_channel_value(c, log.samples[k]))
                    << c.name << " of sample " << i;
            }
            EXPECT_EQ(back.samples[k].time_ms - back.samples[0].time_ms, 17U * k);
        }
        ASSERT_EQ(back.markers.size(), 3U);
        EXPECT_EQ(back.markers[1].sample, 150);
        EXPECT_EQ(back.markers[1].text, "lean; \"hot\", rich");
    }
}

}  // namespace
}  // namespace veloquin
