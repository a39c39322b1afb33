#include <gtest/gtest.h>

#include "app/cli.h"
#include "app/startup.h"
#include "calfile/calibration_file.h"
#include "tests/support/temp_dir.h"

namespace veloquin {
namespace {

using testing::TempDir;

TEST(StartUp, FoldersBesideTheProgramFollowTheBaseRule) {
    EXPECT_EQ(split_path("/opt/tools/app/veloquin").folder, "/opt/tools/app");
    EXPECT_EQ(split_path("/opt/tools/app/veloquin").file, "veloquin");
    EXPECT_EQ(split_path("veloquin").folder, "");
    EXPECT_EQ(split_path("veloquin").file, "veloquin");

    const WorkingFolders deep = working_folders(base_folder("/opt/tools/app"));
    EXPECT_EQ(deep.maps, "/opt/tools/app/maps/");
    EXPECT_EQ(deep.settings, "/opt/tools/app/settings/");
    EXPECT_EQ(deep.logs, "/opt/tools/app/logs/");
    EXPECT_EQ(deep.firmware, "/opt/tools/app/firmware/");
    // Three characters or fewer get nothing appended: the folders then stand
    // relative to that short folder, or to the working directory.
    EXPECT_EQ(working_folders(base_folder("/ab")).maps, "/abmaps/");
    EXPECT_EQ(working_folders(base_folder("")).logs, "logs/");
}

TEST(StartUp, UnwritableProgramFolderMovesTheFoldersToTheUsersDataFolder) {
    FolderEnvironment e{"/usr/bin/veloquin", false, "", "/home/tuner"};
    EXPECT_EQ(choose_base(e), "/home/tuner/.local/share/veloquin/");
    e.xdg_data_home = "/data";
    EXPECT_EQ(choose_base(e), "/data/veloquin/");
    e.xdg_data_home = "relative/is/ignored";
    EXPECT_EQ(choose_base(e), "/home/tuner/.local/share/veloquin/");
    e.program_folder_writable = true;
    EXPECT_EQ(choose_base(e), "/usr/bin/");
}

TEST(StartUp, FoldersAreMadeAndExistingOnesPassedOver) {
    TempDir dir;
    const WorkingFolders f = working_folders(base_folder(dir.path().string()));
    create_working_folders(f);
    create_working_folders(f);
    for (const auto* p : {&f.maps, &f.settings, &f.logs, &f.firmware}) {
        EXPECT_TRUE(std::filesystem::is_directory(*p)) << *p;
    }
}

TEST(StartUp, WorkmapWinsOverDefaultAndBothOverStartValues) {
    TempDir dir;
    Calibration start;
    set_start_values(start);
    Calibration cal;
    load_start_files(cal, dir.path(), Edition::full);
    EXPECT_EQ(cal.header, start.header);

    testing::write_file(dir / "default.cfg", "SPD_DIV:111\r\nKNOCKFUEL:7\r\n");
    testing::write_file(dir / "workmap.cfg", "SPD_DIV:222\r\n");
    load_start_files(cal, dir.path(), Edition::full);
    EXPECT_EQ(cal.param(hw::SPD_DIV), 222);
    EXPECT_EQ(cal.param(hw::KNOCKFUEL), 7);
}

TEST(StartUp, TitleIsTheBaseAndTheIdentificationAtMost255Characters) {
    EXPECT_EQ(window_title(""), "Tarvex 7.01   ");
    EXPECT_EQ(window_title("KVX serial# 01"), "Tarvex 7.01   KVX serial# 01");
    EXPECT_EQ(window_title(std::string(400, 'x')).size(), 255U);
}

TEST(CommandLine, OptionsFileAndErrors) {
    const ProgramOptions o =
        parse_program_options({"--port", "/dev/ttyUSB3", "--simulate", "--port", "/dev/x", "a.emu",
                               "--compare", "b.emu"});
    EXPECT_EQ(o.ports, (std::vector<std::string>{"/dev/ttyUSB3", "/dev/x"}));
    EXPECT_TRUE(o.simulate);
    EXPECT_EQ(o.file, "a.emu");
    EXPECT_EQ(o.compare, "b.emu");
    EXPECT_TRUE(o.error.empty());
    EXPECT_FALSE(parse_program_options({"a.emu", "--compare"}).error.empty());
    EXPECT_FALSE(parse_program_options({"--port"}).error.empty());
    EXPECT_FALSE(parse_program_options({"--bogus"}).error.empty());
    EXPECT_FALSE(parse_program_options({"a.emu", "b.emu"}).error.empty());
    EXPECT_TRUE(names_a_log("/x/pull.log"));
    EXPECT_TRUE(names_a_log("trip.mdl"));
    EXPECT_FALSE(names_a_log("tune.emu"));
}

TEST(CommandLine, ScreenshotNamesFollowThePagesOfTheEdition) {
    EXPECT_EQ(screenshot_file_name(Page::parameters, Edition::full), "01-parameters.png");
    EXPECT_EQ(screenshot_file_name(Page::maf_emulation, Edition::full), "02-maf-emulation.png");
    EXPECT_EQ(screenshot_file_name(Page::temp_correction, Edition::full), "04-temp-correction.png");
    EXPECT_EQ(screenshot_file_name(Page::nos_methanol, Edition::full), "08-nos-methanol.png");
    EXPECT_EQ(screenshot_file_name(Page::dashboard, Edition::full), "12-dash-board.png");
    EXPECT_EQ(screenshot_file_name(Page::nos_methanol, Edition::lite), "07-nos-methanol.png");
    EXPECT_EQ(screenshot_file_name(Page::dashboard, Edition::lite), "11-dash-board.png");
    EXPECT_EQ(comparison_screenshot_file_name(Page::maf_emulation), "compare-maf-emulation.png");
}

}  // namespace
}  // namespace veloquin
