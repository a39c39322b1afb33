// The program finding the simulated device by itself, in real time: its port
// is a ttyUSB link in a device folder of the test's own, so the window's port
// table discovers it and the window's watcher sees it come and go.

#include <QAction>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include "app/port_choice.h"
#include "devsim/simulator.h"
#include "gui/live_panel_widget.h"
#include "gui/serial_port_dialog.h"
#include "tests/gui/gui_fixture.h"

namespace veloquin::testing {
namespace {

namespace fs = std::filesystem;

class LinkGuiTest : public GuiTest {
  protected:
    void SetUp() override {
        fs::create_directories(dir / "dev");
        fs::create_directories(dir / "sys");
        ports.discover(dir / "dev", dir / "sys");
    }
    void TearDown() override {
        GuiTest::TearDown();
        if (sim) sim->stop();
    }
    void plug() {
        devsim::SimulatorOptions o;
        o.link = (dir / "dev" / "ttyUSB0").string();
        sim = std::make_unique<devsim::Simulator>(o);
        device = sim.get();
        if (window) window->device = device;
        ASSERT_TRUE(sim->start());
    }
    QString upper() const { return window->live_panel()->upper_status(); }
    QString lower() const { return window->live_panel()->lower_status(); }
    QAction* action(const QString& text) {
        for (QAction* menu : window->menuBar()->actions()) {
            for (QAction* a : menu->menu()->actions()) {
                if (a->text() == text) return a;
            }
        }
        return nullptr;
    }

    std::unique_ptr<devsim::Simulator> sim;
};

TEST_F(LinkGuiTest, WithoutAnyPortTheLinesSayWhatToDoAndAPluggedInDeviceIsFound) {
    open();
    ASSERT_TRUE(eventually([&] { return upper() == QStringLiteral("No serial port found"); },
                           deadline_ms()))
        << upper().toStdString();
    EXPECT_EQ(lower(), QStringLiteral("Plug in the device, or start with --simulate to try the "
                                      "program"));
    EXPECT_TRUE(window->connect_button()->isEnabled());
    const QImage waiting = on_screen(window->live_panel());
    plug();
    ASSERT_TRUE(eventually([&] { return upper() == QStringLiteral("connected"); }, deadline_ms()))
        << upper().toStdString();
    EXPECT_FALSE(window->connect_button()->isEnabled());
    EXPECT_NE(on_screen(window->live_panel()), waiting);
}

TEST_F(LinkGuiTest, UnpluggedDeviceComesBackByItselfWithTheEditMadeMeanwhile) {
    plug();
    open();
    ASSERT_TRUE(eventually([&] { return window->app().state().link.connected; }, deadline_ms()));
    sim->stop();
    ASSERT_TRUE(
        eventually([&] { return upper() == QStringLiteral("Disconnected"); }, deadline_ms()))
        << upper().toStdString();
    EXPECT_EQ(lower(), QStringLiteral("Device lost - retrying"));
    EXPECT_TRUE(window->connect_button()->isEnabled());
    type_into(Page::parameters, "SPD_DIV", "157");
    key(Qt::Key_Return);
    ASSERT_EQ(cal().param(hw::SPD_DIV), 157);
    QTest::qWait(1200);  // a pass or two finds nothing
    ASSERT_FALSE(window->app().state().link.connected);

    QElapsedTimer replugged;
    replugged.start();
    ASSERT_TRUE(sim->start());
    ASSERT_TRUE(eventually([&] { return window->app().state().link.connected; }, deadline_ms()));
    EXPECT_LT(replugged.elapsed(), deadline_ms(2000));
    ASSERT_TRUE(
        eventually([&] { return sim->store().header_word(hw::SPD_DIV) == 157; }, deadline_ms(2500)))
        << sim->store().header_word(hw::SPD_DIV);
    EXPECT_EQ(cal().param(hw::SPD_DIV), 157);
}

TEST_F(LinkGuiTest, SerialPortListShowsEachPortAndRemembersTheChoice) {
    fs::create_directories(dir / "dev" / "serial" / "by-id");
    plug();
    write_file(dir / "dev" / "ttyACM3", "");  // a node that is no serial line
    fs::create_symlink("../../ttyUSB0", dir / "dev" / "serial" / "by-id" / "usb-Unit_A1-if00");
    open();
    ASSERT_TRUE(eventually([&] { return window->app().state().link.connected; }, deadline_ms()));

    QStringList rows;
    QImage shown;
    QTimer::singleShot(100, [&] {
        auto* dialog = qobject_cast<gui::SerialPortDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        QTreeWidget* list = dialog->list();
        shown = on_screen(list);
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* row = list->topLevelItem(i);
            rows << row->text(0) + " " + row->text(2) + " " + row->text(3);
        }
        list->setCurrentItem(list->topLevelItem(0));
        auto* ok = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        QTest::mouseClick(ok, Qt::LeftButton);
    });
    action(QStringLiteral("Serial port..."))->trigger();
    EXPECT_EQ(rows, (QStringList{QStringLiteral("COM1 usb-Unit_A1-if00 connected"),
                                 QStringLiteral("COM2  not a serial port")}));
    EXPECT_FALSE(shown.isNull());
    const auto remembered = read_chosen_port(dir.path());
    ASSERT_TRUE(remembered);
    EXPECT_EQ(remembered->by_id, "usb-Unit_A1-if00");
    EXPECT_TRUE(window->app().state().link.connected);  // it was the port in use
}

}  // namespace
}  // namespace veloquin::testing
