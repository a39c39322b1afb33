// An alarm on the real display: devsim's overboost event turns the boost
// gauge and the live value red while the alarm holds, and back after it.

#include "app/history.h"
#include "datalogs/dashboard.h"
#include "devsim/simulator.h"
#include "gui/live_panel_widget.h"
#include "gui/viewer_widgets.h"
#include "tests/gui/gui_fixture.h"

namespace veloquin::testing {
namespace {

class AlarmGuiTest : public GuiTest {
  protected:
    AlarmGuiTest() : sim(options()) {}
    void SetUp() override {
        write_file(dir / "alarm-rules.txt",
                   "Overboost | on | BOOST > map-top | always | hold 100 ms | hysteresis 0.3\n");
        ASSERT_TRUE(sim.start());
        ports.add_explicit(sim.slave_path());
    }
    void TearDown() override {
        GuiTest::TearDown();
        sim.stop();
    }
    static devsim::SimulatorOptions options() {
        devsim::SimulatorOptions o;
        std::string error;
        o.events.push_back(*devsim::parse_engine_event("overboost@2s:2s", error));
        return o;
    }
    devsim::Simulator sim;
};

// Pixels of the square's corner, outside the dial, in either shade of the alarm's red.
int red_pixels(const QImage& shot, QRect corner) {
    return pixels_near(shot, corner, QColor(kAlarmRed.r, kAlarmRed.g, kAlarmRed.b), 30) +
           pixels_near(shot, corner,
                       QColor(kAlarmBrightRed.r, kAlarmBrightRed.g, kAlarmBrightRed.b), 30);
}

TEST_F(AlarmGuiTest, BoostGaugeAndLiveValueAreRedOnScreenWhileTheAlarmHoldsAndNotAfter) {
    open();
    ASSERT_TRUE(
        eventually([&] { return window->app().state().link.connected; }, deadline_ms(2000)));
    press(Page::dashboard);
    const Gauge& boost = dashboard_gauges()[1];
    const QRect corner(boost.x + 2, boost.y + 2, 12, 12);
    const QRect boost_value(100, 8 + 20 * 1, 70, 18);  // "MAP:" in the live panel
    EXPECT_EQ(red_pixels(on_screen(window->dashboard()), corner), 0);

    ASSERT_TRUE(eventually([&] { return window->app().alarm_shown(LogChannel::boost); },
                           deadline_ms(5000)));
    const CalibrationWords words = calibration_words(cal());
    ASSERT_TRUE(
        eventually([&] { return red_pixels(on_screen(window->dashboard()), corner) == 144; },
                   deadline_ms(1000)));
    // The live panel is a widget of its own: it reaches the screen on its own turn.
    EXPECT_TRUE(
        eventually([&] { return red_pixels(on_screen(window->live_panel()), boost_value) > 100; },
                   deadline_ms(1000)));
    EXPECT_TRUE(window->live_panel()->lower_status().startsWith("Overboost: "));
    EXPECT_EQ(red_pixels(on_screen(window->dashboard()),
                         QRect(dashboard_gauges()[0].x + 2, dashboard_gauges()[0].y + 2, 12, 12)),
              0)
        << "only the gauge of the alarm's channel";

    ASSERT_TRUE(eventually([&] { return !window->app().alarm_shown(LogChannel::boost); },
                           deadline_ms(5000)));
    ASSERT_TRUE(eventually([&] { return red_pixels(on_screen(window->dashboard()), corner) == 0; },
                           deadline_ms(3000)));
    EXPECT_TRUE(
        eventually([&] { return red_pixels(on_screen(window->live_panel()), boost_value) == 0; },
                   deadline_ms(3000)));
    EXPECT_EQ(calibration_words(cal()), words) << "an alarm changes nothing it could send";
}

}  // namespace
}  // namespace veloquin::testing
