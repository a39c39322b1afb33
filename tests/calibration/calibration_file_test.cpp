#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include "calfile/atomic_file.h"
#include "calfile/calibration_diff.h"
#include "calfile/calibration_file.h"
#include "calibration/config_keys.h"
#include "calibration/conversions.h"
#include "tests/support/temp_dir.h"

namespace veloquin {
namespace {

using testing::TempDir;

// A calibration with something in every word a file carries.
Calibration busy_calibration(unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> word(-32768, 32767);
    Calibration cal;
    for (const ConfigKey& k : config_keys()) {
        cal.param(k.word) = k.encoding == KeyEncoding::volts
                                ? static_cast<std::int16_t>(rng() % 4096)
                                : static_cast<std::int16_t>(word(rng));
    }
    cal.param(hw::REV2x_FUELCORR) = static_cast<std::int16_t>(-(rng() % 100));
    for (auto& m : cal.maps) {
        for (auto& v : m)
            v = static_cast<std::int16_t>(word(rng));
    }
    for (const CalibrationSection& s : calibration_sections()) {
        if (s.is_map) continue;
        for (int i = 0; i < s.count; ++i)
            cal.curve_word(s.curve_offset + i) = static_cast<std::int16_t>(word(rng));
    }
    return cal;
}

// The words a file carries: written keys, all maps, the five curves.
void expect_same_file_words(const Calibration& a, const Calibration& b, Edition edition) {
    for (const ConfigKey& k : config_keys()) {
        if (k.written) {
            EXPECT_EQ(a.param(k.word), b.param(k.word)) << k.name;
        }
    }
    EXPECT_EQ(a.maps, b.maps);
    for (const CalibrationSection& s : calibration_sections()) {
        if (s.is_map || (s.full_edition_only && edition != Edition::full)) continue;
        for (int i = 0; i < s.count; ++i) {
            EXPECT_EQ(a.curve_word(s.curve_offset + i), b.curve_word(s.curve_offset + i))
                << s.header << i;
        }
    }
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t p; (p = text.find("\r\n", start)) != std::string::npos; start = p + 2) {
        lines.push_back(text.substr(start, p - start));
    }
    return lines;
}

TEST(CalibrationFile, RoundTripKeepsEveryWordAndNormalizesToIdenticalBytes) {
    for (Edition edition : {Edition::full, Edition::lite}) {
        for (unsigned seed = 1; seed <= 20; ++seed) {
            const Calibration original = busy_calibration(seed);
            const std::string text = write_calibration_text(original, edition);
            Calibration back;
            read_calibration_text(back, text, edition);
            expect_same_file_words(original, back, edition);
            ASSERT_EQ(write_calibration_text(back, edition), text) << seed;
        }
    }
}

TEST(CalibrationFile, FreshInstallationIsWrittenByteForByte) {
    Calibration cal;
    set_start_values(cal);
    const std::string text = write_calibration_text(cal, Edition::full);
    EXPECT_EQ(testing::compare_with_golden("calibration/fresh.cfg", text), "");
    const auto lines = lines_of(text);
    ASSERT_GT(lines.size(), 14U);
    EXPECT_EQ(lines[0], "EMULATE_MAF:0");
    EXPECT_EQ(lines[6], "MAP_00V:1.250");
    EXPECT_EQ(lines[7], "MAP_05V:0.700");
    EXPECT_EQ(lines[10], "MAP_UNITS:1");
    EXPECT_EQ(lines[12], "MAF_LO:0.200");
    EXPECT_EQ(lines[13], "MAF_HI:5.000");
    EXPECT_EQ(lines[126], "SW_D_NAME:0");
    EXPECT_EQ(lines[127], "");
    EXPECT_EQ(lines[128], "[MAF-Sensor-Calibration]");
    EXPECT_EQ(text.find("MAP_LO"), std::string::npos);
    // Every line ends in CR LF: no bare LF anywhere.
    for (std::size_t p = 0; (p = text.find('\n', p)) != std::string::npos; ++p) {
        ASSERT_GT(p, 0U);
        ASSERT_EQ(text[p - 1], '\r');
    }
}

TEST(CalibrationFile, MapRowsAreFourCharacterFieldsWithTwoBlanks) {
    Calibration cal;
    cal.cell(MapId::fuel_correction, 0, 0) = -75;
    cal.cell(MapId::fuel_correction, 0, 1) = 4095;
    const std::string text = write_calibration_text(cal, Edition::full);
    const auto lines = lines_of(text);
    const auto header = std::find(lines.begin(), lines.end(), "[FUEL-CORRECTION]");
    ASSERT_NE(header, lines.end());
    EXPECT_EQ(header[1].substr(0, 12), " -75  4095  ");
    std::string zeros;
    for (int i = 0; i < 20; ++i)
        zeros += "   0  ";
    EXPECT_EQ(header[2], zeros);
    EXPECT_EQ(header[25], "[end]");
}

TEST(CalibrationFile, SectionsFollowTheKeysInOrderWithBlankLinesBetween) {
    Calibration cal;
    const std::string text = write_calibration_text(cal, Edition::full);
    const char* order[] = {"[MAF-Sensor-Calibration]",
                           "[IAT-Sensor-Calibration]",
                           "[IAT-Correction]",
                           "[KNOCK-Sensor-Calibration]",
                           "[AFR-PROTECT]",
                           "[MAP-2-MAF]",
                           "[FUEL-CORRECTION]",
                           "[METH-CORRECTION]",
                           "[BOOST-DUTY]"};
    std::size_t at = 0;
    for (const char* h : order) {
        const std::size_t p = text.find(h, at);
        ASSERT_NE(p, std::string::npos) << h;
        at = p;
    }
    EXPECT_NE(text.find("[end]\r\n\r\n\r\n[IAT-Sensor-Calibration]\r\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 9), "[end]\r\n\r\n");
    const std::string lite = write_calibration_text(cal, Edition::lite);
    EXPECT_EQ(lite.find("[AFR-PROTECT]"), std::string::npos);
    EXPECT_EQ(lite.size(),
              text.size() - std::string("\r\n[AFR-PROTECT]\r\n[end]\r\n\r\n").size() - 17 * 3);
}

TEST(CalibrationReader, ASingleKeyChangesOnlyThatKeyAndTheReadSideEffects) {
    Calibration before = busy_calibration(7);
    before.param(hw::REV2x_FUELCORR) = 12;
    before.param(hw::MAP_BAR_LO) = 0;
    Calibration cal = before;
    read_calibration_text(cal, "BOOST_HZ:2", Edition::full);
    EXPECT_EQ(cal.param(hw::BOOST_HZ), 2);
    EXPECT_EQ(cal.param(hw::REV2x_FUELCORR), -80);
    EXPECT_NE(cal.param(hw::MAP_BAR_LO), 0);
    for (int w = 0; w < kHeaderWords; ++w) {
        if (w == hw::BOOST_HZ || w == hw::REV2x_FUELCORR || w == hw::MAP_BAR_LO ||
            w == hw::MAP_BAR_HI)
            continue;
        EXPECT_EQ(cal.param(w), before.param(w)) << w;
    }
    EXPECT_EQ(cal.maps, before.maps);
    for (int w = 0; w < cv::MAF_REVERSE; ++w)
        EXPECT_EQ(cal.curve_word(w), before.curve_word(w));
    for (const auto& s : cal.sums)
        EXPECT_EQ(s.synced, kNeverSynced);
}

TEST(CalibrationReader, KeyValuesConvertCStyle) {
    Calibration cal;
    set_start_values(cal);
    read_calibration_text(cal,
                          "REV2x_FUELCORR:5 SW_A_NAME:3xyz SW_B_NAME:abc sw_c_name:3 SW_C_NAME:2 "
                          "ACC_MAX:70000 MAP_LO:0.5 MAF_HI:7.5 MAF_LO:-1 KNOCKFUEL:-12 "
                          "SW_D_NAME:99999999999999999999999 UNKNOWN_KEY:5 EMULATE_MAF: 1",
                          Edition::full);
    EXPECT_EQ(cal.param(hw::REV2x_FUELCORR), -80);
    EXPECT_EQ(cal.param(hw::SW_A_NAME), 3);
    EXPECT_EQ(cal.param(hw::SW_B_NAME), 0);
    EXPECT_EQ(cal.param(hw::SW_C_NAME), 2);
    EXPECT_EQ(cal.param(hw::ACC_MAX), 4464);
    EXPECT_EQ(cal.param(hw::MAP_LO), 410);
    EXPECT_EQ(cal.param(hw::MAF_HI), 4095);
    EXPECT_EQ(cal.param(hw::MAF_LO), 0);
    EXPECT_EQ(cal.param(hw::KNOCKFUEL), -12);
    EXPECT_EQ(cal.param(hw::SW_D_NAME), -1);   // saturated like strtol, low 16 bits kept
    EXPECT_EQ(cal.param(hw::EMULATE_MAF), 0);  // "EMULATE_MAF:" then a stray "1"
    EXPECT_EQ(write_calibration_text(cal, Edition::full).find("MAP_LO"), std::string::npos);

    read_calibration_text(cal, "REV2x_FUELCORR:0", Edition::full);
    EXPECT_EQ(cal.param(hw::REV2x_FUELCORR), 0);
    read_calibration_text(cal, "REV2x_FUELCORR:-30", Edition::full);
    EXPECT_EQ(cal.param(hw::REV2x_FUELCORR), -30);
}

TEST(CalibrationReader, UnsignedMafCurveKeepsItsBitPattern) {
    Calibration cal;
    std::string text = "[MAF-Sensor-Calibration]\n-1\n";
    for (int i = 1; i < 32; ++i)
        text += std::to_string(i * 1000) + "\n";
    text += "32768\n[end]\n";
    read_calibration_text(cal, text, Edition::full);
    EXPECT_EQ(cal.maf_point(0), 65535);
    EXPECT_EQ(cal.maf_point(32), 32768);
    const std::string written = write_calibration_text(cal, Edition::full);
    EXPECT_NE(written.find("[MAF-Sensor-Calibration]\r\n65535\r\n1000\r\n"), std::string::npos);
    EXPECT_NE(written.find("\r\n32768\r\n[end]"), std::string::npos);
}

TEST(CalibrationReader, SectionsAndKeysInAnyOrderReadTheSame) {
    const Calibration original = busy_calibration(3);
    const std::string text = write_calibration_text(original, Edition::full);
    const std::size_t first_section = text.find("\r\n[MAF");
    // Sections first, keys after, and every key twice with a wrong value first.
    std::string keys = text.substr(0, first_section);
    std::string wrong;
    for (const ConfigKey& k : config_keys()) {
        if (k.written) wrong += std::string(k.name) + ":1\r\n";
    }
    const std::string shuffled = text.substr(first_section) + wrong + keys;
    Calibration back;
    read_calibration_text(back, shuffled, Edition::full);
    expect_same_file_words(original, back, Edition::full);
}

TEST(CalibrationReader, ShortAndBrokenSectionsFillWithTheLastValueOrStayUnchanged) {
    Calibration cal;
    for (int i = 0; i < 21; ++i)
        cal.curve_word(cv::KNOCK + i) = 5;
    cal.cell(MapId::boost_duty, 5, 5) = 33;
    // Knock cut short by the end of the text: the rest repeats the last value.
    read_calibration_text(cal, "[KNOCK-Sensor-Calibration] 100 200 300", Edition::full);
    EXPECT_EQ(cal.curve_word(cv::KNOCK + 2), 300);
    EXPECT_EQ(cal.curve_word(cv::KNOCK + 20), 300);
    // A map stopped by a word: filled with the last number, then the word is an ordinary token.
    read_calibration_text(cal, "[MAP-2-MAF] 1 2 3 BOOST_HZ:3", Edition::full);
    EXPECT_EQ(cal.cell(MapId::map_2_maf, 0, 2), 3);
    EXPECT_EQ(cal.cell(MapId::map_2_maf, 23, 19), 3);
    EXPECT_EQ(cal.param(hw::BOOST_HZ), 3);
    // Nothing readable: the section keeps what it had.
    read_calibration_text(cal, "[BOOST-DUTY] [end]", Edition::full);
    EXPECT_EQ(cal.cell(MapId::boost_duty, 5, 5), 33);
    read_calibration_text(cal, "[KNOCK-Sensor-Calibration]", Edition::full);
    EXPECT_EQ(cal.curve_word(cv::KNOCK), 100);
    // A curve takes the next tokens whatever they are.
    read_calibration_text(cal, "[AFR-PROTECT] 1 2 [end] [IAT-Correction] 5", Edition::full);
    EXPECT_EQ(cal.curve_word(cv::AFR_PROTECT + 2), 0);
    EXPECT_EQ(cal.curve_word(cv::AFR_PROTECT + 3), 0);
    EXPECT_EQ(cal.curve_word(cv::AFR_PROTECT + 4), 5);
    EXPECT_EQ(cal.curve_word(cv::AFR_PROTECT + 16), 5);
}

TEST(CalibrationReader, LiteEditionIgnoresTheAfrProtectSection) {
    Calibration cal;
    read_calibration_text(
        cal, "[AFR-PROTECT] 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 [end] BOOST_HZ:1",
        Edition::lite);
    EXPECT_EQ(cal.curve_word(cv::AFR_PROTECT), 0);
    EXPECT_EQ(cal.param(hw::BOOST_HZ), 1);
}

TEST(CalibrationReader, OverlongTokensAreSkippedWithoutOverrun) {
    Calibration cal;
    const std::string huge(5000, '7');
    read_calibration_text(cal,
                          "BOOST_HZ:" + huge + " SPD_DIV:12 " + std::string(2000, 'x') +
                              " [KNOCK-Sensor-Calibration] " + huge + " 9",
                          Edition::full);
    EXPECT_EQ(cal.param(hw::BOOST_HZ), 0);
    EXPECT_EQ(cal.param(hw::SPD_DIV), 12);
    EXPECT_EQ(cal.curve_word(cv::KNOCK), 9);
    // A token of exactly 1023 characters is still a token.
    std::string edge = "SPD_DIV:" + std::string(1023 - 8 - 2, '0') + "42";
    ASSERT_EQ(edge.size(), 1023U);
    read_calibration_text(cal, edge, Edition::full);
    EXPECT_EQ(cal.param(hw::SPD_DIV), 42);
}

TEST(CalibrationReader, MissingFileOnlyMarksUnsynced) {
    TempDir dir;
    Calibration cal = busy_calibration(9);
    const Calibration before = cal;
    std::string error;
    EXPECT_FALSE(read_calibration_file(cal, dir / "nothing.cfg", Edition::full, &error));
    EXPECT_NE(error.find("nothing.cfg"), std::string::npos);
    EXPECT_EQ(cal.header, before.header);
    EXPECT_EQ(cal.curves, before.curves);
    for (const auto& s : cal.sums)
        EXPECT_EQ(s.synced, kNeverSynced);
}

// A file cut mid-line filled MAP-2-MAF's last rows with one value, and
// 99999 wrapped to -31073; both reached the device without a word.
TEST(CalibrationReader, CutOrOverflowingFileIsRefusedNamingSectionAndLine) {
    TempDir dir;
    const std::string whole = write_calibration_text(busy_calibration(5), Edition::full);
    const std::size_t cut = whole.find("[FUEL-CORRECTION]") - 300;
    const std::pair<std::string, std::string> cases[] = {
        {whole.substr(0, cut), "[MAP-2-MAF] at line 309: the section holds 441 of its 480"},
        {"MAP_BAR_LO:99999\n", "MAP_BAR_LO at line 1: 99999 does not fit a 16-bit word"},
        {"BOOST_HZ:1\nO2FB_Target:9999999999999999999999\n", "O2FB_Target at line 2"},
        {"[IAT-Correction]\n1\n70000\n", "[IAT-Correction] at line 3: 70000 does not fit"},
    };
    for (const auto& [text, says] : cases) {
        testing::write_file(dir / "cut.cfg", text);
        Calibration cal = busy_calibration(9);
        std::string error;
        EXPECT_FALSE(read_calibration_file(cal, dir / "cut.cfg", Edition::full, &error));
        EXPECT_NE(error.find(says), std::string::npos) << error;
        EXPECT_EQ(cal.header, busy_calibration(9).header);
        EXPECT_EQ(cal.maps, busy_calibration(9).maps);
    }
}

TEST(CalibrationSave, WritesAndReadsBackThroughTheDisk) {
    TempDir dir;
    const Calibration original = busy_calibration(11);
    std::string error;
    ASSERT_TRUE(write_calibration_file(original, dir / "profile.emu", Edition::full, &error))
        << error;
    Calibration back;
    ASSERT_TRUE(read_calibration_file(back, dir / "profile.emu", Edition::full));
    expect_same_file_words(original, back, Edition::full);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(CalibrationSave, FailedWriteLeavesThePreviousFileByteIdentical) {
    TempDir dir;
    const auto target = dir / "workmap.cfg";
    const std::string old_text = write_calibration_text(busy_calibration(1), Edition::full);
    testing::write_file(target, old_text);
    const std::string new_text = write_calibration_text(busy_calibration(2), Edition::full);
    AtomicWriteFaults full_disk;
    full_disk.fail_after_bytes = 4096;
    AtomicWriteFaults fsync_fails;
    fsync_fails.fail_fsync = true;
    AtomicWriteFaults rename_fails;
    rename_fails.fail_rename = true;
    for (const AtomicWriteFaults* faults : {&full_disk, &fsync_fails, &rename_fails}) {
        std::string error;
        EXPECT_FALSE(write_file_atomically(target, new_text, &error, faults));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(testing::read_file(target), old_text);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1)
            << "a temporary file was left behind";
    }
}

TEST(CalibrationSave, MissingFolderIsReported) {
    TempDir dir;
    std::string error;
    EXPECT_FALSE(
        write_calibration_file(Calibration{}, dir / "missing" / "x.cfg", Edition::full, &error));
    EXPECT_NE(error.find("missing"), std::string::npos);
}

// Root writes into any folder, so as root the save runs in a child that has
// given up root for an unprivileged user.
TEST(CalibrationSave, ReadOnlyFolderIsReportedAndTheOldFileKept) {
    TempDir dir;
    const auto folder = dir / "ro";
    std::filesystem::create_directory(folder);
    testing::write_file(folder / "a.cfg", "BOOST_HZ:1\r\n");
    using std::filesystem::perms;
    std::filesystem::permissions(dir.path(), perms(0755));
    std::filesystem::permissions(folder, perms(0555));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        std::string error;
        const bool saved =
            write_calibration_file(Calibration{}, folder / "a.cfg", Edition::full, &error);
        _exit(saved ? 1 : (error.find("cannot") == std::string::npos ? 2 : 0));
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0)
        << "1: saved anyway, 2: no reason given, 3: could not drop root";
    EXPECT_EQ(testing::read_file(folder / "a.cfg"), "BOOST_HZ:1\r\n");
    std::filesystem::permissions(folder, perms(0755));
}

TEST(CalibrationSave, ReplacingKeepsTheFilePermissions) {
    TempDir dir;
    const auto target = dir / "shared.cfg";
    testing::write_file(target, "x");
    std::filesystem::permissions(target, std::filesystem::perms(0640));
    ASSERT_TRUE(write_calibration_file(Calibration{}, target, Edition::full));
    EXPECT_EQ(std::filesystem::status(target).permissions() & std::filesystem::perms::all,
              std::filesystem::perms(0640));
}

// The tool is run as a separate program, as scripts run it.
struct ToolRun {
    int status;
    std::string out;
};

ToolRun run_tool(const std::string& args) {
    const std::string command = std::string(VELOQUIN_TOOL) + " " + args + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    while (std::size_t n = fread(buffer, 1, sizeof buffer, pipe))
        out.append(buffer, n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

TEST(CalTool, NormalizeDiffAndShow) {
    TempDir dir;
    const auto a = dir / "a.cfg";
    std::string twenties;
    for (int i = 0; i < 478; ++i)
        twenties += " 20";
    testing::write_file(a, "MAP_00V:1.3\n[BOOST-DUTY]\n10 20" + twenties + "\nBOOST_HZ:2\n");
    ASSERT_EQ(run_tool("cal normalize " + a.string() + " " + (dir / "n1.cfg").string()).status, 0);
    ASSERT_EQ(
        run_tool("cal normalize " + (dir / "n1.cfg").string() + " " + (dir / "n2.cfg").string())
            .status,
        0);
    EXPECT_EQ(testing::read_file(dir / "n1.cfg"), testing::read_file(dir / "n2.cfg"));

    EXPECT_EQ(run_tool("cal diff " + a.string() + " " + (dir / "n1.cfg").string()).status, 0);
    const auto b = dir / "b.cfg";
    testing::write_file(b, testing::read_file(dir / "n1.cfg") +
                               "BOOST_HZ:3\n[KNOCK-Sensor-Calibration]\n"
                               "0 0 0 0 0 0 901 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n[BOOST-DUTY] 10 901" +
                               twenties + "\n");
    const ToolRun d = run_tool("cal diff " + a.string() + " " + b.string());
    EXPECT_EQ(d.status, 1);
    EXPECT_NE(d.out.find("BOOST_HZ: 2 -> 3"), std::string::npos) << d.out;
    EXPECT_NE(d.out.find("KNOCK-Sensor-Calibration point 6 (3000 rpm): 0 -> 901"),
              std::string::npos)
        << d.out;
    EXPECT_NE(d.out.find("BOOST-DUTY row 0 (0 % throttle) col 1 (1000 rpm): 20 -> 901"),
              std::string::npos)
        << d.out;

    const ToolRun json = run_tool("cal show " + a.string() + " --json");
    EXPECT_EQ(json.status, 0);
    EXPECT_NE(json.out.find("\"MAP_00V\": 1.300"), std::string::npos);
    EXPECT_NE(json.out.find("\"BOOST-DUTY\": [[10, 20, 20"), std::string::npos);
}

// The program's "Differences" list and `cal diff` are one computation: the
// tool prints the list's texts in order, keys, cells and points alike, and
// only the full edition lists the AFR protect table.
TEST(CalTool, DiffPrintsTheDifferenceListLineForLine) {
    TempDir dir;
    // A whole section: the reader takes its full count of values.
    auto section = [](const char* header, int count, int index, int value) {
        std::string text = std::string("\n") + header;
        for (int i = 0; i < count; ++i)
            text += " " + std::to_string(i == index ? value : 5);
        return text;
    };
    testing::write_file(dir / "a.cfg", "FLM_LOAD:1\nMAF_LO:0.2" +
                                           section("[MAF-Sensor-Calibration]", 33, 1, 40000) +
                                           section("[AFR-PROTECT]", 17, 1, 130) +
                                           section("[FUEL-CORRECTION]", kMapCells, 1, 5) +
                                           section("[METH-CORRECTION]", kMapCells, 243, 5));
    testing::write_file(dir / "b.cfg", "FLM_LOAD:1\nMAF_LO:0.25" +
                                           section("[MAF-Sensor-Calibration]", 33, 1, 40001) +
                                           section("[AFR-PROTECT]", 17, 1, 131) +
                                           section("[FUEL-CORRECTION]", kMapCells, 1, -7) +
                                           section("[METH-CORRECTION]", kMapCells, 243, 9));
    Calibration a;
    Calibration b;
    set_start_values(a);
    set_start_values(b);
    ASSERT_TRUE(read_calibration_file(a, dir / "a.cfg", Edition::full));
    ASSERT_TRUE(read_calibration_file(b, dir / "b.cfg", Edition::full));
    // As the program holds them once its pages are read back.
    derive_row_axes(a);
    derive_row_axes(b);
    const auto list = calibration_differences(a, b, Edition::full);
    ASSERT_EQ(list.size(), 5U);
    std::string expected;
    for (const CalibrationDifference& d : list)
        expected += d.text + "\n";
    const ToolRun r =
        run_tool("cal diff " + (dir / "a.cfg").string() + " " + (dir / "b.cfg").string());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, expected + "5 differences\n");

    EXPECT_EQ(list[0].text, "MAF_LO: 0.200 V -> 0.250 V");
    EXPECT_EQ(list[1].kind, DifferenceKind::curve_point);  // MAF curve, unsigned
    EXPECT_EQ(list[1].point, 1);
    EXPECT_NE(list[1].text.find(": 40000 -> 40001"), std::string::npos) << list[1].text;
    EXPECT_EQ(list[3].kind, DifferenceKind::map_cell);
    EXPECT_EQ(list[3].section->map, MapId::fuel_correction);
    EXPECT_EQ(list[4].row, 12);
    EXPECT_EQ(list[4].col, 3);
    EXPECT_EQ(calibration_differences(a, b, Edition::lite).size(), 4U);
    EXPECT_TRUE(calibration_differences(a, a, Edition::full).empty());
}

TEST(CalTool, BadInputExitsWithTwoAndSaysWhy) {
    TempDir dir;
    const ToolRun missing = run_tool("cal show " + (dir / "none.cfg").string());
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.out.find("none.cfg"), std::string::npos);
    EXPECT_EQ(run_tool("cal normalize only-one").status, 2);
    EXPECT_EQ(run_tool("cal frobnicate").status, 2);
    EXPECT_EQ(run_tool("nonsense").status, 2);
    testing::write_file(dir / "empty.emu", "");
    testing::write_file(dir / "noise.emu", std::string(4096, '\x9d'));
    testing::write_file(dir / "cut.emu", "BOOST_HZ:1\n[BOOST-DUTY]\n1 2 3");
    for (const char* name : {"empty.emu", "noise.emu", "cut.emu"}) {
        const std::string f = (dir / name).string();
        for (const std::string& args :
             {"show " + f, "normalize " + f + " " + f + ".x", "diff " + f + " " + f})
            EXPECT_EQ(run_tool("cal " + args).status, 2) << args;
    }
    testing::write_file(dir / "a.cfg", "BOOST_HZ:1");
    const ToolRun unwritable = run_tool("cal normalize " + (dir / "a.cfg").string() + " " +
                                        (dir / "no" / "out.cfg").string());
    EXPECT_EQ(unwritable.status, 2);
    EXPECT_NE(unwritable.out.find("cannot"), std::string::npos);
}

}  // namespace
}  // namespace veloquin
