#include <gtest/gtest.h>

#include "app/application.h"
#include "app/commands.h"
#include "app/live_panel.h"
#include "calfile/calibration_file.h"
#include "calibration/conversions.h"
#include "datalogs/log_file.h"
#include "device/transfer.h"
#include "editors/page_rules.h"
#include "tests/device/scripted_device.h"
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
    // A device on port 1 that answers with the program's own calibration.
    void connect_device() {
        device.attach(platform.ports[1]);
        for (const Block b : kBlockOrder)
            device.downloads[download_code(b)] = encode_block(cal(), b);
        DeviceLink& link = app.state().link;
        link.found_ports[0] = 1;
        link.found_count = 1;
        start_search_at_first_found_port(link);
        app.poll_tick();
        ASSERT_TRUE(link.connected);
    }
    void commit(Page page, const char* typed) {
        app.state().main_page = page;
        app.key_press({'7', "7"}, true);
        platform.cell_text = typed;
        app.key_press({keycode::enter, "\r"}, false);
    }

    TempDir dir;
    FakePlatform platform;
    testing::ScriptedDevice device;
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
    // A threshold of 0 counts is -12.515 % of the throttle's travel: shown
    // as the nearest percent, and kept through page switches.
    EXPECT_EQ(control(Page::parameters, "REV2x_OFFTHROTTLE").text, "-13");
    app.select_page(Page::maf_emulation);
    app.select_page(Page::parameters);
    EXPECT_EQ(cal().param(hw::REV2x_OFFTHROTTLE), 0);
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
    EXPECT_EQ(platform.last_lower(), "Cell: 250 was held at 200 (Range: -75 to 200)");
    commit(Page::fuel_correction, "abc");
    EXPECT_EQ(cal().cell(MapId::fuel_correction, 3, 4), 200);
    EXPECT_EQ(platform.last_lower(), "Cell: \"abc\" is not a number; the cell keeps its value");
    commit(Page::maf_emulation, "2,9");
    EXPECT_EQ(cal().cell(MapId::map_2_maf, 4, 5), volts_to_counts(2.9));
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
    // Ctrl+E opens the editor of the map on show; it used to open the MAF
    // emulation map's on a hidden page, which took the next keys and stored nothing.
    app.state().main_page = Page::fuel_correction;
    app.key_press({'E', "", true}, true);
    EXPECT_EQ(platform.cell_editors_opened.back(),
              std::make_pair(Page::fuel_correction, std::string()));
    app.key_press({keycode::escape, ""}, false);
    app.state().main_page = Page::parameters;
    app.key_press({'E', "", true}, true);
    EXPECT_EQ(platform.cell_editors_opened.size(), 2U);
    EXPECT_FALSE(app.state().cell_editor_open);
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

    // A file keeps the map's pressure axis in bar; its counts follow at once.
    testing::write_file(dir / "p.par", "SPD_DIV:321\r\nMAP_BAR_LO:-50\r\nMAP_BAR_HI:150\r\n");
    EXPECT_TRUE(app.load_partial_settings((dir / "p.par").string()));
    EXPECT_EQ(cal().param(hw::SPD_DIV), 321);
    EXPECT_EQ(cal().param(hw::MAP_HI), bar100_to_counts(cal(), 150));
    EXPECT_EQ(control(Page::parameters, "SPD_DIV").text, "321");
    EXPECT_EQ(app.state().erase_allowance, 2);
    EXPECT_TRUE(app.state().calibration_path.empty());
}

// The recording runs from the poll while everything else goes on as ever:
// a key does its work at once, and nothing is left to happen afterwards.
TEST_F(ApplicationTest, RecordingRunsFromThePollAndKeysWorkMeanwhile) {
    connect_device();
    app.command(cmd::start_log_record);
    ASSERT_TRUE(app.recording());
    for (int tick = 0; tick < 5; ++tick) {
        platform.clock_ms += 20;
        app.poll_tick();
    }
    EXPECT_GT(app.state().log.count, 5);
    EXPECT_GT(platform.live_refreshes, 5) << "the panel shows the streamed records";

    app.select_page(Page::maf_emulation);
    select(0, 0, 0, 0);
    const int cell = cal().cell(MapId::map_2_maf, 0, 0);
    app.key_press({'+', "+"}, KeyFocus::main_window);
    EXPECT_EQ(cal().cell(MapId::map_2_maf, 0, 0), cell + 5) << "at once, as at any other time";
    app.command(cmd::load_log_file);
    EXPECT_TRUE(platform.dialogs.empty()) << "nothing may load into the log being recorded";
    EXPECT_NE(platform.last_lower().find("Enter"), std::string::npos);

    app.key_press({keycode::enter, "\r"}, KeyFocus::main_window);
    EXPECT_FALSE(app.recording());
    EXPECT_EQ(platform.pages_shown.back(), Page::log_viewer);
    EXPECT_TRUE(std::filesystem::exists(dir / "logs/default.log"));
    EXPECT_EQ(cal().cell(MapId::map_2_maf, 0, 0), cell + 5);
    EXPECT_TRUE(std::filesystem::exists(app.last_recording().file));

    // Within a second of the end F8 is ignored; after it F7 starts, F7 stops.
    platform.clock_ms += 500;
    app.command(cmd::start_record_pass);
    EXPECT_FALSE(app.recording());
    platform.clock_ms += 600;
    app.command(cmd::start_log_record);
    EXPECT_TRUE(app.recording());
    app.command(cmd::start_log_record);
    EXPECT_FALSE(app.recording());
}

// A cancelled dialog or a refused file used to close the port, so the device
// showed "Disconnected" until Connect was pressed.
TEST_F(ApplicationTest, CancelledOrRefusedFirmwareUpdateKeepsTheConnection) {
    connect_device();
    const std::size_t written = platform.ports[1].written.size();
    app.command(cmd::update_firmware);
    EXPECT_EQ(platform.dialogs.back().title, "Open File");
    testing::write_file(dir / "short.frw", std::string(40, 'x'));
    platform.file_choices.push_back((dir / "short.frw").string());
    app.command(cmd::update_firmware);
    ASSERT_EQ(platform.messages.size(), 1U);
    EXPECT_NE(platform.messages[0].text.find("64-byte header"), std::string::npos);
    EXPECT_EQ(platform.ports[1].written.size(), written);
    EXPECT_TRUE(app.state().link.is_open());
    EXPECT_EQ(app.state().link.timeouts, TimeoutSet::normal);
    app.poll_tick();
    EXPECT_TRUE(app.state().link.connected);
}

// The port chosen in "Serial port..." is kept beside workmap.cfg and asked
// first at the next start, by its by-id name though its node changed.
TEST_F(ApplicationTest, ChosenSerialPortIsRememberedAndAskedFirstAtTheNextStart) {
    platform.port_table =
        std::vector<SerialPortEntry>{{"/dev/ttyS0", ""}, {"/dev/ttyUSB0", "usb-Unit-if00"}};
    platform.ports[1];
    app.command(cmd::serial_port);  // cancelled
    ASSERT_EQ(platform.port_lists.size(), 1U);
    ASSERT_EQ(platform.port_lists[0].size(), 2U);
    EXPECT_EQ(platform.port_lists[0][0].state, "free");
    EXPECT_EQ(platform.port_lists[0][1].state, "missing");
    EXPECT_FALSE(std::filesystem::exists(dir / "serial-port.txt"));
    platform.port_choice = 2;
    app.command(cmd::serial_port);
    EXPECT_NE(testing::read_file(dir / "serial-port.txt").find("/dev/ttyUSB0\nusb-Unit-if00\n"),
              std::string::npos);

    FakePlatform next;
    next.port_table = std::vector<SerialPortEntry>{
        {"/dev/ttyS0", ""}, {"/dev/ttyUSB0", ""}, {"/dev/ttyUSB1", "usb-Unit-if00"}};
    for (int port = 1; port <= 3; ++port)
        next.ports[port];
    Application again{next, Edition::full};
    again.start(working_folders(base_folder(dir.path().string())), dir.path());
    again.create_main_window();
    next.opens.clear();
    again.poll_tick();
    ASSERT_EQ(next.opens.size(), 1U);
    EXPECT_EQ(next.opens[0].first, 3);
}

TEST_F(ApplicationTest, SerialPortListIsRefusedWhileRecording) {
    connect_device();
    app.command(cmd::start_log_record);
    ASSERT_TRUE(app.recording());
    app.command(cmd::serial_port);
    EXPECT_TRUE(platform.port_lists.empty());
    EXPECT_EQ(platform.last_lower(), "Recording: press Enter to stop it first");
    EXPECT_TRUE(app.state().link.is_open());
}

// F7 without a device emptied the log and wrote that emptiness over default.log.
TEST_F(ApplicationTest, RecordingWithoutADeviceSaysSoAndKeepsTheLogAndItsFile) {
    testing::write_file(dir / "logs/default.log", "the last real recording");
    app.state().log.count = 5;
    app.state().log.make_room(5);
    app.command(cmd::start_log_record);
    app.command(cmd::start_record_pass);
    EXPECT_EQ(app.state().log.count, 5);
    EXPECT_EQ(testing::read_file(dir / "logs/default.log"), "the last real recording");
    EXPECT_TRUE(platform.pages_shown.empty());
    EXPECT_EQ(platform.timer_stops, 0);
    EXPECT_EQ(platform.last_lower(), "Not connected: no log recorded");
    // The search's port errors do not wipe it; the next action does.
    for (int i = 0; i < 10; ++i)
        app.poll_tick();
    EXPECT_EQ(platform.last_lower(), "Not connected: no log recorded");
    app.key_press({'A', "a"}, true);
    app.poll_tick();
    EXPECT_NE(platform.last_lower(), "Not connected: no log recorded");
}

// A crop after a single click kept one sample, and no crop could be undone.
TEST_F(ApplicationTest, CropNeedsARangeAndIsUndoneWithTheView) {
    LogBuffer& log = app.state().log;
    for (; log.count < 300; ++log.count)
        log.next_slot().rpm = 1000 + log.count;
    app.state().log_view.range = {50, 200};
    app.state().log_view.zoomed_log_count = 300;
    log.sel_first = log.sel_last = 120;
    app.command(cmd::crop_log_file);
    EXPECT_EQ(log.count, 300);
    EXPECT_EQ(platform.last_lower().rfind("Crop Log File: mark at least two samples", 0), 0U);
    log.sel_last = 169;
    app.command(cmd::crop_log_file);
    ASSERT_EQ(log.count, 50);
    EXPECT_EQ(app.menu_entry_state(cmd::undo)->text, "Undo Crop Log File\tCtrl-Z");
    app.key_press({'Z', "", true}, true);
    ASSERT_EQ(log.count, 300);
    EXPECT_EQ(log.samples[299].rpm, 1299);
    EXPECT_EQ(app.state().log_view.range.first, 50);
    EXPECT_EQ(app.state().log_view.zoomed_log_count, 300);
    app.key_press({'Y', "", true}, true);
    EXPECT_EQ(log.count, 50);
    EXPECT_EQ(log.samples[0].rpm, 1120);
    // Another log makes the crops of the old one history.
    app.key_press({'Z', "", true}, true);
    app.key_press({'Y', "", true}, true);
    ASSERT_TRUE(log_write_file(log, dir / "other.log").ok);
    ASSERT_TRUE(app.load_log((dir / "other.log").string()));
    app.key_press({'Z', "", true}, true);
    EXPECT_EQ(log.count, 50);
}

// Undoing a paste put the cells back but left them marked as visited.
TEST_F(ApplicationTest, UndoingAPasteClearsItsVisitMarks) {
    app.state().main_page = Page::maf_emulation;
    cal().cell(MapId::map_2_maf, 2, 2) = 1111;
    select(2, 2, 2, 2);
    app.command(cmd::copy_cells);
    select(5, 5, 5, 5);
    app.command(cmd::paste_cells);
    const VisitMarks& visits = app.state().editor.visits;
    ASSERT_TRUE(visits.marked(5, 5));
    app.command(cmd::undo);
    EXPECT_EQ(visits.count(), 0);
    app.command(cmd::redo);
    EXPECT_TRUE(visits.marked(5, 5));
}

// After "MAF calibration" (33 points) the shared cursor past point 16 showed
// nowhere on "AFR Protect" (17 points) and "+" and Page Up did nothing.
TEST_F(ApplicationTest, CurveCursorIsKeptWithinTheCurveOnShow) {
    EditorCursor& c = app.state().editor.cursor;
    app.select_page(Page::maf_calibration);
    c.curve_cursor = c.curve_anchor = 30;
    app.select_page(Page::afr_protect);
    EXPECT_EQ(c.curve_cursor, cv::AFR_PROTECT_POINTS - 1);
    const int before = cal().curve_word(cv::AFR_PROTECT + cv::AFR_PROTECT_POINTS - 1);
    app.key_press({0, "+"}, true);
    EXPECT_GT(cal().curve_word(cv::AFR_PROTECT + cv::AFR_PROTECT_POINTS - 1), before);
}

TEST_F(ApplicationTest, KnockByLogSaysHowManyPointsItSet) {
    LogBuffer& log = app.state().log;
    for (const int rpm : {1900, 2400, 3100}) {
        LogSample& s = log.next_slot();
        s.rpm = rpm;
        s.knock = 1.0F;
        ++log.count;
    }
    app.command(cmd::calibrate_knock_by_log);
    EXPECT_EQ(platform.last_lower(),
              "Calibrate Knock by Log: 3 of 22 knock points set from the log");

    // A Mazda log has no knock column: its zeros set every point it reached to 0 V.
    const Calibration before = cal();
    log.mazda_log = true;
    for (int i = 0; i < log.count; ++i)
        log.samples[static_cast<std::size_t>(i)].knock = 0.0F;
    app.command(cmd::calibrate_knock_by_log);
    EXPECT_EQ(platform.last_lower(),
              "Calibrate Knock by Log: the log has no knock data (a Mazda log); nothing was set");
    EXPECT_EQ(cal().curves, before.curves);
}

// A note of the log reader (a log cut at 60,000 samples, cut words) was
// replaced by the search's port errors within 100 ms.
TEST_F(ApplicationTest, LogReaderNoteStaysUntilTheNextAction) {
    LogBuffer log;
    log.count = 3;
    log.make_room(3);
    ASSERT_TRUE(log_write_file(log, dir / "long.log").ok);
    std::string text = testing::read_file(dir / "long.log");
    text += std::string(40, '7') + "\r\n";
    testing::write_file(dir / "long.log", text);
    ASSERT_TRUE(app.load_log((dir / "long.log").string()));
    const std::string note = platform.last_lower();
    EXPECT_NE(note.find("31 characters"), std::string::npos) << note;
    for (int i = 0; i < 10; ++i)
        app.poll_tick();
    EXPECT_EQ(platform.last_lower(), note);
}

// Random bytes and an empty file "opened" silently, and the next read-back
// moved fields of the calibration they had not touched.
TEST_F(ApplicationTest, FileWithoutACalibrationSaysSoAndChangesNothing) {
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>((i * 7919) % 251);
    testing::write_file(dir / "noise.emu", garbage);
    testing::write_file(dir / "empty.emu", "");
    const Calibration before = cal();
    for (const char* name : {"noise.emu", "empty.emu"}) {
        EXPECT_FALSE(app.open_calibration((dir / name).string()));
        ASSERT_FALSE(platform.messages.empty());
        EXPECT_NE(
            platform.messages.back().text.find("No calibration found in " + (dir / name).string()),
            std::string::npos);
    }
    EXPECT_EQ(cal().header, before.header);
    EXPECT_TRUE(app.state().calibration_path.empty());
    EXPECT_EQ(app.history().undo_count(), 0U);
}

// Typing "2000" into "2Step Fuel Cut RPM" sent "2" to the running engine for a second.
TEST_F(ApplicationTest, AFieldIsCommittedWhenFinishedNeverHalfTyped) {
    const int rpm = control_index(Page::parameters, "REV2x_RPMON");
    const auto typing = [&](const char* text) {
        control(Page::parameters, "REV2x_RPMON").text = text;
        app.field_editing(rpm);
    };
    typing("2");
    control(Page::parameters, "SPD_DIV").text = "321";  // finished a moment ago
    app.second_tick();
    EXPECT_EQ(cal().param(hw::REV2x_RPMON), 0);
    EXPECT_EQ(cal().param(hw::SPD_DIV), 321);
    typing("2000");
    app.second_tick();
    EXPECT_EQ(cal().param(hw::REV2x_RPMON), 0);
    app.field_finished(rpm);
    EXPECT_EQ(cal().param(hw::REV2x_RPMON), 2000);
    EXPECT_EQ(cal().param(hw::REV2x_RPMOFF), 2000);
    // Any command, a page switch and closing commit it as well.
    typing("2500");
    app.command(cmd::about);
    EXPECT_EQ(cal().param(hw::REV2x_RPMON), 2500);
    typing("2600");
    app.select_page(Page::maf_emulation);
    EXPECT_EQ(cal().param(hw::REV2x_RPMON), 2600);
    app.select_page(Page::parameters);
    typing("2700");
    ASSERT_TRUE(app.write_workmap());
    Calibration back;
    read_calibration_file(back, dir / "workmap.cfg", Edition::full);
    EXPECT_EQ(back.param(hw::REV2x_RPMON), 2700);
}

// A read-only working folder lost the session's edits with a line on stderr.
TEST(ApplicationWorkmap, UnwritableFolderIsSaidAtStartAndSaveAsIsOfferedAtExit) {
    TempDir dir;
    FakePlatform platform;
    Application app{platform, Edition::full};
    app.start(working_folders(base_folder(dir.path().string())), dir / "gone");
    app.create_main_window();
    ASSERT_FALSE(platform.lower_status.empty());
    EXPECT_EQ(platform.lower_status.front().rfind("workmap.cfg cannot be written", 0), 0U)
        << platform.lower_status.front();
    app.state().cal.param(hw::SPD_DIV) = 77;
    platform.answers.push_back(MessageAnswer::yes);
    platform.file_choices.push_back((dir / "maps/rescue").string());
    app.save_at_exit();
    ASSERT_EQ(platform.messages.size(), 1U);
    EXPECT_NE(platform.messages[0].text.find("Save As..."), std::string::npos);
    Calibration back;
    ASSERT_TRUE(read_calibration_file(back, dir / "maps/rescue.emu", Edition::full));
    EXPECT_EQ(back.param(hw::SPD_DIV), 77);
    // A signal quits at once.
    app.exit_at_once();
    app.save_at_exit();
    EXPECT_EQ(platform.messages.size(), 1U);
}

// No command runs inside another; the poll goes on while a command waits
// for the tuner in a file dialog, so the live values do not stop.
TEST_F(ApplicationTest, NoCommandRunsInsideACommandButThePollGoesOnInItsDialog) {
    connect_device();
    int ticks_inside = 0;
    platform.while_dialog_open = [&] {
        const int before = platform.live_refreshes;
        app.poll_tick();
        app.second_tick();
        app.command(cmd::about);
        ticks_inside += platform.live_refreshes - before;
    };
    app.command(cmd::open_calibration);
    EXPECT_EQ(ticks_inside, 1);
    EXPECT_EQ(platform.abouts, 0);
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
