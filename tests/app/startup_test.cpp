#include <gtest/gtest.h>

#include "app/application.h"
#include "app/cli.h"
#include "app/startup.h"
#include "calfile/calibration_file.h"
#include "calibration/factory_calibration.h"
#include "tests/support/fake_platform.h"
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

TEST(StartUp, InstalledProgramKeepsEveryFileInTheUsersDataFolder) {
    FolderEnvironment e;
    e.program_path = "/usr/bin/veloquin";
    e.home = "/home/tuner";
    e.current_directory = "/home/tuner/Desktop";
    FileLocations f = locate_files(e);
    EXPECT_EQ(f.mode, FileMode::installed);
    EXPECT_EQ(f.start_folder, "/home/tuner/.local/share/veloquin/");
    EXPECT_EQ(f.folders.maps, "/home/tuner/.local/share/veloquin/maps/");
    EXPECT_EQ(f.folders.firmware, "/home/tuner/.local/share/veloquin/firmware/");
    EXPECT_EQ(f.factory_calibration, "/usr/share/veloquin/default.cfg");

    e.xdg_data_home = "/data/";
    EXPECT_EQ(locate_files(e).start_folder, "/data/veloquin/");
    e.xdg_data_home = "relative/is/ignored";
    EXPECT_EQ(locate_files(e).start_folder, "/home/tuner/.local/share/veloquin/");
    // Root may write to /usr/bin, and a package unpacked into a folder of
    // one's own is writable too: a "bin" folder still means installed.
    e.program_folder_writable = true;
    e.program_path = "/tmp/root/usr/bin/veloquin";
    f = locate_files(e);
    EXPECT_EQ(f.mode, FileMode::installed);
    EXPECT_EQ(f.start_folder, "/home/tuner/.local/share/veloquin/");
    EXPECT_EQ(f.factory_calibration, "/tmp/root/usr/share/veloquin/default.cfg");
}

TEST(StartUp, BuildTreeStaysPortableAndWorkdirChoosesTheFolder) {
    FolderEnvironment e;
    e.program_path = "/src/build/release/gui/veloquin";
    e.program_folder_writable = true;
    e.home = "/home/tuner";
    e.current_directory = "/src";
    FileLocations f = locate_files(e);
    EXPECT_EQ(f.mode, FileMode::portable);
    EXPECT_EQ(f.start_folder, "/src");
    EXPECT_EQ(f.folders.logs, "/src/build/release/gui/logs/");
    EXPECT_EQ(f.factory_calibration, "/src/build/release/share/veloquin/default.cfg");

    for (const auto& [workdir, folder] :
         {std::pair{"tune/", "/src/tune/"}, {"/abs/dir", "/abs/dir/"}, {"../x", "/x/"}}) {
        e.workdir = workdir;
        f = locate_files(e);
        EXPECT_EQ(f.mode, FileMode::chosen);
        EXPECT_EQ(f.start_folder, folder) << workdir;
        EXPECT_EQ(f.folders.settings, std::string(folder) + "settings/") << workdir;
    }
    e.program_folder_writable = false;
    EXPECT_EQ(locate_files(e).start_folder, "/x/");
}

TEST(StartUp, HelpAndAboutSayWhereTheFilesAre) {
    TempDir dir;
    FolderEnvironment e;
    e.program_path = (dir / "usr/bin/veloquin").string();
    e.home = "/home/tuner";
    const FileLocations installed = locate_files(e);
    std::string text = describe_file_locations(installed);
    EXPECT_NE(text.find("installed"), std::string::npos) << text;
    EXPECT_NE(text.find("default.cfg and workmap.cfg in /home/tuner/.local/share/veloquin/\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(installed.factory_calibration.string() + " (not found)"), std::string::npos)
        << text;
    std::filesystem::create_directories(installed.factory_calibration.parent_path());
    testing::write_file(installed.factory_calibration, "SPD_DIV:1\r\n");
    EXPECT_EQ(describe_file_locations(installed).find("not found"), std::string::npos);

    const std::string about = about_text("1.2.3", installed);
    EXPECT_EQ(about.rfind("Tarvex 7.01\nMAF emulator and boost controller\n\nVeloquin 1.2.3\n", 0),
              0U)
        << about;
    EXPECT_NE(about.find(describe_file_locations(installed)), std::string::npos);

    e.program_folder_writable = true;
    e.program_path = "/src/build/gui/veloquin";
    e.current_directory = "/src";
    text = describe_file_locations(locate_files(e));
    EXPECT_NE(text.find("in /src/ (the current folder)"), std::string::npos) << text;
    EXPECT_NE(text.find("firmware/ in /src/build/gui/"), std::string::npos) << text;
}

TEST(StartUp, FoldersAreMadeAndExistingOnesPassedOver) {
    TempDir dir;
    const WorkingFolders f = working_folders(base_folder(dir.path().string()));
    create_working_folders(f);
    create_working_folders(f);
    for (const auto* p : {&f.maps, &f.settings, &f.logs, &f.firmware}) {
        EXPECT_TRUE(std::filesystem::is_directory(*p)) << *p;
    }
    FileLocations files;
    std::string error;
    files.start_folder = dir / "new" / "work";
    EXPECT_TRUE(make_start_folder(files, error));
    EXPECT_TRUE(std::filesystem::is_directory(files.start_folder));
    testing::write_file(dir / "a-file", "");
    files.start_folder = dir / "a-file";
    EXPECT_FALSE(make_start_folder(files, error));
    EXPECT_NE(error.find("a-file: not a folder"), std::string::npos) << error;
}

TEST(StartUp, WorkmapWinsOverDefaultAndBothOverStartValues) {
    TempDir dir;
    Calibration start;
    set_start_values(start);
    Calibration cal;
    load_start_files(cal, dir.path(), Edition::full);
    EXPECT_EQ(cal.header, start.header);

    // The factory calibration stands in for a missing default.cfg only.
    const auto factory = dir / "factory.cfg";
    testing::write_file(factory, "SPD_DIV:150\r\nACC_DECAY:9\r\n");
    load_start_files(cal, dir.path(), Edition::full, factory);
    EXPECT_EQ(cal.param(hw::SPD_DIV), 150);

    testing::write_file(dir / "default.cfg", "SPD_DIV:111\r\nKNOCKFUEL:7\r\n");
    testing::write_file(dir / "workmap.cfg", "SPD_DIV:222\r\n");
    Calibration again;
    load_start_files(again, dir.path(), Edition::full, factory);
    EXPECT_EQ(again.param(hw::SPD_DIV), 222);
    EXPECT_EQ(again.param(hw::KNOCKFUEL), 7);
    EXPECT_EQ(again.param(hw::ACC_DECAY), 0);
}

// A program copied out of its package started with an all-zero calibration
// and orange frames; a cut workmap.cfg was read half and written over.
TEST(StartUp, MissingFactoryFileFallsBackToTheBuiltInAndACutWorkmapIsSetAside) {
    TempDir dir;
    Calibration cal;
    const std::string notice = load_start_files(cal, dir.path(), Edition::full, dir / "no.cfg");
    EXPECT_EQ(cal.maps, factory_calibration().maps);
    EXPECT_NE(notice.find("No default.cfg in " + dir.path().string() + "/"), std::string::npos);
    EXPECT_NE(notice.find((dir / "no.cfg").string()), std::string::npos) << notice;
    testing::write_file(dir / "workmap.cfg", "SPD_DIV:22\n[BOOST-DUTY]\n1 2");
    EXPECT_NE(load_start_files(cal, dir.path(), Edition::full).find("kept as workmap.cfg.refused"),
              std::string::npos);
    EXPECT_NE(cal.param(hw::SPD_DIV), 22);
    EXPECT_TRUE(std::filesystem::exists(dir / "workmap.cfg.refused"));
    testing::FakePlatform platform;
    Application app{platform, Edition::full};
    app.start(working_folders(base_folder(dir.path().string())), dir / "gone");
    app.create_main_window();
    app.poll_tick();
    EXPECT_EQ(platform.last_lower().rfind("workmap.cfg cannot be written", 0), 0U);
}

TEST(StartUp, TitleIsTheBaseAndTheIdentificationAtMost255Characters) {
    EXPECT_EQ(window_title(""), "Tarvex 7.01   ");
    EXPECT_EQ(window_title("KVX serial# 01"), "Tarvex 7.01   KVX serial# 01");
    EXPECT_EQ(window_title(std::string(400, 'x')).size(), 255U);
}

TEST(StartUp, TitleNamesTheOpenFileAndMarksUnsavedChanges) {
    TempDir dir;
    testing::FakePlatform platform;
    Application app{platform, Edition::full};
    app.start(working_folders(base_folder(dir.path().string())), dir.path());
    app.create_main_window();
    ASSERT_TRUE(app.save_calibration((dir / "tune.emu").string()));
    app.state().cal.param(hw::SPD_DIV) = 77;
    EXPECT_EQ(app.title_line("KVX serial# 01"), "KVX serial# 01 - tune.emu *");
    ASSERT_TRUE(app.save_calibration((dir / "tune.emu").string()));
    EXPECT_EQ(app.title_line(""), "tune.emu");
}

TEST(CommandLine, OptionsFileAndErrors) {
    const ProgramOptions o = parse_program_options(
        {"--port", "/dev/ttyUSB3", "--simulate", "--port", "/dev/x", "a.emu", "--compare", "b.emu",
         "--workdir", "tune", "--record-limit", "5990"});
    EXPECT_EQ(o.ports, (std::vector<std::string>{"/dev/ttyUSB3", "/dev/x"}));
    EXPECT_TRUE(o.simulate);
    EXPECT_EQ(o.file, "a.emu");
    EXPECT_EQ(o.compare, "b.emu");
    EXPECT_EQ(o.workdir, "tune");
    EXPECT_EQ(o.record_limit, 5990);
    EXPECT_EQ(parse_program_options({}).record_limit, 0) << "no limit unless asked";
    EXPECT_TRUE(o.error.empty());
    EXPECT_FALSE(parse_program_options({"--record-limit", "many"}).error.empty());
    EXPECT_FALSE(parse_program_options({"a.emu", "--compare"}).error.empty());
    EXPECT_FALSE(parse_program_options({"--port"}).error.empty());
    EXPECT_FALSE(parse_program_options({"--workdir"}).error.empty());
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
