#include <gtest/gtest.h>

#include "app/commands.h"
#include "app/key_routing.h"
#include "editors/pages.h"

namespace veloquin {
namespace {

KeyPress typed(const char* text) {
    return {0, text, false, false, false};
}
KeyPress key(int code, bool ctrl = false, bool shift = false) {
    return {code, "", ctrl, shift, false};
}

TEST(KeyRouting, TableFollowsPageAndFocus) {
    using T = AcceleratorTable;
    EXPECT_EQ(choose_accelerator_table(Page::parameters, true), T::short_109);
    EXPECT_EQ(choose_accelerator_table(Page::ls_switches, true), T::short_109);
    EXPECT_EQ(choose_accelerator_table(Page::boost_control, true), T::full_133);
    EXPECT_EQ(choose_accelerator_table(Page::boost_control, false), T::short_109);
    for (Page p : {Page::maf_emulation, Page::nos_methanol, Page::log_viewer, Page::dashboard}) {
        EXPECT_EQ(choose_accelerator_table(p, false), T::full_133);
    }
}

TEST(KeyRouting, PlusTypesOnParametersWhileEqualsIsAlwaysTheIncrease) {
    EXPECT_EQ(route_key(typed("+"), Page::parameters, KeyFocus::control, false).action,
              KeyAction::pass);
    const KeyRoute eq = route_key(typed("="), Page::parameters, KeyFocus::control, false);
    EXPECT_EQ(eq.action, KeyAction::command);
    EXPECT_EQ(eq.command, cmd::increase);
    EXPECT_EQ(route_key(typed("+"), Page::maf_emulation, KeyFocus::main_window, false).command,
              cmd::increase);
    EXPECT_EQ(route_key(typed("-"), Page::maf_emulation, KeyFocus::main_window, false).command,
              cmd::decrease);
}

TEST(KeyRouting, ArrowsOnBoostControlMoveTheCursorOrTheCaretByFocus) {
    EXPECT_EQ(
        route_key(key(keycode::left), Page::boost_control, KeyFocus::main_window, false).command,
        cmd::move_left);
    EXPECT_EQ(route_key(key(keycode::left, false, true), Page::boost_control, KeyFocus::main_window,
                        false)
                  .command,
              cmd::extend_left);
    EXPECT_EQ(route_key(key(keycode::left), Page::boost_control, KeyFocus::control, false).action,
              KeyAction::pass);
}

TEST(KeyRouting, ModifiersMustMatchExactly) {
    EXPECT_EQ(route_key(key('C', true), Page::maf_emulation, KeyFocus::main_window, false).command,
              cmd::copy_cells);
    EXPECT_EQ(
        route_key(key('C', true, true), Page::log_viewer, KeyFocus::main_window, false).command,
        cmd::crop_log_file);
    EXPECT_EQ(route_key(key('I'), Page::parameters, KeyFocus::main_window, false).command,
              cmd::interpolate);
    EXPECT_EQ(
        route_key(key('I', false, true), Page::parameters, KeyFocus::main_window, false).action,
        KeyAction::pass);
    KeyPress alt_f7 = key(keycode::f7);
    alt_f7.alt = true;
    EXPECT_EQ(route_key(alt_f7, Page::parameters, KeyFocus::main_window, false).action,
              KeyAction::pass);
    // The menu shows Ctrl-S for "Save"; the key now does it on every page.
    EXPECT_EQ(route_key(key('S', true), Page::parameters, KeyFocus::control, false).command,
              cmd::save);
    EXPECT_EQ(route_key(key('S', true), Page::maf_emulation, KeyFocus::main_window, false).command,
              cmd::save);
}

TEST(KeyRouting, UndoAndRedoWorkOnEveryPageWhateverHasTheFocus) {
    for (Page p : {Page::parameters, Page::maf_emulation, Page::boost_control, Page::log_viewer}) {
        for (KeyFocus window : {KeyFocus::main_window, KeyFocus::control}) {
            EXPECT_EQ(route_key(key('Z', true), p, window, false).command, cmd::undo);
            EXPECT_EQ(route_key(key('Z', true, true), p, window, false).command, cmd::redo);
            EXPECT_EQ(route_key(key('Y', true), p, window, false).command, cmd::redo);
        }
    }
}

TEST(KeyRouting, InPlaceEditTakesEnterAndEscAndLetsEverythingElseThrough) {
    EXPECT_EQ(route_key(key('O', true), Page::maf_emulation, KeyFocus::control, true).action,
              KeyAction::pass);
    EXPECT_EQ(route_key(key('Z', true), Page::maf_emulation, KeyFocus::control, true).action,
              KeyAction::pass);
    EXPECT_EQ(route_key(key('Y', true), Page::maf_emulation, KeyFocus::control, true).action,
              KeyAction::pass);
    EXPECT_EQ(route_key(key(keycode::left), Page::maf_emulation, KeyFocus::control, true).action,
              KeyAction::pass);
    EXPECT_EQ(route_key(typed("+"), Page::maf_emulation, KeyFocus::control, true).action,
              KeyAction::pass);
    EXPECT_EQ(route_key(key(keycode::enter), Page::maf_emulation, KeyFocus::control, true).action,
              KeyAction::commit_edit);
    EXPECT_EQ(route_key(key(keycode::escape), Page::maf_emulation, KeyFocus::control, true).action,
              KeyAction::cancel_edit);
}

TEST(KeyRouting, DigitsAndDeleteOpenTheEditorOnMapPagesFromTheWindow) {
    for (Page p :
         {Page::maf_emulation, Page::fuel_correction, Page::nos_methanol, Page::boost_control}) {
        EXPECT_EQ(route_key({'7', "7"}, p, KeyFocus::main_window, false).action,
                  KeyAction::open_cell_editor);
        EXPECT_EQ(route_key(key(keycode::delete_key), p, KeyFocus::main_window, false).action,
                  KeyAction::open_cell_editor);
        EXPECT_EQ(route_key({'7', "7"}, p, KeyFocus::control, false).action, KeyAction::pass);
    }
    for (Page p : {Page::parameters, Page::maf_calibration, Page::log_viewer}) {
        EXPECT_EQ(route_key({'7', "7"}, p, KeyFocus::main_window, false).action, KeyAction::pass);
    }
}

// On "NOS/Methanol" the map's keys took "-", "+", Page Up and the arrows from
// a field: "-5" typed into "Fade Out" gave 5 and lowered a methanol cell.
TEST(KeyRouting, KeysThatEditTextStayInTheFocusedTextField) {
    const KeyPress text_keys[] = {typed("-"),
                                  typed("+"),
                                  typed("="),
                                  typed("i"),
                                  key(keycode::page_up),
                                  key(keycode::page_down),
                                  key(keycode::left),
                                  key(keycode::right, false, true),
                                  key(keycode::up),
                                  key(keycode::home),
                                  key(keycode::enter),
                                  key('C', true),
                                  key('V', true),
                                  key('Z', true)};
    for (Page p : {Page::parameters, Page::nos_methanol, Page::ls_switches, Page::boost_control}) {
        for (const KeyPress& k : text_keys) {
            EXPECT_EQ(route_key(k, p, KeyFocus::text_field, false).action, KeyAction::pass)
                << k.text << k.code << " on " << page_title(p);
        }
        EXPECT_EQ(route_key(key(keycode::f7), p, KeyFocus::text_field, false).command,
                  cmd::start_log_record);
        EXPECT_EQ(route_key(key('S', true), p, KeyFocus::text_field, false).command, cmd::save);
    }
}

TEST(KeyRouting, HomeShowsTheWholeLogOnTheLogViewerOnly) {
    EXPECT_EQ(route_key(key(keycode::home), Page::log_viewer, KeyFocus::main_window, false).command,
              cmd::whole_log_view);
    EXPECT_EQ(
        route_key(key(keycode::home, false, true), Page::log_viewer, KeyFocus::main_window, false)
            .action,
        KeyAction::pass);
    EXPECT_EQ(
        route_key(key(keycode::home), Page::maf_emulation, KeyFocus::main_window, false).action,
        KeyAction::pass);
}

TEST(Commands, MenuTextsAndDialogs) {
    ASSERT_EQ(menu_bar().size(), 4U);
    EXPECT_EQ(menu_bar()[0].entries.front().text, "Open calibration...\tCtrl-O");
    EXPECT_EQ(menu_bar()[0].entries.back().text, "E&xit");
    EXPECT_EQ(menu_bar()[1].title, "&Edit");
    EXPECT_EQ(menu_bar()[3].entries.front().text, "Serial port access...");
    EXPECT_EQ(menu_bar()[3].entries.back().text, "&About ...");
    const FileDialogInfo* log = file_dialog_for(cmd::load_log_file);
    ASSERT_NE(log, nullptr);
    ASSERT_EQ(log->filters.size(), 4U);
    EXPECT_EQ(log->filters[1].text, "Mazda Data Log [*.mdl]");
    EXPECT_EQ(log->filters[2].pattern, "*.csv");
    EXPECT_EQ(log->filters[3].pattern, "*.msl");
    EXPECT_EQ(dialog_filter_label(log->filters[1].text, log->filters[1].pattern),
              "Mazda Data Log (*.mdl)");
    const auto open = file_dialog_for(cmd::open_calibration)->filters;
    ASSERT_EQ(open.size(), 3U);
    EXPECT_EQ(dialog_filter_label(open[1].text, open[1].pattern),
              "Calibration files (*.emu *.cfg)");
    EXPECT_EQ(dialog_filter_label(open[2].text, open[2].pattern), "All files (*)");
    EXPECT_EQ(file_dialog_for(cmd::save_as)->default_extension, ".emu");
    EXPECT_EQ(file_dialog_for(cmd::load_partial_settings)->title, "Load parameters");
    EXPECT_EQ(file_dialog_for(cmd::crop_log_file), nullptr);
    EXPECT_EQ(add_default_extension("/m/tune", ".emu"), "/m/tune.emu");
    EXPECT_EQ(add_default_extension("/m/tune.txt", ".emu"), "/m/tune.txt");
    EXPECT_EQ(add_default_extension("/m.d/tune", ".emu"), "/m.d/tune.emu");
}

}  // namespace
}  // namespace veloquin
