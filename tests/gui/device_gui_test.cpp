// The program against the simulated device on a pseudo-terminal, through the
// real serial code and the real event loop.

#include <QElapsedTimer>
#include <set>

#include "datalogs/dashboard.h"
#include "devsim/simulator.h"
#include "gui/live_panel_widget.h"
#include "gui/viewer_widgets.h"
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
    static devsim::SimulatorOptions options() {
        devsim::SimulatorOptions o;
        o.start_at_ms = 6000;  // the engine pulls through the gears from the start
        return o;
    }
    devsim::Simulator sim{options()};
};

// Whether the middle of the rpm needle is on screen where the record the
// program holds puts it.
bool rpm_needle_shown(const QImage& dash, const LiveRecord& live, const Calibration& cal) {
    const Gauge& g = dashboard_gauges()[0];
    const float angle = needle_angle(gauge_value(g, live, cal), g.lo, g.hi);
    const Point mid = dial_point(g.x + g.w / 2, g.y + g.h / 2, angle, g.w / 4);
    return pixels_near(dash, QRect(mid.x - 3, mid.y - 3, 7, 7), Qt::red, 60) >= 4;
}

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

TEST_F(DeviceGuiTest, DashboardNeedlesFollowTheLiveRecordsAndRestWithoutThem) {
    open();
    QTRY_VERIFY_WITH_TIMEOUT(window->app().state().link.connected, 2000);
    press(Page::dashboard);
    QWidget* dash = window->dashboard();
    const ProgramState& s = window->app().state();
    std::set<int> tens_of_degrees;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 4000 && tens_of_degrees.size() < 3) {
        QTest::qWait(100);  // the device's records arrive in real time
        const QImage shot = on_screen(dash);
        ASSERT_TRUE(rpm_needle_shown(shot, s.link.live, s.cal)) << s.link.live.rpm() << " rpm";
        const Gauge& rpm = dashboard_gauges()[0];
        tens_of_degrees.insert(static_cast<int>(
            needle_angle(gauge_value(rpm, s.link.live, s.cal), rpm.lo, rpm.hi) / 10));
    }
    EXPECT_GE(tens_of_degrees.size(), 3u) << "the needle moved with the engine";

    sim.stop();
    QTRY_COMPARE_WITH_TIMEOUT(window->live_panel()->upper_status(), QStringLiteral("Disconnected"),
                              2000);
    const QImage idle = on_screen(dash);
    EXPECT_EQ(pixels_near(idle, idle.rect(), Qt::red, 60), 0) << "no needle without live data";
}

}  // namespace
}  // namespace veloquin::testing
