// The program against the simulated device on a pseudo-terminal, through the
// real serial code and the real event loop.

#include <QElapsedTimer>
#include <QTimer>
#include <filesystem>
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
    explicit DeviceGuiTest(int reply_byte_gap_ms = 0) : sim(options(reply_byte_gap_ms)) {
        if (reply_byte_gap_ms == 0) device = &sim;
    }
    void SetUp() override {
        ASSERT_TRUE(sim.start());
        ports.add_explicit(sim.slave_path());
    }
    void TearDown() override {
        GuiTest::TearDown();
        sim.stop();
    }
    static devsim::SimulatorOptions options(int reply_byte_gap_ms) {
        devsim::SimulatorOptions o;
        o.start_at_ms = 6000;  // the engine pulls through the gears from the start
        o.reply_byte_gap_ms = reply_byte_gap_ms;
        return o;
    }
    devsim::Simulator sim;
};

// A device whose reply bytes come 5 ms apart: a download takes half a minute.
class SlowDeviceGuiTest : public DeviceGuiTest {
  protected:
    SlowDeviceGuiTest() : DeviceGuiTest(5) {}
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
    ASSERT_TRUE(
        eventually([&] { return window->windowTitle().contains("KVX serial# 01020304050607"); },
                   deadline_ms()));
    ASSERT_TRUE(
        eventually([&] { return window->live_panel()->value_text(0) != QStringLiteral("n/a"); },
                   deadline_ms()));
    EXPECT_EQ(window->live_panel()->upper_status(), QStringLiteral("connected"));
    const QString rpm = window->live_panel()->value_text(0);
    ASSERT_TRUE(
        eventually([&] { return window->live_panel()->value_text(0) != rpm; }, deadline_ms()));

    const int old_speed = cal().param(hw::SPD_DIV);
    type_into(Page::parameters, "SPD_DIV", "157");
    key(Qt::Key_Return);  // a field goes in when it is finished
    ASSERT_EQ(cal().param(hw::SPD_DIV), 157);
    ASSERT_TRUE(
        eventually([&] { return sim.store().header_word(hw::SPD_DIV) == 157; }, deadline_ms(5000)))
        << sim.store().header_word(hw::SPD_DIV);

    // An undo is an edit like any other: the device follows it.
    key(Qt::Key_Z, Qt::ControlModifier);
    ASSERT_EQ(cal().param(hw::SPD_DIV), old_speed);
    ASSERT_TRUE(eventually([&] { return sim.store().header_word(hw::SPD_DIV) == old_speed; },
                           deadline_ms(5000)))
        << sim.store().header_word(hw::SPD_DIV);

    sim.stop();
    ASSERT_TRUE(eventually(
        [&] { return window->live_panel()->upper_status() == QStringLiteral("Disconnected"); },
        deadline_ms()))
        << window->live_panel()->upper_status().toStdString();
    EXPECT_TRUE(window->connect_button()->isEnabled());
    EXPECT_EQ(window->live_panel()->value_text(0), QStringLiteral("n/a"));
}

TEST_F(DeviceGuiTest, DashboardNeedlesFollowTheLiveRecordsAndRestWithoutThem) {
    open();
    ASSERT_TRUE(eventually([&] { return window->app().state().link.connected; }, deadline_ms()));
    press(Page::dashboard);
    QWidget* dash = window->dashboard();
    const ProgramState& s = window->app().state();
    std::set<int> tens_of_degrees;
    QElapsedTimer clock;
    clock.start();
    // The simulated engine moves on by one poll period per record asked for,
    // so a busy machine that polls less often sees the needle move slower.
    while (clock.elapsed() < deadline_ms(30000) && tens_of_degrees.size() < 3) {
        QTest::qWait(100);
        const QImage shot = on_screen(dash);
        ASSERT_TRUE(rpm_needle_shown(shot, s.link.live, s.cal)) << s.link.live.rpm() << " rpm";
        const Gauge& rpm = dashboard_gauges()[0];
        tens_of_degrees.insert(static_cast<int>(
            needle_angle(gauge_value(rpm, s.link.live, s.cal), rpm.lo, rpm.hi) / 10));
    }
    EXPECT_GE(tens_of_degrees.size(), 3u) << "the needle moved with the engine";

    sim.stop();
    ASSERT_TRUE(eventually(
        [&] { return window->live_panel()->upper_status() == QStringLiteral("Disconnected"); },
        deadline_ms()))
        << window->live_panel()->upper_status().toStdString();
    const QImage idle = on_screen(dash);
    EXPECT_EQ(pixels_near(idle, idle.rect(), Qt::red, 60), 0) << "no needle without live data";
}

// The recording runs from the event loop: the window paints the streamed
// records and switches pages meanwhile, and one short Enter ends it.
TEST_F(DeviceGuiTest, RecordingLeavesTheWindowFreeAndOneShortEnterEndsIt) {
    open();
    ASSERT_TRUE(eventually([&] { return window->app().state().link.connected; }, deadline_ms()));
    press(Page::dashboard);
    key(Qt::Key_F7);
    ASSERT_TRUE(window->app().recording());
    const long long frames = window->frames_painted();
    EXPECT_TRUE(eventually([&] { return window->frames_painted() > frames + 5; }, deadline_ms()))
        << "the dashboard moves while recording";
    EXPECT_TRUE(
        rpm_needle_shown(on_screen(window->dashboard()), window->app().state().link.live, cal()));
    press(Page::log_viewer);
    EXPECT_TRUE(window->log_viewer()->isVisible());
    EXPECT_TRUE(window->app().recording());
    const QImage growing = on_screen(window->log_viewer());
    EXPECT_TRUE(
        eventually([&] { return on_screen(window->log_viewer()) != growing; }, deadline_ms()))
        << "the viewer grows with the log";

    QElapsedTimer stop;
    stop.start();
    key(Qt::Key_Return);
    EXPECT_FALSE(window->app().recording());
    // At once: well inside the 800 ms of silence that would end it by itself.
    EXPECT_LT(stop.elapsed(), 300);
    EXPECT_GT(window->app().state().log.count, 50);
    EXPECT_TRUE(std::filesystem::exists(window->app().last_recording().file));
    EXPECT_FALSE(sim.streaming());
}

// Half a minute of download: the window keeps painting, a page switch is
// done at once, any other input is refused with a word, and closing ends
// the download within a second, writing workmap.cfg.
TEST_F(SlowDeviceGuiTest, SlowDownloadLeavesTheWindowAnsweringAndClosingEndsIt) {
    // The device keeps quiet until the window is up; then Connect starts the
    // search, and the download runs from the poll like any other.
    sim.set_silent(true);
    open();
    sim.set_silent(false);
    window->run_guarded([this] { window->app().connect_pressed(); });
    QElapsedTimer clock;
    clock.start();
    qint64 switch_ms = -1;
    qint64 refused_ms = -1;
    qint64 close_asked_ms = -1;
    // Well into the download (the identification and the header have come),
    // looked for from the event loop the download keeps running.
    QTimer during;
    during.setInterval(50);
    QObject::connect(&during, &QTimer::timeout, window.get(), [&] {
        if (!window->app().busy() || sim.log().codes().size() < 3) return;
        during.stop();
        const qint64 before = clock.elapsed();
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                          in_window(window->nav_button(Page::maf_emulation),
                                    window->nav_button(Page::maf_emulation)->rect().center()));
        if (window->page_widget(Page::maf_emulation)->isVisible())
            switch_ms = clock.elapsed() - before;
        QTest::keyClick(window->windowHandle(), Qt::Key_Plus);
        if (window->live_panel()->lower_status().startsWith(QStringLiteral("Busy")))
            refused_ms = clock.elapsed() - before;
        close_asked_ms = clock.elapsed();
        window->close();
    });
    during.start();
    ASSERT_TRUE(eventually([&] { return close_asked_ms >= 0 && !window->isVisible(); }));
    EXPECT_GE(switch_ms, 0) << "the page switch was not done during the download";
    EXPECT_LT(switch_ms, 100);
    EXPECT_GE(refused_ms, 0) << "a key during the download was not refused at once";
    EXPECT_LT(clock.elapsed() - close_asked_ms, 1000) << "closing waited for the download";
    EXPECT_TRUE(std::filesystem::exists(dir / "workmap.cfg"));
}

}  // namespace
}  // namespace veloquin::testing
