#include <gtest/gtest.h>

#include "app/application.h"
#include "app/commands.h"
#include "app/live_panel.h"
#include "calfile/calibration_file.h"
#include "editors/page_rules.h"
#include "tests/support/fake_platform.h"
#include "tests/support/temp_dir.h"

namespace veloquin {
namespace {

using testing::FakePlatform;
using testing::TempDir;

class ApplicationTest : public ::testing::Test {
  protected:
    ApplicationTest() {
        platform.clock_ms = 500;  // the program has just started
        app.start(working_folders(base_folder(dir.path().string())), dir.path());
        app.create_main_window();
    }

    ControlValue& control(Page page, const char* key) {
        return app.state().controls.values[static_cast<std::size_t>(control_index(page, key))];
    }
    Calibration& cal() { return app.state().cal; }
    void select(int anchor_row, int anchor_col, int row, int col) {
        EditorCursor& c = app.state().editor.cursor;
        c.map_anchor_row = anchor_row;
        c.map_anchor_col = anchor_col;
        c.map_cursor_row = row;
        c.map_cursor_col = col;
    }
    void commit(Page page, const char* typed) {
        app.state().main_page = page;
        app.key_press({'7', "7"}, true);
        platform.cell_text = typed;
        app.key_press({keycode::enter, "\r"}, false);
    }

    TempDir dir;
    FakePlatform platform;
    Application app{platform, Edition::full};
};

TEST_F(ApplicationTest, StartShowsParametersFilledAndThePanelEmpty) {
    EXPECT_EQ(app.state().main_page, Page::parameters);
    EXPECT_EQ(control(Page::parameters, "SPD_DIV").text, std::to_string(cal().param(hw::SPD_DIV)));
    EXPECT_GE(platform.live_refreshes, 1);
    ASSERT_FALSE(platform.titles.empty());
    EXPECT_EQ(platform.titles.back(), "");
    for (const std::string& v : live_panel_values(cal(), app.state().link.live, false)) {
        EXPECT_EQ(v, "n/a");
    }
    EXPECT_EQ(switched_outputs_text(0b0101), "A.C.");
}

TEST_F(ApplicationTest, TypedValueEntersAtTheSecondTickAndAtAPageSwitchOnly) {
    control(Page::parameters, "SPD_DIV").text = "123";
    app.poll_tick();
    EXPECT_NE(cal().param(hw::SPD_DIV), 123);
    app.second_tick();
    EXPECT_EQ(cal().param(hw::SPD_DIV), 123);

    control(Page::parameters, "SPD_DIV").text = "124";
    app.state().main_page = Page::maf_emulation;
    app.second_tick();  // not the visible page
    EXPECT_EQ(cal().param(hw::SPD_DIV), 123);
    app.select_page(Page::fuel_correction);
    EXPECT_EQ(cal().param(hw::SPD_DIV), 124);

    app.select_page(Page::parameters);
    control(Page::parameters, "SPD_DIV").text = "125";
    app.state().editor.automapping = true;
    app.second_tick();
    EXPECT_EQ(cal().param(hw::SPD_DIV), 124);
}

TEST_F(ApplicationTest, MethanolAxisChangeRedrawsItsEditor) {
    app.state().main_page = Page::nos_methanol;
    app.state().erase_allowance = 0;
    const int repaints = platform.repaints;
    app.second_tick();
    EXPECT_EQ(app.state().erase_allowance, 0);
    control(Page::nos_methanol, "METH_BAR_HI").text = "1.9";
    app.second_tick();
    EXPECT_EQ(cal().param(hw::METH_BAR_HI), 190);
    EXPECT_EQ(app.state().erase_allowance, 1);
    EXPECT_GT(platform.repaints, repaints);
}

TEST_F(ApplicationTest, InPlaceCommitClampsByPageAndStoresTheWholeSelection) {
    select(2, 3, 4, 5);
    commit(Page::fuel_correction, "-80");
    for (int r = 2; r <= 4; ++r) {
        for (int c = 3; c <= 5; ++c)
            EXPECT_EQ(cal().cell(MapId::fuel_correction, r, c), -75);
    }
    commit(Page::fuel_correction, "250");
    EXPECT_EQ(cal().cell(MapId::fuel_correction, 3, 4), 200);
    commit(Page::fuel_correction, "abc");
    EXPECT_EQ(cal().cell(MapId::fuel_correction, 3, 4), 0);
    commit(Page::maf_emulation, "2.5");
    EXPECT_EQ(cal().cell(MapId::map_2_maf, 4, 5), 2048);
    commit(Page::maf_emulation, "6");
    EXPECT_EQ(cal().cell(MapId::map_2_maf, 2, 3), 4095);
    commit(Page::boost_control, "101");
    EXPECT_EQ(cal().cell(MapId::boost_duty, 2, 3), 100);
    EXPECT_FALSE(app.state().cell_editor_open);
    EXPECT_EQ(app.state().erase_allowance, 2);

    const Calibration before = cal();
    app.state().main_page = Page::maf_calibration;
    app.open_cell_editor(Page::maf_emulation);
    platform.cell_text = "3";
    app.key_press({keycode::enter, "\r"}, false);
    EXPECT_EQ(cal().maps, before.maps);
}

TEST_F(ApplicationTest, DigitsOpenTheVisibleEditorAndNoCommandRunsWhileItIsOpen) {
    app.state().main_page = Page::nos_methanol;
    app.key_press({'4', "4"}, true);
    ASSERT_EQ(platform.cell_editors_opened.size(), 1U);
    EXPECT_EQ(platform.cell_editors_opened[0],
              std::make_pair(Page::nos_methanol, std::string("4")));
    EXPECT_TRUE(app.state().cell_editor_open);
    EXPECT_EQ(app.key_press({'O', "", true}, false).action, KeyAction::pass);
    EXPECT_TRUE(platform.dialogs.empty());
    app.key_press({keycode::escape, ""}, false);
    EXPECT_FALSE(app.state().cell_editor_open);
    app.key_press({'E', "", true}, true);  // Ctrl+E: the MAF emulation map whatever the page
    EXPECT_EQ(platform.cell_editors_opened.back(),
              std::make_pair(Page::maf_emulation, std::string()));
}

TEST_F(ApplicationTest, SaveWithoutAFileAsksForOneAndRemembersIt) {
    platform.file_choices.push_back((dir / "maps/tune").string());
    app.command(cmd::save);
    ASSERT_EQ(platform.dialogs.size(), 1U);
    EXPECT_EQ(platform.dialogs[0].title, "Save As");
    EXPECT_TRUE(platform.dialogs[0].save);
    EXPECT_EQ(platform.dialogs[0].folder, (dir / "maps/").string());
    EXPECT_TRUE(std::filesystem::exists(dir / "maps/tune.emu"));
    EXPECT_EQ(app.state().calibration_name, "tune.emu");
    cal().param(hw::SPD_DIV) = 77;
    app.command(cmd::save);
    EXPECT_EQ(platform.dialogs.size(), 1U);
    Calibration back;
    read_calibration_file(back, dir / "maps/tune.emu", Edition::full);
    EXPECT_EQ(back.param(hw::SPD_DIV), 77);
    app.command(cmd::save_as);
    EXPECT_EQ(platform.dialogs.back().name, "tune.emu");
    EXPECT_EQ(platform.dialogs.back().folder, (dir / "maps").string());
}

TEST_F(ApplicationTest, FailedSaveSaysWhyAndKeepsTheOldFile) {
    // A name so long that no temporary file can sit beside it.
    const std::string name(250, 'n');
    testing::write_file(dir / name, "old contents");
    EXPECT_FALSE(app.save_calibration((dir / name).string()));
    ASSERT_EQ(platform.messages.size(), 1U);
    EXPECT_EQ(platform.messages[0].caption, "Error");
    EXPECT_NE(platform.messages[0].text.find(name), std::string::npos);
    EXPECT_EQ(testing::read_file(dir / name), "old contents");
    EXPECT_TRUE(app.state().calibration_path.empty());
}

TEST_F(ApplicationTest, UnreadableCalibrationChangesNothing) {
    const Calibration before = cal();
    EXPECT_FALSE(app.open_calibration((dir / "missing.emu").string()));
    ASSERT_EQ(platform.messages.size(), 1U);
    EXPECT_NE(platform.messages[0].text.find("missing.emu"), std::string::npos);
    EXPECT_EQ(cal().header, before.header);
    EXPECT_TRUE(app.state().calibration_path.empty());

    testing::write_file(dir / "p.par", "SPD_DIV:321\r\n");
    EXPECT_TRUE(app.load_partial_settings((dir / "p.par").string()));
    EXPECT_EQ(cal().param(hw::SPD_DIV), 321);
    EXPECT_EQ(control(Page::parameters, "SPD_DIV").text, "321");
    EXPECT_EQ(app.state().erase_allowance, 2);
    EXPECT_TRUE(app.state().calibration_path.empty());
}

TEST_F(ApplicationTest, FirstRecordingIsNotSwallowedAndASecondWithinASecondIs) {
    app.command(cmd::start_log_record);
    ASSERT_EQ(platform.pages_shown.size(), 1U);
    EXPECT_EQ(platform.pages_shown[0], Page::log_viewer);
    EXPECT_TRUE(std::filesystem::exists(dir / "logs/default.log"));
    platform.clock_ms += 500;
    app.command(cmd::start_record_pass);
    EXPECT_EQ(platform.pages_shown.size(), 1U);
    platform.clock_ms += 600;
    app.command(cmd::start_record_pass);
    EXPECT_EQ(platform.pages_shown.size(), 2U);
}

TEST_F(ApplicationTest, CancelledFirmwareUpdateSendsNothingAndClosesThePort) {
    platform.ports[1];
    app.state().link.port_number = 1;
    ASSERT_TRUE(open_port(app.state().link, platform));
    app.command(cmd::update_firmware);
    EXPECT_EQ(platform.dialogs.back().title, "Open File");
    EXPECT_TRUE(platform.ports[1].written.empty());
    EXPECT_FALSE(app.state().link.is_open());
    EXPECT_EQ(app.state().link.timeouts, TimeoutSet::normal);
    EXPECT_EQ(platform.last_lower(), "");
}

TEST_F(ApplicationTest, NothingRunsInsideACommand) {
    int ticks_inside = 0;
    platform.while_dialog_open = [&] {
        const int before = platform.live_refreshes;
        app.poll_tick();
        app.second_tick();
        app.command(cmd::about);
        ticks_inside += platform.live_refreshes - before + platform.abouts;
    };
    app.command(cmd::open_calibration);
    EXPECT_EQ(ticks_inside, 0);
    EXPECT_FALSE(app.busy());
    app.command(cmd::about);
    EXPECT_EQ(platform.abouts, 1);
}

TEST_F(ApplicationTest, WorkmapHoldsTheCalibrationAsItIsNow) {
    cal().param(hw::SPD_DIV) = 4321;
    ASSERT_TRUE(app.write_workmap());
    Calibration back;
    read_calibration_file(back, dir / "workmap.cfg", Edition::full);
    EXPECT_EQ(back.param(hw::SPD_DIV), 4321);
}

TEST_F(ApplicationTest, SerialPortAccessExplainsTheGroupForThisUser) {
    app.command(cmd::serial_port_access);
    ASSERT_EQ(platform.messages.size(), 1U);
    EXPECT_EQ(platform.messages[0].caption, "Serial port access");
    EXPECT_NE(platform.messages[0].text.find("\"dialout\""), std::string::npos);
}

}  // namespace
}  // namespace veloquin
