#include "datalogs/mazda_import.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "datalogs/log_file.h"
#include "tests/datalogs/log_samples.h"
#include "tests/support/temp_dir.h"

namespace veloquin {
namespace {

TEST(MazdaImport, SixWordsBecomeOneSample) {
    LogBuffer log;
    log.make_room(1);
    log.samples[0].wg_duty = 50.0F;
    log.samples[0].speed = 77;
    const LogReadResult r = read_mazda_text(log, "40 101.3 3000 12.5 65 25.0\r\n");
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(log.mazda_log);
    ASSERT_EQ(log.count, 1);
    const LogSample& s = log.samples[0];
    EXPECT_EQ(s.rpm, 3000);
    EXPECT_NEAR(s.boost, 0.013F, 1e-6F);
    EXPECT_FLOAT_EQ(s.throttle, 25.0F);
    EXPECT_FLOAT_EQ(s.maf_in, 6.5F);
    EXPECT_EQ(s.temperature, 12);
    EXPECT_FLOAT_EQ(s.inj_duty, 40.0F);
    EXPECT_FLOAT_EQ(s.fuel_corr, 80.0F);
    EXPECT_EQ(s.speed, 0);
    EXPECT_FLOAT_EQ(s.afr, 0.0F);
    EXPECT_FLOAT_EQ(s.maf_out, 0.0F);
    EXPECT_FLOAT_EQ(s.knock, 0.0F);
    EXPECT_EQ(s.flags, 0);
    EXPECT_FLOAT_EQ(s.wg_duty, 0.0F);  // nothing of an earlier log survives
}

TEST(MazdaImport, SamplesAreCountedInWordsNotLines) {
    LogBuffer log;
    // Seven words per line: each line shifts the next sample by one more word.
    read_mazda_text(log, "1 2 3 4 5 6 7\n11 12 13 14 15 16 17\n21 22 23 24 25 26 27\n");
    ASSERT_EQ(log.count, 4);  // 21 words: three full groups and a short one
    EXPECT_EQ(log.samples[0].rpm, 3);
    EXPECT_FLOAT_EQ(log.samples[1].inj_duty, 7.0F);
    EXPECT_EQ(log.samples[1].rpm, 12);
    EXPECT_FLOAT_EQ(log.samples[2].inj_duty, 16.0F);
    EXPECT_EQ(log.samples[2].rpm, 21);
    // The last group has only 25 26 27; its other words repeat those of the group before.
    EXPECT_FLOAT_EQ(log.samples[3].inj_duty, 25.0F);
    EXPECT_EQ(log.samples[3].rpm, 27);
    EXPECT_EQ(log.samples[3].temperature, 22);
    EXPECT_FLOAT_EQ(log.samples[3].throttle, 24.0F);
}

TEST(MazdaImport, HeaderLineIsReadAsZeros) {
    LogBuffer log;
    read_mazda_text(log, "Load MAP RPM Ign Air Thr\n50 100 2000 10 30 5\n");
    ASSERT_EQ(log.count, 2);
    EXPECT_FLOAT_EQ(log.samples[0].boost, -1.0F);
    EXPECT_EQ(log.samples[0].rpm, 0);
    EXPECT_EQ(log.samples[1].rpm, 2000);
}

// Any bytes "read" as words: a garbage file showed as a log of hundreds of samples.
TEST(MazdaImport, FileOfMostlyOtherLinesIsRefusedAndTheLogKept) {
    LogBuffer log;
    testing::fill_numbered(log, 5);
    std::string garbage = "1 2 3 4 5 6\n";
    for (int i = 0; i < 9; ++i)
        garbage += "\x8f@Zq \x01\x02 ??x 17 ;;\n";
    const LogReadResult r = read_mazda_text(log, garbage);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, "not a Mazda data log: only 1 of 10 lines hold numbers");
    EXPECT_EQ(log.count, 5);
    EXPECT_FALSE(log.mazda_log);
}

TEST(MazdaImport, EmptyFileIsAnEmptyMazdaLog) {
    LogBuffer log;
    testing::fill_numbered(log, 5);
    EXPECT_TRUE(read_mazda_text(log, " \r\n").ok);
    EXPECT_EQ(log.count, 0);
    EXPECT_TRUE(log.mazda_log);
}

TEST(MazdaImport, SelectsTheSixMazdaChannelsAndKeepsWastegate) {
    for (bool wg : {false, true}) {
        LogBuffer log;
        log.flags.fill(true);
        log.set_visible(LogChannel::wg_duty, wg);
        read_mazda_text(log, "1 2 3 4 5 6");
        for (int c = 0; c < kLogChannelCount; ++c) {
            const auto channel = static_cast<LogChannel>(c);
            const bool expected =
                channel == LogChannel::rpm || channel == LogChannel::boost ||
                channel == LogChannel::throttle || channel == LogChannel::maf_in ||
                channel == LogChannel::temperature || channel == LogChannel::fuel_corr ||
                (channel == LogChannel::wg_duty && wg);
            EXPECT_EQ(log.visible(channel), expected) << c;
        }
    }
}

TEST(MazdaImport, LoadingALogFileLeavesMazdaModeButNotTheChannels) {
    LogBuffer log;
    read_mazda_text(log, "1 2 3 4 5 6");
    const ChannelFlags mazda_flags = log.flags;
    read_log_text(log, format_log_file(LogBuffer{}));
    EXPECT_FALSE(log.mazda_log);
    EXPECT_EQ(log.flags, mazda_flags);
}

TEST(MazdaImport, LongLogsAndOverlongWords) {
    std::string text;
    for (int i = 0; i <= 60000; ++i)
        text += "1 2 3 4 5 6\n";
    LogBuffer log;
    const LogReadResult r = read_mazda_text(log, text);
    EXPECT_FALSE(r.cut);
    EXPECT_EQ(log.count, 60001);
    EXPECT_TRUE(r.message.empty());

    const LogReadResult longer = read_mazda_text(log, "1 2 " + std::string(100, '7') + " 4 5 6");
    EXPECT_EQ(longer.overlong_words, 1);
    EXPECT_EQ(log.count, 1);
    EXPECT_EQ(log.samples[0].rpm, 2147483647);
    EXPECT_FLOAT_EQ(log.samples[0].throttle, 6.0F);
}

TEST(MazdaImport, HugeValuesStayFinite) {
    LogBuffer log;
    read_mazda_text(log, "1e300 -1e300 1 2 1e300 3");
    ASSERT_EQ(log.count, 1);
    const LogSample& s = log.samples[0];
    EXPECT_TRUE(std::isfinite(s.fuel_corr));
    EXPECT_GT(s.fuel_corr, 1e38F);
    EXPECT_TRUE(std::isfinite(s.boost));
    EXPECT_LT(s.boost, -1e36F);  // the word is held at the float limit before scaling
    EXPECT_TRUE(std::isfinite(s.maf_in));
}

TEST(MazdaImport, ReaderIsChosenByCaseSensitiveName) {
    struct Case {
        const char* path;
        bool log_file;
        bool mazda;
    };
    for (const Case& c : {Case{"/logs/trip.mdl", false, true}, Case{"/logs/TRIP.MDL", false, false},
                          Case{"/logs/run.log", true, false}, Case{"/logs/RUN.LOG", false, false},
                          Case{"/a.log/b.mdl", true, true}, Case{"/x/run.logbook", true, false}}) {
        const LogReaderChoice choice = choose_log_readers(c.path);
        EXPECT_EQ(choice.log_file, c.log_file) << c.path;
        EXPECT_EQ(choice.mazda, c.mazda) << c.path;
    }
}

TEST(MazdaImport, LoadByNameRunsTheChosenReaders) {
    testing::TempDir dir;
    LogBuffer log;
    testing::write_file(dir / "trip.mdl", "40 101.3 3000 12.5 65 25.0\n");
    testing::write_file(dir / "TRIP.MDL", "40 101.3 3000 12.5 65 25.0\n");

    EXPECT_TRUE(load_log_by_name(log, dir / "trip.mdl").ok);
    EXPECT_TRUE(log.mazda_log);
    EXPECT_EQ(log.count, 1);

    testing::fill_numbered(log, 3);
    log.mazda_log = false;
    const LogReadResult upper = load_log_by_name(log, dir / "TRIP.MDL");
    EXPECT_FALSE(upper.ok);
    EXPECT_FALSE(upper.message.empty());
    EXPECT_EQ(log.count, 3);
    EXPECT_FALSE(log.mazda_log);

    const LogReadResult missing = mazda_read_file(log, dir / "gone.mdl");
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(log.count, 3);
}

}  // namespace
}  // namespace veloquin
