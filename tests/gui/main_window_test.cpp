#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

#include "calfile/calibration_file.h"
#include "editors/pages.h"
#include "gui/live_panel_widget.h"
#include "tests/gui/gui_fixture.h"

namespace veloquin::testing {
namespace {

using MainWindowTest = GuiTest;

TEST_F(MainWindowTest, StartsOnParametersWithTheStartFilesShown) {
    write_file(dir / "default.cfg", "SPD_DIV:111\r\nKNOCKFUEL:9\r\n");
    write_file(dir / "workmap.cfg", "SPD_DIV:222\r\n");
    open();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Tarvex 7.01   "));
    EXPECT_TRUE(window->page_widget(Page::parameters)->isVisible());
    EXPECT_FALSE(window->page_widget(Page::maf_emulation)->isVisible());
    EXPECT_TRUE(window->nav_button(Page::parameters)->isChecked());
    EXPECT_EQ(field(Page::parameters, "SPD_DIV")->text(), QStringLiteral("222"));
    EXPECT_EQ(field(Page::parameters, "KNOCKFUEL")->text(), QStringLiteral("9"));
    EXPECT_EQ(window->live_panel()->value_text(0), QStringLiteral("n/a"));
    EXPECT_EQ(window->nav_button(Page::dashboard)->geometry(), QRect(10, 16 + 26 * 11, 180, 24));
}

// A typed value enters when its field is finished (the focus leaving it,
// Enter) or at the page switch; the one-second read-back no longer takes a
// field half-typed, and 1.15 stores 115 (it stored 114, truncated).
TEST_F(MainWindowTest, TypedValuesEnterWhenTheFieldIsFinishedOrAtThePageSwitch) {
    open();
    cal().param(hw::MAP_BAR_HI) = 186;
    window->refill_pages();
    type_into(Page::parameters, "MAP_BAR_LO", "1.15");
    window->app().second_tick();  // what the one-second timer runs
    EXPECT_NE(cal().param(hw::MAP_BAR_LO), 115);
    type_into(Page::parameters, "THROTTLE_LO", "0.5");
    EXPECT_EQ(cal().param(hw::MAP_BAR_LO), 115);
    type_into(Page::parameters, "THROTTLE_HI", "4.5");
    type_into(Page::parameters, "REV2x_OFFTHROTTLE", "50");
    EXPECT_NE(cal().param(hw::REV2x_OFFTHROTTLE), 2048);
    press(Page::maf_emulation);
    EXPECT_EQ(cal().param(hw::REV2x_OFFTHROTTLE), 2048);
    EXPECT_EQ(field(Page::parameters, "MAP_BAR_LO")->text(), QStringLiteral("1.15"));
    EXPECT_EQ(window->focusWidget(), window->surface());

    press(Page::parameters);
    type_into(Page::parameters, "SPD_DIV", "321");
    key(Qt::Key_Return);
    EXPECT_EQ(cal().param(hw::SPD_DIV), 321);
}

TEST_F(MainWindowTest, TypedParameterSurvivesAPageRoundTripOnScreen) {
    open();
    QLineEdit* speed = field(Page::parameters, "SPD_DIV");
    const QImage before = on_screen(speed);
    type_into(Page::parameters, "SPD_DIV", "321");
    window->focus_main_window();
    const QImage typed = on_screen(speed);
    EXPECT_NE(typed, before);
    press(Page::maf_emulation);
    press(Page::parameters);
    EXPECT_EQ(on_screen(speed), typed);
    EXPECT_EQ(cal().param(hw::SPD_DIV), 321);
}

TEST_F(MainWindowTest, LongLowerStatusIsShortenedAtAWordWithTheWholeTextInItsTooltip) {
    open();
    const std::string why =
        "COM1: FAILED (/dev/ttyUSB0: permission denied; add yourself to the dialout group "
        "and log in again, or choose another port from the list of serial ports)";
    window->set_lower_status(why);
    gui::LivePanelWidget* panel = window->live_panel();
    EXPECT_EQ(panel->lower_status().toStdString(), why);
    const QString shown = panel->lower_status_shown();
    EXPECT_TRUE(shown.endsWith(QChar(0x2026)));
    EXPECT_TRUE(QString::fromStdString(why).startsWith(shown.chopped(1)));
    EXPECT_EQ(panel->lower_status_tooltip().toStdString(), why);
    window->set_lower_status("COM1: FAILED (busy)");
    EXPECT_EQ(panel->lower_status_shown(), QStringLiteral("COM1: FAILED (busy)"));
}

TEST_F(MainWindowTest, ListParameterOutsideItsListSurvivesAPageSwitch) {
    open();
    cal().param(hw::MAP_FILTER) = 20;
    window->refill_pages();
    EXPECT_EQ(qobject_cast<QComboBox*>(control(Page::parameters, "MAP_FILTER"))->currentIndex(),
              -1);
    press(Page::fuel_correction);
    EXPECT_EQ(cal().param(hw::MAP_FILTER), 20);
}

// "O2FB Gain (1..5)" took 99999 and stored -31073; a gain of 9 from a file
// stays, framed, until the tuner types a value.
TEST_F(MainWindowTest, FieldsNameTheirRangeHoldTypedValuesInsideAndFrameStoredOnesOutside) {
    open();
    cal().param(hw::O2FB_Gain) = 9;
    window->refill_pages();
    const int gain = control_index(Page::parameters, "O2FB_Gain");
    EXPECT_TRUE(window->parameter_pages()->out_of_range_marked(gain));
    EXPECT_EQ(field(Page::parameters, "O2FB_Gain")->toolTip(), QStringLiteral("Range: 1 to 5"));
    press(Page::fuel_correction);
    press(Page::parameters);
    EXPECT_EQ(cal().param(hw::O2FB_Gain), 9);
    type_into(Page::parameters, "O2FB_Gain", "99999");
    key(Qt::Key_Return);
    EXPECT_EQ(cal().param(hw::O2FB_Gain), 5);
    EXPECT_EQ(field(Page::parameters, "O2FB_Gain")->text(), QStringLiteral("5"));
    EXPECT_FALSE(window->parameter_pages()->out_of_range_marked(gain));
}

TEST_F(MainWindowTest, KeysFollowTheTableOfThePageAndTheFocus) {
    open();
    const int before = cal().param(hw::SPD_DIV);
    QLineEdit* f = field(Page::parameters, "SPD_DIV");
    f->setFocus();
    f->setText("12");
    f->end(false);
    key(Qt::Key_Plus);
    EXPECT_EQ(f->text(), QStringLiteral("12+"));
    key(Qt::Key_Equal);  // the short table's increase no longer takes it from a field
    EXPECT_EQ(f->text(), QStringLiteral("12+="));
    EXPECT_EQ(cal().param(hw::SPD_DIV), before);

    press(Page::boost_control);
    EditorCursor& c = window->app().state().editor.cursor;
    c.map_cursor_col = c.map_anchor_col = 5;
    key(Qt::Key_Left);
    EXPECT_EQ(c.map_cursor_col, 4);
    QLineEdit* duty = field(Page::boost_control, "BOOST_DUTY_MIN");
    duty->setFocus();
    duty->setText("40");
    duty->end(false);
    key(Qt::Key_Left);
    EXPECT_EQ(c.map_cursor_col, 4);
    EXPECT_EQ(duty->cursorPosition(), 1);
}

TEST_F(MainWindowTest, InPlaceEditorTakesTheDigitAndStoresOnEnter) {
    open();
    press(Page::maf_emulation);
    EditorCursor& c = window->app().state().editor.cursor;
    c.map_anchor_col = 2;
    c.map_anchor_row = 3;
    c.map_cursor_col = 4;
    c.map_cursor_row = 5;
    key(Qt::Key_7);
    ASSERT_NE(window->cell_editor(), nullptr);
    EXPECT_EQ(window->cell_editor()->text(), QStringLiteral("7"));
    EXPECT_TRUE(window->cell_editor()->hasFocus());
    key(Qt::Key_O, Qt::ControlModifier);
    EXPECT_TRUE(window->dialogs.empty());
    key(Qt::Key_Return);
    EXPECT_EQ(window->cell_editor(), nullptr);
    for (int r = 3; r <= 5; ++r) {
        for (int col = 2; col <= 4; ++col)
            EXPECT_EQ(cal().cell(MapId::map_2_maf, r, col), 4095);
    }
    key(Qt::Key_Delete);
    type("2.5");
    key(Qt::Key_Enter);
    EXPECT_EQ(cal().cell(MapId::map_2_maf, 4, 3), 2048);
    EXPECT_EQ(window->focusWidget(), window->surface());
}

TEST_F(MainWindowTest, EditMenuNamesTheStepAndTheCellEditorKeepsCtrlZ) {
    open();
    QMenu* edit = window->menuBar()->actions().at(1)->menu();
    ASSERT_EQ(edit->title(), QStringLiteral("&Edit"));
    QAction* undo = edit->actions().at(0);
    EXPECT_FALSE(undo->isEnabled());
    press(Page::maf_emulation);
    const int before = cal().cell(MapId::map_2_maf, 0, 0);
    key(Qt::Key_PageUp);
    ASSERT_NE(cal().cell(MapId::map_2_maf, 0, 0), before);
    emit edit->aboutToShow();
    EXPECT_EQ(undo->text(), QStringLiteral("Undo Page Up on MAF Emulation\tCtrl-Z"));
    EXPECT_TRUE(undo->isEnabled());

    key(Qt::Key_7);
    ASSERT_NE(window->cell_editor(), nullptr);
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_NE(window->cell_editor(), nullptr);
    EXPECT_NE(cal().cell(MapId::map_2_maf, 0, 0), before);
    key(Qt::Key_Escape);
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(cal().cell(MapId::map_2_maf, 0, 0), before);
    emit edit->aboutToShow();
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_EQ(edit->actions().at(1)->text(),
              QStringLiteral("Redo Page Up on MAF Emulation\tCtrl-Shift-Z"));
}

TEST_F(MainWindowTest, CtrlSSavesAndAFailedSaveSaysSoAndKeepsTheOldFile) {
    open();
    const std::string name(250, 'n');
    write_file(dir / name, "old");
    window->choices.push_back((dir / name).string());
    key(Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(window->dialogs.size(), 1U);
    EXPECT_EQ(window->dialogs[0].title, "Save As");
    ASSERT_EQ(window->messages.size(), 1U);
    EXPECT_EQ(window->messages[0].rfind("Error: ", 0), 0U);
    EXPECT_EQ(read_file(dir / name), "old");
    window->choices.push_back((dir / "maps/good").string());
    key(Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(std::filesystem::exists(dir / "maps/good.emu"));
}

TEST_F(MainWindowTest, ExitAndTheCloseButtonWriteTheWorkmap) {
    open();
    cal().param(hw::SPD_DIV) = 1234;
    QAction* exit = nullptr;
    for (QAction* a : window->menuBar()->actions().front()->menu()->actions()) {
        if (a->text() == QStringLiteral("E&xit")) exit = a;
    }
    ASSERT_NE(exit, nullptr);
    exit->trigger();
    ASSERT_TRUE(eventually([&] { return !window->isVisible(); }));
    Calibration back;
    ASSERT_TRUE(read_calibration_file(back, dir / "workmap.cfg", Edition::full));
    EXPECT_EQ(back.param(hw::SPD_DIV), 1234);

    std::filesystem::remove(dir / "workmap.cfg");
    open();
    window->close();
    EXPECT_TRUE(std::filesystem::exists(dir / "workmap.cfg"));
}

TEST_F(MainWindowTest, LiteProgramHasNoAfrProtectPage) {
    open(Edition::lite);
    EXPECT_EQ(window->nav_button(Page::afr_protect), nullptr);
    EXPECT_EQ(window->nav_button(Page::nos_methanol)->geometry().y(), 16 + 26 * 6);
    EXPECT_EQ(window->nav_button(Page::dashboard)->geometry().y(), 16 + 26 * 10);
    window->close();
    EXPECT_EQ(read_file(dir / "workmap.cfg").find("[AFR-PROTECT]"), std::string::npos);
}

}  // namespace
}  // namespace veloquin::testing
