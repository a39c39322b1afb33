#include <gtest/gtest.h>

#include "app/application.h"
#include "app/commands.h"
#include "calfile/calibration_file.h"
#include "calibration/conversions.h"
#include "device/transfer.h"
#include "editors/trace_automap.h"
#include "tests/device/scripted_device.h"
#include "tests/support/fake_platform.h"
#include "tests/support/temp_dir.h"

namespace veloquin {
namespace {

using testing::FakePlatform;
using testing::ScriptedDevice;
using testing::TempDir;

KeyPress key(int code, bool ctrl = false, bool shift = false) {
    return {code, "", ctrl, shift, false};
}

// The program connected to a scripted device whose calibration differs from
// the start one, so the download is visible in the words.
class HistoryTest : public ::testing::Test {
  protected:
    HistoryTest() {
        Calibration on_device;
        set_start_values(on_device);
        on_device.param(hw::SPD_DIV) = 999;
        on_device.param(hw::MAP_BAR_LO) = -100;
        on_device.param(hw::MAP_BAR_HI) = 150;
        on_device.cell(MapId::boost_duty, 0, 0) = 42;
        for (int r = 0; r < kMapRows; ++r) {
            for (int c = 0; c < kMapCols; ++c)
                on_device.cell(MapId::map_2_maf, r, c) = low16(r > 12 ? 0 : 100 + 50 * r + 30 * c);
        }
        for (int i = 0; i < cv::MAF_SENSOR_POINTS; ++i)
            on_device.set_maf_point(i, static_cast<std::uint16_t>(400 * i));
        rebuild_maf_reverse_table(on_device);
        for (const Block b : kBlockOrder)
            device.downloads[download_code(b)] = encode_block(on_device, b);
        // 3000 rpm at 1.5 V MAP with 2.5 V from the MAF: inside both maps.
        device.live = {0, 0, 0xB8, 0x0B, 0, 0, 0x33, 0x05, 0x00, 0x08};
        device.live.resize(LiveRecord::kSize);
        device.attach(platform.ports[1]);
        app.start(working_folders(base_folder(dir.path().string())), dir.path());
        app.create_main_window();
    }

    Calibration& cal() { return app.state().cal; }
    void connect() {
        for (int i = 0; i < 3 && !app.state().link.connected; ++i)
            app.poll_tick();
        ASSERT_TRUE(app.state().link.connected);
        app.fill_all_pages();  // what the window does when the download asks for a refill
    }
    void on_page(Page page, int anchor_row, int anchor_col, int row, int col) {
        app.state().main_page = page;
        EditorCursor& c = app.state().editor.cursor;
        c.map_anchor_row = anchor_row;
        c.map_anchor_col = anchor_col;
        c.map_cursor_row = row;
        c.map_cursor_col = col;
    }
    std::string undo_text() { return app.menu_entry_state(cmd::undo)->text; }
    std::string redo_text() { return app.menu_entry_state(cmd::redo)->text; }
    // Runs one change and checks it made exactly one step of that name.
    void step(const std::string& name, const std::function<void()>& change) {
        const std::size_t before = app.history().undo_count();
        change();
        EXPECT_EQ(app.history().undo_count(), before + 1) << name;
        EXPECT_EQ(undo_text(), "Undo " + name + "\tCtrl-Z");
        names.push_back(name);
    }

    TempDir dir;
    FakePlatform platform;
    ScriptedDevice device;
    Application app{platform, Edition::full};
    std::vector<std::string> names;
};

TEST_F(HistoryTest, EveryKindOfChangeUndoesToTheStartAndRedoesToTheEnd) {
    connect();
    EXPECT_EQ(cal().param(hw::SPD_DIV), 999);
    EXPECT_EQ(app.history().undo_count(), 1U) << "a download over the work is one step";
    const CalibrationWords start = calibration_words(cal());
    EXPECT_EQ(undo_text(), "Undo Download from the device\tCtrl-Z");

    step("Page Up on MAF Emulation", [&] {
        on_page(Page::maf_emulation, 2, 2, 5, 6);
        app.key_press(key(keycode::page_up), true);
    });
    step("Typing on Fuel Correction", [&] {
        on_page(Page::fuel_correction, 0, 0, 3, 3);
        app.key_press({0, "+"}, true);
    });
    step("Edit on Fuel Correction", [&] {
        on_page(Page::fuel_correction, 4, 4, 4, 4);
        app.key_press({'3', "3"}, true);
        platform.cell_text = "35";
        app.key_press(key(keycode::enter), false);
    });
    step("Paste", [&] {
        on_page(Page::fuel_correction, 0, 0, 4, 4);
        app.key_press(key('C', true), true);
        on_page(Page::fuel_correction, 10, 10, 10, 10);
        app.key_press(key('V', true), true);
    });
    step("Interpolate", [&] {
        on_page(Page::fuel_correction, 10, 10, 14, 14);
        app.command(cmd::interpolate);
    });
    step("Smooth MAP", [&] {
        on_page(Page::maf_emulation, 0, 0, 0, 0);
        app.command(cmd::smooth_map);
    });
    step("Exterpolate boost up", [&] { app.command(cmd::extrapolate_boost_up); });
    step("Replicate Fuel Correction Map", [&] {
        on_page(Page::fuel_correction, 0, 0, 0, 0);
        app.key_press(key('R', true), true);
    });
    step("Calibrate Knock by Log", [&] {
        app.state().log.make_room(1);
        app.state().log.samples[0].rpm = 3000;
        app.state().log.samples[0].knock = 2.0F;
        app.state().log.count = 1;
        app.command(cmd::calibrate_knock_by_log);
    });
    step("Automapping", [&] {
        app.select_page(Page::maf_emulation);
        set_automapping(app.state().editor, platform);
        for (int i = 0; i < 5; ++i)
            app.poll_tick();
        set_automapping(app.state().editor, platform);
        app.poll_tick();
    });
    step("Speed Hz/100kmh on Parameters", [&] {
        app.select_page(Page::parameters);
        auto& controls = app.state().controls.values;
        controls[static_cast<std::size_t>(control_index(Page::parameters, "SPD_DIV"))].text = "157";
        app.second_tick();
        app.second_tick();  // the same text again is no new step
    });
    Calibration other;
    set_start_values(other);
    other.cell(MapId::meth_correction, 1, 1) = 17;
    ASSERT_TRUE(write_calibration_file(other, dir / "maps/other.emu", Edition::full));
    step("Open calibration", [&] {
        platform.answers.push_back(MessageAnswer::yes);  // send it to the device
        platform.file_choices.emplace_back((dir / "maps/other.emu").string());
        app.key_press(key('O', true), true);
    });
    testing::write_file(dir / "p.par", "SPD_DIV:321\r\n");
    step("Load partial settings", [&] {
        platform.file_choices.emplace_back((dir / "p.par").string());
        app.command(cmd::load_partial_settings);
    });
    EXPECT_EQ(app.state().calibration_name, "other.emu");
    const CalibrationWords end = calibration_words(cal());

    for (auto name = names.rbegin(); name != names.rend(); ++name) {
        app.key_press(key('Z', true), true);
        EXPECT_EQ(redo_text(), "Redo " + *name + "\tCtrl-Shift-Z");
        if (*name == "Open calibration") {
            EXPECT_TRUE(app.state().calibration_name.empty());
        }
    }
    EXPECT_TRUE(calibration_words(cal()) == start);
    EXPECT_EQ(undo_text(), "Undo Download from the device\tCtrl-Z");
    EXPECT_EQ(
        app.state()
            .controls.values[static_cast<std::size_t>(control_index(Page::parameters, "SPD_DIV"))]
            .text,
        "999");
    for (std::size_t i = 0; i < names.size(); ++i)
        app.key_press(key(i % 2 == 0 ? 'Y' : 'Z', true, i % 2 != 0), false);
    EXPECT_TRUE(calibration_words(cal()) == end);
    EXPECT_EQ(app.state().calibration_name, "other.emu");
    EXPECT_FALSE(app.menu_entry_state(cmd::redo)->enabled);
}

TEST_F(HistoryTest, ANewChangeEndsRedoAndATypedValueIsUndoneBeforeItsTick) {
    connect();
    on_page(Page::boost_control, 0, 0, 0, 0);
    app.key_press(key(keycode::page_up), true);
    app.command(cmd::undo);
    EXPECT_EQ(cal().cell(MapId::boost_duty, 0, 0), 42);
    app.key_press({0, "-"}, true);
    EXPECT_FALSE(app.menu_entry_state(cmd::redo)->enabled);
    EXPECT_EQ(undo_text(), "Undo Typing on Boost Control\tCtrl-Z");

    app.select_page(Page::parameters);
    ControlValue& speed =
        app.state()
            .controls.values[static_cast<std::size_t>(control_index(Page::parameters, "SPD_DIV"))];
    speed.text = "5";
    app.key_press(key('Z', true), false);
    EXPECT_EQ(cal().param(hw::SPD_DIV), 999);
    EXPECT_EQ(speed.text, "999");
    EXPECT_EQ(redo_text(), "Redo Speed Hz/100kmh on Parameters\tCtrl-Shift-Z");
}

TEST(CalibrationHistory, DeviceWordsStayAndUnrecordedChangesAreTakenBackWithTheStep) {
    Calibration cal;
    CalibrationHistory h;
    h.reset(cal);
    cal.param(hw::SPD_DIV) = 5;
    ASSERT_TRUE(h.record(calibration_words(cal), "a"));
    EXPECT_FALSE(h.record(calibration_words(cal), "nothing new"));

    // A download moves the same word and another one: neither is a step.
    const CalibrationWords before_download = calibration_words(cal);
    cal.param(hw::SPD_DIV) = 7;
    cal.curve_word(cv::KNOCK) = 9;
    h.adopt(before_download, calibration_words(cal));
    // The program's own normalisation of a word, recorded by nobody.
    cal.param(hw::REV2x_OFFTHROTTLE) = 50;

    ASSERT_NE(h.undo(cal), nullptr);
    EXPECT_EQ(cal.param(hw::SPD_DIV), 0);
    EXPECT_EQ(cal.curve_word(cv::KNOCK), 9);
    EXPECT_EQ(cal.param(hw::REV2x_OFFTHROTTLE), 0);
    EXPECT_EQ(h.undo(cal), nullptr);
    ASSERT_NE(h.redo(cal), nullptr);
    EXPECT_EQ(cal.param(hw::SPD_DIV), 5);
    EXPECT_EQ(cal.param(hw::REV2x_OFFTHROTTLE), 50);
    EXPECT_EQ(cal.curve_word(cv::KNOCK), 9);
}

TEST(CalibrationHistory, KeepsItsBoundOverTenThousandSteps) {
    Calibration cal;
    CalibrationHistory h;
    h.reset(cal);
    for (int i = 1; i <= 10000; ++i) {
        // Every word moves: the largest step there is.
        cal.header.fill(low16(i));
        for (Map& m : cal.maps)
            m.fill(low16(i));
        cal.curves.fill(low16(i));
        ASSERT_TRUE(h.record(calibration_words(cal), "Open calibration"));
    }
    EXPECT_EQ(h.undo_count(), CalibrationHistory::kMaxSteps);
    const std::size_t largest_step =
        sizeof(HistoryStep) + 32 + sizeof(WordChange) * kCalibrationWords;
    EXPECT_LE(h.memory_bytes(),
              sizeof(CalibrationHistory) + CalibrationHistory::kMaxSteps * largest_step);
    while (h.undo(cal) != nullptr) {
    }
    EXPECT_EQ(h.redo_count(), CalibrationHistory::kMaxSteps);
    EXPECT_EQ(cal.param(0), low16(10000 - static_cast<int>(CalibrationHistory::kMaxSteps)));
}

}  // namespace
}  // namespace veloquin
