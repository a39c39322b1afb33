#include <gtest/gtest.h>

#include <fstream>

#include "app/application.h"
#include "app/commands.h"
#include "app/snapshots.h"
#include "calfile/calibration_file.h"
#include "calfile/folder_lock.h"
#include "device/transfer.h"
#include "tests/device/scripted_device.h"
#include "tests/support/fake_platform.h"
#include "tests/support/temp_dir.h"

namespace veloquin {
namespace {

using testing::TempDir;

struct ListPlatform : testing::FakePlatform {
    std::vector<std::vector<std::string>> rows;
    std::optional<int> row;  // the row chosen; closed when empty
    bool folder_in_use = false;
    std::function<void()> on_title;  // the device named, its calibration still to come
    bool lock_folder(const std::string&) override { return !folder_in_use; }
    void set_title_line(std::string_view line) override {
        if (on_title) on_title();
        FakePlatform::set_title_line(line);
    }
    std::optional<int> choose_row(std::string_view, const std::vector<std::string>&,
                                  const std::vector<std::vector<std::string>>& shown,
                                  std::string_view) override {
        rows = shown;
        return row;
    }
};

class WorkSafety : public ::testing::Test {
  protected:
    WorkSafety() {
        app.start(working_folders(base_folder(dir.path().string())), dir.path());
        cal().param(hw::O2FB_Target) = 1470;  // as any calibration file has it
        // The scripted device's live record (every byte 0x22) reads as knock
        // at full scale; its alarm is not what these tests watch.
        app.state().alarms.set_rules({});
        app.create_main_window();
    }
    Calibration& cal() { return app.state().cal; }
    std::int16_t& idle_cell() { return cal().cell(MapId::map_2_maf, 0, 0); }
    std::int16_t edit_idle_cell(const char* volts = "3.8") {
        app.select_page(Page::maf_emulation);
        app.key_press({'3', "3"}, true);
        platform.cell_text = volts;
        app.key_press({keycode::enter, "\r"}, false);
        return idle_cell();
    }
    void connect_device(std::int16_t device_idle_cell) {
        Calibration device_cal = cal();
        device_cal.cell(MapId::map_2_maf, 0, 0) = device_idle_cell;
        device.attach(platform.ports[1]);
        for (const Block b : kBlockOrder)
            device.downloads[download_code(b)] = encode_block(device_cal, b);
        DeviceLink& link = app.state().link;
        link.found_ports[0] = 1;
        link.found_count = 1;
        start_search_at_first_found_port(link);
        app.poll_tick();
        ASSERT_TRUE(link.connected);
    }
    std::vector<Snapshot> snapshots() const {
        return list_snapshots(history_folder(app.state().files.folders));
    }

    TempDir dir;
    ListPlatform platform;
    testing::ScriptedDevice device;
    Application app{platform, Edition::full};
};

TEST(Snapshots, TheNewestFiftyAreKeptInTheOrderTheyCame) {
    TempDir dir;
    Calibration cal;
    for (int i = 0; i < 52; ++i) {
        cal.cell(MapId::map_2_maf, 0, 0) = static_cast<std::int16_t>(i);
        const auto cause = i % 2 == 0 ? SnapshotCause::download : SnapshotCause::open_file;
        ASSERT_TRUE(keep_snapshot(dir.path(), cal, Edition::full, cause, "2026-12-07_21-50-03"));
    }
    std::ofstream(dir.path() / "notes.cfg") << "not a snapshot";
    const std::vector<Snapshot> list = list_snapshots(dir.path());
    ASSERT_EQ(list.size(), kKeptSnapshots);
    EXPECT_EQ(list.front().time, "2026-12-07 21:50:03");
    EXPECT_EQ(list.front().cause, "Calibration file opened");
    Calibration newest, oldest;
    std::string error;
    ASSERT_TRUE(read_snapshot(list.front(), cal, Edition::full, newest, error)) << error;
    ASSERT_TRUE(read_snapshot(list.back(), cal, Edition::full, oldest, error)) << error;
    EXPECT_EQ(newest.cell(MapId::map_2_maf, 0, 0), 51);
    EXPECT_EQ(oldest.cell(MapId::map_2_maf, 0, 0), 2);
}

TEST_F(WorkSafety, ADownloadOverTheWorkIsOneUndoStepAndHistoryBringsItBackToo) {
    const std::int16_t work = edit_idle_cell();
    // A key once the title names the device, its calibration still on the
    // way, is refused in words, never applied to the device's values.
    KeyRoute during{};
    std::string said;
    platform.on_title = [&] {
        during = app.key_press({'=', "="}, true);
        said = platform.lower_status.back();
    };
    platform.wall_clock = {2031, 2, 3, 4, 5, 6};
    connect_device(500);
    EXPECT_NE(during.action, KeyAction::pass) << "the key went on to the focused control";
    EXPECT_EQ(said, kBusyWithDevice);
    EXPECT_EQ(idle_cell(), 500);
    EXPECT_EQ(app.state().notice, kDownloadReplacedWork);
    ASSERT_EQ(snapshots().size(), 1u);
    EXPECT_EQ(snapshots()[0].cause, "Download from the device");
    EXPECT_EQ(snapshots()[0].time, "2031-02-03 04:05:06") << "the platform's clock names it";
    app.command(cmd::undo);
    EXPECT_EQ(idle_cell(), work);
    EXPECT_TRUE(unsent_blocks(cal())[static_cast<std::size_t>(Block::e_map)]);
    app.command(cmd::redo);
    platform.row = 0;
    app.command(cmd::history);
    ASSERT_EQ(platform.rows.size(), 1u);
    EXPECT_EQ(platform.rows[0][1], "Download from the device");
    EXPECT_EQ(platform.rows[0][2], "1");
    EXPECT_EQ(idle_cell(), work);
    EXPECT_EQ(snapshots().size(), 2u);  // the restore kept what it replaced
    app.command(cmd::undo);
    EXPECT_EQ(idle_cell(), 500);
}

TEST_F(WorkSafety, AnotherDeviceAsksWhichCalibrationToKeepAndKeepsBoth) {
    std::ofstream(dir.path() / "synced-device.txt")
        << "KVX serial# 09090909090909 HW.Ver:02 SW.Ver:15\n";
    const std::int16_t work = edit_idle_cell();
    platform.answers.push_back(MessageAnswer::yes);  // keep my work
    connect_device(500);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_NE(platform.messages[0].text.find("serial# 01020304050607"), std::string::npos);
    EXPECT_EQ(idle_cell(), work);
    EXPECT_TRUE(unsent_blocks(cal())[static_cast<std::size_t>(Block::e_map)]);
    EXPECT_EQ(snapshots().size(), 2u);
    // The device now synchronised is the one remembered: no question again.
    app.state().link.connected = false;
    app.state().link.search.device_identity.clear();
    connect_device(600);
    EXPECT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(idle_cell(), 600);
}

TEST_F(WorkSafety, WorkmapFollowsEachChangeWithinASecond) {
    const std::int16_t work = edit_idle_cell();
    app.second_tick();
    Calibration back;
    ASSERT_TRUE(read_calibration_file(back, dir / "workmap.cfg", Edition::full));
    EXPECT_EQ(back.cell(MapId::map_2_maf, 0, 0), work);
}

TEST_F(WorkSafety, AnExitWhileConnectedFirstSendsTheChangesWithinASecond) {
    connect_device(0);
    device.upload_codes.clear();
    edit_idle_cell();
    const std::uint32_t asked = platform.clock_ms;
    EXPECT_TRUE(app.save_at_exit());
    EXPECT_EQ(device.upload_codes, (std::vector<std::uint8_t>{cmd::upload_e_map}));
    EXPECT_LE(platform.clock_ms - asked, 1000u);
    EXPECT_TRUE(platform.messages.empty());
    // A device that takes no frame is said so.
    edit_idle_cell("4.1");
    platform.ports.at(1).fail_writes = true;
    EXPECT_TRUE(app.save_at_exit());
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(
        platform.messages[0].text.rfind("The device was not sent your last changes (e-map)", 0),
        0u);
}

TEST_F(WorkSafety, AnExitThatCannotWriteKeepsAskingUntilTheWorkIsSafe) {
    app.state().working_directory = dir / "gone";
    edit_idle_cell();
    platform.answers = {MessageAnswer::yes, MessageAnswer::ok, MessageAnswer::yes};
    platform.file_choices = {(dir / "gone/rescue.emu").string(), (dir / "rescue.emu").string()};
    EXPECT_TRUE(app.save_at_exit());
    EXPECT_TRUE(std::filesystem::exists(dir / "rescue.emu"));
    // Declined, the program stays open; a signal quits at once.
    EXPECT_FALSE(app.save_at_exit());
    app.exit_at_once();
    EXPECT_TRUE(app.save_at_exit());
}

TEST_F(WorkSafety, ASecondProgramOnAFolderInUseOffersAnotherFolderOrAReadOnlyView) {
    {
        FolderLock::Result result{};
        const auto first = FolderLock::acquire(dir.path(), result);
        ASSERT_EQ(result, FolderLock::Result::held);
        EXPECT_EQ(FolderLock::acquire(dir.path(), result), nullptr);
        EXPECT_EQ(result, FolderLock::Result::in_use);
    }
    FolderLock::Result result{};
    EXPECT_NE(FolderLock::acquire(dir.path(), result), nullptr) << "a lock left behind is free";
    ListPlatform second;
    second.folder_in_use = true;
    second.answers = {MessageAnswer::no};  // the read-only view
    Application viewer(second, Edition::full);
    viewer.start(working_folders(base_folder(dir.path().string())), dir.path());
    viewer.create_main_window();
    EXPECT_TRUE(viewer.state().read_only);
    viewer.state().cal.param(hw::SPD_DIV) = 4321;
    viewer.second_tick();
    EXPECT_FALSE(std::filesystem::exists(dir / "workmap.cfg"));
}

TEST_F(WorkSafety, OpeningAFileWhileConnectedAsksBeforeSendingIt) {
    connect_device(500);
    Calibration file = cal();
    file.cell(MapId::map_2_maf, 0, 0) = 900;
    ASSERT_TRUE(write_calibration_file(file, dir / "other.emu", Edition::full));
    const std::size_t steps = app.history().undo_count();
    platform.answers = {MessageAnswer::no};  // open without sending
    platform.file_choices = {(dir / "other.emu").string()};
    app.command(cmd::open_calibration);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text.rfind("Send this calibration to the device now?", 0), 0u);
    EXPECT_EQ(idle_cell(), 500);
    EXPECT_TRUE(app.state().comparison.active);
    EXPECT_FALSE(app.state().comparison.differences.empty());
    EXPECT_FALSE(unsent_blocks(cal())[static_cast<std::size_t>(Block::e_map)]);
    platform.answers = {MessageAnswer::yes};  // send it
    platform.file_choices = {(dir / "other.emu").string()};
    app.command(cmd::open_calibration);
    EXPECT_EQ(idle_cell(), 900);
    EXPECT_EQ(app.history().undo_count(), steps + 1);
}

TEST(AfrProtectCurve, LiteWarnsBeforeDroppingItAndTheFullProgramKeepsItsOwn) {
    TempDir dir;
    Calibration full;
    for (int i = 0; i < cv::AFR_PROTECT_POINTS; ++i)
        full.curve_word(cv::AFR_PROTECT + i) = 131;
    ASSERT_TRUE(write_calibration_file(full, dir / "full.emu", Edition::full));
    ListPlatform platform;
    Application lite(platform, Edition::lite);
    lite.start(working_folders(base_folder(dir.path().string())), dir.path());
    lite.create_main_window();
    ASSERT_TRUE(lite.open_calibration((dir / "full.emu").string()));
    platform.answers = {MessageAnswer::no};  // Cancel
    EXPECT_FALSE(lite.save_calibration((dir / "lite.emu").string()));
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_NE(platform.messages[0].text.find("[AFR-PROTECT]"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir / "lite.emu"));
    platform.answers = {MessageAnswer::yes};  // Save anyway
    EXPECT_TRUE(lite.save_calibration((dir / "lite.emu").string()));
    ListPlatform full_platform;
    Application program(full_platform, Edition::full);
    program.start(working_folders(base_folder(dir.path().string())), dir.path());
    program.create_main_window();
    const std::int16_t held = program.state().cal.curve_word(cv::AFR_PROTECT + 3);
    ASSERT_TRUE(program.open_calibration((dir / "lite.emu").string()));
    EXPECT_EQ(program.state().cal.curve_word(cv::AFR_PROTECT + 3), held);
    EXPECT_EQ(program.state().notice,
              "lite.emu has no AFR protect curve: the curve held before is kept");
}

}  // namespace
}  // namespace veloquin
