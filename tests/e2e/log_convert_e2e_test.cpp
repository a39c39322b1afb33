// `veloquin-tool log convert` between this system's log and the tables other
// tools read and write, run as a user runs it.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>

#include "datalogs/log_file.h"
#include "datalogs/log_import.h"
#include "tests/support/temp_dir.h"

namespace veloquin::testing {
namespace {

struct Converted {
    int exit_code = -1;
    std::string err;
};

Converted convert(const TempDir& dir, const std::string& in, const std::string& out) {
    const std::string command = std::string("'") + VELOQUIN_TOOL_PATH + "' log convert '" +
                                (dir / in).string() + "' '" + (dir / out).string() +
                                "' >/dev/null 2>'" + (dir / "stderr.txt").string() + "'";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(dir / "stderr.txt")};
}

// A drive whose values use every decimal the log file prints.
std::string generated_log(int count) {
    LogBuffer log;
    log.make_room(count);
    log.count = count;
    for (int i = 0; i < count; ++i) {
        LogSample& s = log.samples[static_cast<std::size_t>(i)];
        s.rpm = 900 + (i * 37) % 6000;
        s.boost = static_cast<float>((i * 13) % 250 - 90) * 0.01F;
        s.throttle = static_cast<float>((i * 7) % 10000) * 0.01F;
        s.maf_in = static_cast<float>((i * 11) % 500) * 0.01F;
        s.afr = 10.0F + static_cast<float>((i * 3) % 800) * 0.01F;
        s.temperature = (i % 90) - 20;
        s.speed = (i * 5) % 230;
        s.inj_duty = static_cast<float>(i % 1000) * 0.1F;
        s.ecu_ignition = static_cast<float>(i % 400) * 0.01F - 1.0F;
        s.flags = i % 8;
    }
    return format_log_file(log);
}

TEST(LogConvert, LogToCsvOrMslAndBackGivesTheSameSamples) {
    TempDir dir;
    write_file(dir / "drive.log", generated_log(500));
    ASSERT_EQ(convert(dir, "drive.log", "as-read.log").exit_code, 0);
    for (const std::string table : {"drive.csv", "drive.msl"}) {
        SCOPED_TRACE(table);
        ASSERT_EQ(convert(dir, "drive.log", table).exit_code, 0);
        ASSERT_EQ(convert(dir, table, "back.log").exit_code, 0);
        EXPECT_EQ(read_file(dir / "back.log"), read_file(dir / "as-read.log"));
    }
}

TEST(LogConvert, ForeignCsvIsReadInOurUnits) {
    TempDir dir;
    write_file(dir / "other.csv",
               "\xEF\xBB\xBFLogged 2026-12-07, car two\n"  // a tool's preamble
               "Lambda;Boost (psi);Zeit;Time (ms);IAT (°F);Engine Speed;Vehicle Speed (mph)\n"
               "1,00;14,5038;a;0;68;2500,4;62,1371\n"
               "0,85;-7,25;b;40;212;;0\n");
    const Converted c = convert(dir, "other.csv", "ours.csv");
    ASSERT_EQ(c.exit_code, 0) << c.err;
    EXPECT_NE(c.err.find("AFR read from lambda in \"Lambda\" (times 14.7)"), std::string::npos);
    EXPECT_NE(c.err.find("columns ignored: Zeit"), std::string::npos);

    LogBuffer log;
    ASSERT_TRUE(read_log_table_text(log, read_file(dir / "ours.csv")).ok);
    ASSERT_EQ(log.count, 2);
    const LogSample& a = log.samples[0];
    const LogSample& b = log.samples[1];
    EXPECT_FLOAT_EQ(a.afr, 14.7F);
    EXPECT_FLOAT_EQ(b.afr, 12.495F);
    EXPECT_NEAR(a.boost, 1.0F, 1e-5F);
    EXPECT_NEAR(b.boost, -0.49987F, 1e-5F);
    EXPECT_EQ(a.temperature, 20);
    EXPECT_EQ(b.temperature, 100);
    EXPECT_EQ(a.rpm, 2500);
    EXPECT_EQ(b.rpm, 2500);  // an empty cell holds the last reading
    EXPECT_EQ(a.speed, 100);
    EXPECT_TRUE(log.has_times);
    EXPECT_EQ(b.time_ms - a.time_ms, 40U);
}

TEST(LogConvert, BadLinesAreCountedAndAMostlyBadFileIsRefused) {
    TempDir dir;
    auto table = [](int bad_every) {
        std::string text = "RPM,BOOST\n";
        for (int i = 0; i < 10; ++i)
            text += i % 10 < bad_every ? "x,?\n" : "3000,0.5\n";
        return text;
    };
    write_file(dir / "some-bad.csv", table(3));
    const Converted some = convert(dir, "some-bad.csv", "some.log");
    EXPECT_EQ(some.exit_code, 0);
    EXPECT_NE(some.err.find("3 bad lines skipped (lines 2, 3, 4)"), std::string::npos) << some.err;

    write_file(dir / "mostly-bad.csv", table(9));
    const Converted most = convert(dir, "mostly-bad.csv", "most.log");
    EXPECT_NE(most.exit_code, 0);
    EXPECT_NE(most.err.find("9 of 10 lines do not parse"), std::string::npos) << most.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "most.log"));
}

}  // namespace
}  // namespace veloquin::testing
