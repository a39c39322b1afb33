#include "datalogs/log_file.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "datalogs/mazda_import.h"
#include "tests/datalogs/log_samples.h"
#include "tests/support/temp_dir.h"

namespace veloquin {
namespace {

using testing::fill_numbered;
using testing::numbered_sample;

const std::string kHeader =
    "MAF-EMULATOR_LOG_FILE_Ver 5.0\r\n"
    "  RPM     BOOST     THROTTLE   MAFIn     MAFOut    FuelCorr    TEMP      AFR     SPEED    "
    "INJ.DUTY  KNOCK  FLAGS   LOAD    IGN   WGDuty\r\n";

// The line printf would give for the column formats, as an independent oracle.
std::string printf_line(const LogSample& s) {
    std::array<char, 2048> buf{};
    std::snprintf(buf.data(), buf.size(),
                  "%5d     %1.2f       %1.2f      %1.2f       %1.2f        %4.0f     %3d    "
                  "%2.2f       %3d         %3.1f   %1.2f    %3d    %3d  %3.2f      %3.1f  \r\n",
                  s.rpm, static_cast<double>(s.boost), static_cast<double>(s.throttle),
                  static_cast<double>(s.maf_in), static_cast<double>(s.maf_out),
                  static_cast<double>(s.fuel_corr), s.temperature, static_cast<double>(s.afr),
                  s.speed, static_cast<double>(s.inj_duty), static_cast<double>(s.knock), s.flags,
                  s.ecu_load, static_cast<double>(s.ecu_ignition), static_cast<double>(s.wg_duty));
    return buf.data();
}

LogSample sample_3000() {
    LogSample s;
    s.rpm = 3000;
    s.boost = 0.45F;
    s.throttle = 25.5F;
    s.maf_in = 2.5F;
    s.maf_out = 3.25F;
    s.fuel_corr = -12.0F;
    s.temperature = 35;
    s.afr = 14.7F;
    s.speed = 88;
    s.inj_duty = 45.5F;
    s.knock = 1.25F;
    s.flags = 3;
    s.ecu_load = -1;
    s.ecu_ignition = -1.0F;
    s.wg_duty = 30.0F;
    return s;
}

TEST(LogWriter, EmptyLogIsTheTwoHeaderLines) {
    LogBuffer log;
    EXPECT_EQ(format_log_file(log), kHeader);
}

TEST(LogWriter, SampleLineHasEveryFieldAndItsBlanks) {
    LogBuffer log;
    log.make_room(1);
    log.samples[0] = sample_3000();
    log.count = 1;
    EXPECT_EQ(format_log_file(log),
              kHeader +
                  " 3000     0.45       25.50      2.50       3.25         -12      35    14.70"
                  "        88         45.5   1.25      3     -1  -1.00      30.0  \r\n");
}

TEST(LogWriter, FieldsMatchPrintfForAwkwardValues) {
    // Halfway cases, negative zero, widths overflowing their format and huge values.
    const std::array<float, 12> awkward = {0.125F, 0.375F, 2.5F,    -0.005F, -0.0F,   1e6F,
                                           -1e7F,  99.95F, 0.0049F, 123.45F, 3.4e38F, -2.675F};
    LogBuffer log;
    log.make_room(200);
    std::string expected = kHeader;
    std::mt19937 rng(7);
    for (int i = 0; i < 200; ++i) {
        LogSample s = numbered_sample(i);
        auto pick = [&] { return awkward[rng() % awkward.size()]; };
        s.boost = pick();
        s.throttle = pick();
        s.maf_in = pick();
        s.maf_out = pick();
        s.fuel_corr = pick();
        s.afr = pick();
        s.inj_duty = pick();
        s.knock = pick();
        s.ecu_ignition = pick();
        s.wg_duty = pick();
        s.rpm = static_cast<int>(rng() % 2000000000U) - 1000000000;
        s.temperature = -2147483647 - 1;
        log.samples[static_cast<std::size_t>(i)] = s;
        expected += printf_line(s);
    }
    log.count = 200;
    EXPECT_EQ(format_log_file(log), expected);
}

TEST(LogWriter, FieldsMatchPrintfOverTheFloatRange) {
    // Every value goes into all ten float columns, so each is printed at
    // precisions 0, 1 and 2: each power of two, values at and next to the
    // rounding ties, and random bit patterns.
    std::vector<float> values;
    for (int e = -149; e <= 127; ++e)
        values.push_back(std::ldexp(1.0F, e));
    auto with_neighbours = [&values](float v) {
        values.insert(values.end(), {v, std::nextafter(v, 1e30F), std::nextafter(v, -1e30F)});
    };
    for (int k = -20000; k <= 20000; ++k)
        with_neighbours(static_cast<float>(k) / 200.0F);  // nearest to the ties x.xx5
    for (int k = -2000; k <= 2000; ++k)
        with_neighbours(static_cast<float>(k) / 8.0F);  // exact ties at every precision
    std::mt19937 rng(11);
    for (int n = 0; n < 20000; ++n) {
        const float v = std::bit_cast<float>(static_cast<std::uint32_t>(rng()));
        if (std::isfinite(v)) values.push_back(v);
    }
    for (std::size_t i = 0; i < values.size(); ++i) {
        LogSample s = numbered_sample(static_cast<int>(i));
        for (float LogSample::*field :
             {&LogSample::boost, &LogSample::throttle, &LogSample::maf_in, &LogSample::maf_out,
              &LogSample::fuel_corr, &LogSample::afr, &LogSample::inj_duty, &LogSample::knock,
              &LogSample::ecu_ignition, &LogSample::wg_duty}) {
            s.*field = values[i];
        }
        std::string line;
        append_log_line(line, s);
        ASSERT_EQ(line, printf_line(s)) << values[i];
    }
}

TEST(LogWriter, SmallLogMatchesGolden) {
    LogBuffer log;
    log.make_room(4);
    log.samples[0] = sample_3000();
    for (int i = 1; i < 4; ++i)
        log.samples[static_cast<std::size_t>(i)] = numbered_sample(i * 37);
    log.samples[3].rpm = 123456;  // wider than its format: pushes the rest of the line
    log.count = 4;
    EXPECT_EQ(testing::compare_with_golden("datalogs/small_v5.log", format_log_file(log)), "");
}

TEST(LogWriter, SaveReplacesTheFileAndReportsFailure) {
    testing::TempDir dir;
    LogBuffer log;
    fill_numbered(log, 3);
    const auto path = dir / "run.log";
    testing::write_file(path, "old content");
    ASSERT_TRUE(log_write_file(log, path).ok);
    EXPECT_EQ(testing::read_file(path), format_log_file(log));

    const LogWriteResult failed = log_write_file(log, dir / "missing" / "run.log");
    EXPECT_FALSE(failed.ok);
    EXPECT_NE(failed.message.find("missing"), std::string::npos) << failed.message;
}

TEST(LogReader, VersionFiveRoundTripKeepsPrintedValues) {
    LogBuffer written;
    fill_numbered(written, 300);
    LogBuffer read;
    const LogReadResult r = read_log_text(read, format_log_file(written));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.version, 5);
    EXPECT_TRUE(r.message.empty()) << r.message;
    ASSERT_EQ(read.count, 300);
    for (int i = 0; i < 300; ++i) {
        const LogSample& a = written.samples[static_cast<std::size_t>(i)];
        const LogSample& b = read.samples[static_cast<std::size_t>(i)];
        SCOPED_TRACE(i);
        EXPECT_EQ(b.rpm, a.rpm);
        EXPECT_EQ(b.temperature, a.temperature);
        EXPECT_EQ(b.flags, a.flags);
        EXPECT_EQ(b.ecu_load, a.ecu_load);
        EXPECT_FLOAT_EQ(b.throttle, a.throttle);
        EXPECT_FLOAT_EQ(b.maf_in, a.maf_in);
        EXPECT_FLOAT_EQ(b.maf_out, a.maf_out);
        EXPECT_FLOAT_EQ(b.fuel_corr, a.fuel_corr);
        EXPECT_FLOAT_EQ(b.afr, a.afr);
        EXPECT_FLOAT_EQ(b.knock, a.knock);
        EXPECT_FLOAT_EQ(b.wg_duty, a.wg_duty);
        const bool smoothed = i >= 3 && i <= 297;
        if (!smoothed) {
            EXPECT_EQ(b.speed, a.speed);
            EXPECT_FLOAT_EQ(b.boost, a.boost);
            EXPECT_FLOAT_EQ(b.inj_duty, a.inj_duty);
            EXPECT_FLOAT_EQ(b.ecu_ignition, a.ecu_ignition);
        } else {
            // A constant column stays constant through the running mean.
            EXPECT_NEAR(b.ecu_ignition, -1.0F, 1e-5F);
        }
    }
}

TEST(LogReader, SmoothingFollowsTheWeightedMeans) {
    LogBuffer log;
    std::string text = kHeader;
    // speed, boost and injector duty vary; everything else is constant.
    const std::array<int, 7> speeds = {0, 10, 20, 30, 40, 50, 60};
    const std::array<float, 7> boosts = {0.0F, 0.3F, 0.6F, 0.9F, 0.3F, 0.0F, 0.6F};
    for (std::size_t i = 0; i < 7; ++i) {
        LogSample s = numbered_sample(0);
        s.speed = speeds[i];
        s.boost = boosts[i];
        s.inj_duty = boosts[i] * 10.0F;
        text += printf_line(s);
    }
    read_log_text(log, text);
    ASSERT_EQ(log.count, 7);
    EXPECT_EQ(log.samples[3].speed, 30) << "the reader keeps the values as read";
    smooth_log(log);
    // k = 3: 0.2 x (0 + 2 x 20 + 30 + 60); k = 4: 0.2 x (10 + 2 x 30 + 40 + 60), with the
    // last sample standing in for the one past the end.
    EXPECT_EQ(log.samples[3].speed, 26);
    EXPECT_EQ(log.samples[4].speed, 34);
    EXPECT_EQ(log.samples[2].speed, 20);
    EXPECT_EQ(log.samples[5].speed, 50);
    // The boost mean runs on the already smoothed value before it.
    const float b3 = (0.3F + 0.6F + 0.9F) * 0.33333334F;
    EXPECT_FLOAT_EQ(log.samples[3].boost, b3);
    EXPECT_FLOAT_EQ(log.samples[4].boost, (0.0F + b3 + 0.3F) * 0.33333334F);
    EXPECT_FLOAT_EQ(log.samples[4].inj_duty,
                    (0.0F + (3.0F + 6.0F + 9.0F) * 0.33333334F + 3.0F) * 0.33333334F);
    EXPECT_FLOAT_EQ(log.samples[5].boost, 0.0F);
}

TEST(LogReader, SmoothingNeedsSixSamplesAndNeverReadsPastTheLog) {
    LogBuffer log;
    for (int count : {5, 6}) {
        fill_numbered(log, count);
        for (int i = 0; i < count; ++i)
            log.samples[static_cast<std::size_t>(i)].speed = 10 * i;
        // Stale content right after the last sample must not leak into the mean.
        log.make_room(count + 1);
        log.samples[static_cast<std::size_t>(count)].speed = 100000;
        smooth_log(log);
        if (count == 5) {
            EXPECT_EQ(log.samples[3].speed, 30);
        } else {
            EXPECT_EQ(log.samples[3].speed, 24);  // 0.2 x (0 + 40 + 30 + 50)
            EXPECT_EQ(log.samples[2].speed, 20);
            EXPECT_EQ(log.samples[4].speed, 40);
        }
    }
    // A log smooths up to its very last slot without overrunning it.
    log.samples.clear();
    fill_numbered(log, 9000);
    smooth_log(log);
    EXPECT_EQ(log.samples[8999].speed, numbered_sample(8999).speed);
}

TEST(LogReader, SmoothingNearTheFloatLimitStaysFinite) {
    LogBuffer log;
    fill_numbered(log, 8);
    for (LogSample& s : log.valid())
        s.boost = 3e38F;
    log.samples[4].inj_duty = -3e38F;
    log.samples[5].inj_duty = -3e38F;
    smooth_log(log);
    EXPECT_FLOAT_EQ(log.samples[3].boost, std::numeric_limits<float>::max());
    EXPECT_FLOAT_EQ(log.samples[4].inj_duty, -std::numeric_limits<float>::max());
}

TEST(LogReader, OlderVersionsReadFewerColumns) {
    struct Case {
        const char* version;
        int expected_version;
        int titles;
        int columns;
    };
    for (const Case& c : {Case{"3.0", 3, 14, 14}, Case{"4.0", 4, 14, 14}, Case{"5.00", 2, 11, 11},
                          Case{"6.0", 2, 11, 11}, Case{"2.0", 2, 11, 11}}) {
        SCOPED_TRACE(c.version);
        std::string text = std::string("MAF-EMULATOR_LOG_FILE_Ver ") + c.version + "\r\n";
        for (int t = 0; t < c.titles; ++t)
            text += "T ";
        text += "\r\n";
        // Two samples whose columns are numbered 1..columns (and 101..).
        for (int s = 0; s < 2; ++s) {
            for (int col = 1; col <= c.columns; ++col)
                text += std::to_string(s * 100 + col) + " ";
            text += "\r\n";
        }
        LogBuffer log;
        log.make_room(2);
        log.samples[1].wg_duty = 99.0F;  // stale slot content must not survive a load
        const LogReadResult r = read_log_text(log, text);
        EXPECT_EQ(r.version, c.expected_version);
        ASSERT_EQ(log.count, 2);
        const LogSample& s = log.samples[1];
        EXPECT_EQ(s.rpm, 101);
        EXPECT_FLOAT_EQ(s.knock, 111.0F);
        EXPECT_EQ(s.flags, c.columns >= 12 ? 112 : 0);
        EXPECT_FLOAT_EQ(s.ecu_ignition, c.columns >= 14 ? 114.0F : 0.0F);
        EXPECT_FLOAT_EQ(s.wg_duty, 0.0F);
    }
}

TEST(LogReader, WordsAreCountedAcrossLinesAndShortLastSampleIsKept) {
    LogBuffer log;
    // One sample spread over two lines with a blank line in between, then a
    // last line of only three words.
    const std::string text = kHeader +
                             "3000 0.5 20 1.5 2.5\r\n\r\n-5 30 14.7 55.7 40 2.5 1 7 12.5 33\r\n" +
                             "4000.9 0.7 80\n";
    const LogReadResult r = read_log_text(log, text);
    EXPECT_TRUE(r.ok);
    ASSERT_EQ(log.count, 2);
    const LogSample& first = log.samples[0];
    EXPECT_EQ(first.rpm, 3000);
    EXPECT_EQ(first.temperature, 30);
    EXPECT_EQ(first.speed, 55);  // truncated from 55.7
    EXPECT_FLOAT_EQ(first.wg_duty, 33.0F);
    const LogSample& last = log.samples[1];
    EXPECT_EQ(last.rpm, 4000);  // the integer part of a fraction
    EXPECT_FLOAT_EQ(last.throttle, 80.0F);
    // The missing columns repeat the previous sample's words.
    EXPECT_FLOAT_EQ(last.maf_in, 1.5F);
    EXPECT_EQ(last.temperature, 30);
    EXPECT_FLOAT_EQ(last.wg_duty, 33.0F);
}

TEST(LogReader, AnyTextReadsWordByWord) {
    LogBuffer log;
    log.mazda_log = true;
    const LogReadResult r = read_log_text(log, "just some words x1 7abc -3.5e1x");
    EXPECT_TRUE(r.ok);
    EXPECT_FALSE(log.mazda_log);
    EXPECT_EQ(r.version, 2);
    EXPECT_EQ(log.count, 0);  // eleven title words swallow the rest

    std::string text = "a 5.0";
    for (int t = 0; t < 15; ++t)
        text += " t";
    text += " x1 7abc -3.5e1x +12 nan inf 1e999 -1e999 .5";
    const LogReadResult gaps = read_log_text(log, text);
    ASSERT_EQ(log.count, 1);
    EXPECT_EQ(gaps.non_finite, 3);
    EXPECT_NE(gaps.message.find("3 values are not a finite number"), std::string::npos)
        << gaps.message;
    const LogSample& s = log.samples[0];
    EXPECT_EQ(s.rpm, 0);
    EXPECT_FLOAT_EQ(s.boost, 7.0F);
    EXPECT_FLOAT_EQ(s.throttle, -35.0F);
    EXPECT_FLOAT_EQ(s.maf_in, 12.0F);
    // Values a float cannot hold are gaps, never 0 or the float limit.
    EXPECT_TRUE(std::isnan(s.maf_out));
    EXPECT_TRUE(std::isnan(s.fuel_corr));
    EXPECT_EQ(s.temperature, 1);  // "1e999": leading digits only
    EXPECT_TRUE(std::isnan(s.afr));
    EXPECT_EQ(s.speed, 0);  // ".5" truncated
}

TEST(LogReader, SniffRecognisesOnlyTheLogHeader) {
    EXPECT_TRUE(sniff_log_file(kHeader));
    EXPECT_TRUE(sniff_log_file("\r\n MAF-EMULATOR_LOG_FILE_Ver 3.0\n"));
    EXPECT_FALSE(sniff_log_file("40 101.3 3000 12.5 65 25.0"));
    EXPECT_FALSE(sniff_log_file("MAF-EMULATOR_LOG_FILE_Verx 5.0"));
    EXPECT_FALSE(sniff_log_file(""));
}

TEST(LogReader, EmptyAndHeaderOnlyFilesGiveAnEmptyLog) {
    LogBuffer log;
    fill_numbered(log, 10);
    EXPECT_TRUE(read_log_text(log, "").ok);
    EXPECT_EQ(log.count, 0);
    fill_numbered(log, 10);
    read_log_text(log, kHeader + "\r\n\r\n");
    EXPECT_EQ(log.count, 0);
}

// The reader stopped at 60,000 samples.
TEST(LogReader, ReadsEverySampleOfALongLog) {
    LogBuffer written;
    fill_numbered(written, 60000);
    const std::string full = format_log_file(written);
    LogBuffer log;
    const LogReadResult over = read_log_text(log, full + printf_line(numbered_sample(1)) + "17");
    EXPECT_TRUE(over.ok);
    EXPECT_FALSE(over.cut);
    ASSERT_EQ(log.count, 60002);
    EXPECT_EQ(log.samples[59999].rpm, numbered_sample(59999).rpm);
    EXPECT_EQ(log.samples[60001].rpm, 17);
}

TEST(LogReader, OverlongWordsAreCutNotSplit) {
    LogBuffer log;
    const std::string long_rpm = "12345" + std::string(40, '9');
    std::string text = kHeader + long_rpm;
    for (int i = 0; i < 14; ++i)
        text += " 1";
    const LogReadResult r = read_log_text(log, text);
    EXPECT_EQ(r.overlong_words, 1);
    EXPECT_FALSE(r.message.empty());
    ASSERT_EQ(log.count, 1);  // the rest of the long word is not a word of its own
    EXPECT_EQ(log.samples[0].rpm, 2147483647);
    EXPECT_FLOAT_EQ(log.samples[0].wg_duty, 1.0F);
}

TEST(LogReader, UnreadableFileLeavesTheLogUnchanged) {
    testing::TempDir dir;
    LogBuffer log;
    fill_numbered(log, 25);
    log.mazda_log = true;
    for (const auto& path : {dir / "absent.log", dir.path()}) {
        const LogReadResult r = log_read_file(log, path);
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.message.find(path.string()), std::string::npos) << r.message;
        EXPECT_EQ(log.count, 25);
        EXPECT_TRUE(log.mazda_log);
        EXPECT_EQ(log.samples[24].rpm, numbered_sample(24).rpm);
    }
}

TEST(LogReader, FileRoundTripThroughDisk) {
    testing::TempDir dir;
    LogBuffer log;
    fill_numbered(log, 40);
    ASSERT_TRUE(log_write_file(log, dir / "a.log").ok);
    LogBuffer back;
    const LogReadResult r = log_read_file(back, dir / "a.log");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(back.count, 40);
    EXPECT_EQ(back.samples[39].rpm, log.samples[39].rpm);
}

// Random bytes named .log loaded as a handful of zero samples; a file whose
// last line a crash cut off, or one long enough for the threaded reading,
// reads whole, and its times come from the companion when they fit.
TEST(LogReader, FilesAreReadWholeOrRefusedNamingThem) {
    const testing::TempDir dir;
    LogBuffer log;
    fill_numbered(log, 25);
    std::mt19937 rng(3);
    std::string noise(5000, ' ');
    for (char& c : noise)
        c = static_cast<char>(rng() % 255 + 1);
    for (const std::string& bad : {noise, std::string("a readme\nwith words and 2 numbers\n")}) {
        testing::write_file(dir / "bad.log", bad);
        const LogReadResult r = log_read_file(log, dir / "bad.log");
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.message.find((dir / "bad.log").string()), std::string::npos) << r.message;
        EXPECT_EQ(log.count, 25);
    }

    LogBuffer written;
    fill_numbered(written, 40000);  // over 2 MB: both halves of a block are threaded
    written.has_times = true;
    for (int i = 0; i < written.count; ++i)
        written.samples[static_cast<std::size_t>(i)].time_ms =
            7000U + 3U * static_cast<unsigned>(i);
    ASSERT_TRUE(log_write_file(written, dir / "long.log").ok);
    std::string text = format_log_file(written);
    EXPECT_EQ(testing::read_file(dir / "long.log"), text);
    ASSERT_TRUE(log_read_file(log, dir / "long.log").ok);
    ASSERT_EQ(log.count, 40000);
    EXPECT_TRUE(log.has_times);
    EXPECT_EQ(log.samples[39999].time_ms, 3U * 39999U);
    EXPECT_EQ(format_log_file(log), text);

    text.resize(text.size() - 50);  // mid-line, as a crash leaves it
    testing::write_file(dir / "long.log", text);
    const LogReadResult cut = log_read_file(log, dir / "long.log");
    ASSERT_TRUE(cut.ok);
    EXPECT_EQ(log.count, 40000);
    EXPECT_NE(cut.message.find("cut off"), std::string::npos) << cut.message;
    EXPECT_EQ(log.samples[39998].rpm, numbered_sample(39998).rpm);
}

// Files of gigabytes of zeros (a disk image chosen by mistake, the tail a
// power cut leaves): sparse, so the test writes almost nothing.
TEST(LogReader, ZeroedFilesAreReadOnlyUpToTheirText) {
    constexpr std::uintmax_t kFourGigabytes = std::uintmax_t{4} << 30;
    const testing::TempDir dir;
    std::string text = kHeader;
    for (int i = 0; i < 60010; ++i)
        text += "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15\r\n";
    const auto log_path = dir / "huge.log";
    testing::write_file(log_path, text);
    std::filesystem::resize_file(log_path, kFourGigabytes);
    LogBuffer log;
    const LogReadResult r = log_read_file(log, log_path);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(log.count, 60010);
    EXPECT_NE(r.message.find("binary"), std::string::npos) << r.message;

    const auto mdl_path = dir / "zeros.mdl";
    testing::write_file(mdl_path, "");
    std::filesystem::resize_file(mdl_path, kFourGigabytes);
    const LogReadResult zeros = mazda_read_file(log, mdl_path);
    EXPECT_FALSE(zeros.ok);
    EXPECT_NE(zeros.message.find(mdl_path.string()), std::string::npos) << zeros.message;
    EXPECT_EQ(log.count, 60010);
}

}  // namespace
}  // namespace veloquin
