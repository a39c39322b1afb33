// The program against the simulated device on a pseudo-terminal, through the
// real serial code and the real event loop.

#include "devsim/simulator.h"
#include "gui/live_panel_widget.h"
#include "tests/gui/gui_fixture.h"

namespace veloquin::testing {
namespace {

class DeviceGuiTest : public GuiTest {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sim.start());
        ports.add_explicit(sim.slave_path());
    }
    void TearDown() override {
        GuiTest::TearDown();
        sim.stop();
    }
    devsim::Simulator sim{devsim::SimulatorOptions{}};
};

TEST_F(DeviceGuiTest, ConnectsShowsLiveValuesUploadsEditsAndSurvivesUnplugging) {
    open();
    QTRY_VERIFY_WITH_TIMEOUT(window->windowTitle().contains("KVX serial# 01020304050607"), 1000);
    QTRY_VERIFY_WITH_TIMEOUT(window->live_panel()->value_text(0) != QStringLiteral("n/a"), 1000);
    EXPECT_EQ(window->live_panel()->upper_status(), QStringLiteral("connected"));
    const QString rpm = window->live_panel()->value_text(0);
    QTRY_VERIFY_WITH_TIMEOUT(window->live_panel()->value_text(0) != rpm, 2000);

    const int old_speed = cal().param(hw::SPD_DIV);
    type_into(Page::parameters, "SPD_DIV", "157");
    key(Qt::Key_Return);  // a field goes in when it is finished
    ASSERT_EQ(cal().param(hw::SPD_DIV), 157);
    QTRY_COMPARE_WITH_TIMEOUT(sim.store().header_word(hw::SPD_DIV), 157, 2500);

    // An undo is an edit like any other: the device follows it.
    key(Qt::Key_Z, Qt::ControlModifier);
    ASSERT_EQ(cal().param(hw::SPD_DIV), old_speed);
    QTRY_COMPARE_WITH_TIMEOUT(sim.store().header_word(hw::SPD_DIV), old_speed, 2000);

    sim.stop();
    QTRY_COMPARE_WITH_TIMEOUT(window->live_panel()->upper_status(), QStringLiteral("Disconnected"),
                              2000);
    EXPECT_TRUE(window->connect_button()->isEnabled());
    EXPECT_EQ(window->live_panel()->value_text(0), QStringLiteral("n/a"));
}

}  // namespace
}  // namespace veloquin::testing
