#include <QImage>
#include <QMenu>
#include <QTimer>
#include <cmath>

#include "app/commands.h"
#include "datalogs/log_viewer.h"
#include "gui/viewer_widgets.h"
#include "tests/datalogs/log_samples.h"
#include "tests/gui/gui_fixture.h"

namespace veloquin::testing {
namespace {

class ViewerWidgetTest : public GuiTest {
  protected:
    LogBuffer& log() { return window->app().state().log; }
    gui::LogViewerWidget* viewer() { return window->log_viewer(); }
    void show_viewer_with(int samples) {
        open();
        fill_numbered(log(), samples);
        log().mark_changed();
        press(Page::log_viewer);
    }
    // Runs `pick` on the popup the next right click opens, then closes it.
    void right_click_and(QPoint at, const std::function<void(QMenu*)>& pick) {
        QTimer::singleShot(0, [pick] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            pick(menu);
            menu->close();
        });
        QTest::mouseClick(viewer(), Qt::RightButton, Qt::NoModifier, at);
    }
};

TEST_F(ViewerWidgetTest, MouseMarksOnlyInsideThePlotAndCropKeepsTheMarkedRange) {
    show_viewer_with(1480);  // two samples per pixel of the 740-pixel plot
    QTest::mouseClick(viewer(), Qt::LeftButton, Qt::NoModifier, QPoint(50, 100));
    EXPECT_EQ(log().cursor_px + log().anchor_px, 0) << "x = 50 is the plot's left edge";

    QTest::mousePress(viewer(), Qt::LeftButton, Qt::NoModifier, QPoint(50 + 300, 100));
    QTest::mouseMove(viewer(), QPoint(50 + 100, 100));
    QTest::mouseRelease(viewer(), Qt::LeftButton, Qt::NoModifier, QPoint(50 + 100, 100));
    EXPECT_EQ(log().sel_first, 200);
    EXPECT_EQ(log().sel_last, 600);
    // The marked range is drawn inverted: the background there is black.
    const QImage image = render(viewer());
    EXPECT_EQ(image.pixelColor(50 + 180, 40), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(50 + 420, 40), QColor(Qt::white));

    window->app().command(cmd::crop_log_file);
    ASSERT_EQ(log().count, 401);
    EXPECT_EQ(log().samples[0].rpm, numbered_sample(200).rpm);
    EXPECT_EQ(log().samples[400].rpm, numbered_sample(600).rpm);
}

TEST_F(ViewerWidgetTest, MenuEntryTogglesItsBandAndItsCheckMark) {
    show_viewer_with(1480);
    ASSERT_FALSE(log().visible(LogChannel::throttle));
    const QImage before = render(viewer());
    right_click_and(QPoint(300, 300), [](QMenu* menu) {
        EXPECT_EQ(menu->objectName(), QStringLiteral("LogLocalMenu"));
        QAction* throttle = nullptr;
        for (QAction* a : menu->actions()) {
            if (a->text().startsWith(QStringLiteral("Throttle"))) throttle = a;
        }
        ASSERT_NE(throttle, nullptr);
        EXPECT_FALSE(throttle->isChecked());
        throttle->trigger();
    });
    EXPECT_TRUE(log().visible(LogChannel::throttle));
    EXPECT_NE(render(viewer()), before) << "a sixth band is drawn";
    right_click_and(QPoint(300, 300), [](QMenu* menu) {
        for (QAction* a : menu->actions()) {
            if (a->text().startsWith(QStringLiteral("Throttle"))) {
                EXPECT_TRUE(a->isChecked());
            }
        }
    });
}

TEST_F(ViewerWidgetTest, DecimatedDrawingPutsTheSamePixelsOnScreen) {
    open();
    // A noisy log, many samples per pixel column, every band shown.
    fill_numbered(log(), 12000);
    for (int i = 0; i < log().count; ++i) {
        LogSample& s = log().samples[static_cast<std::size_t>(i)];
        s.rpm = 3000 + static_cast<int>(2500 * std::sin(i / 700.0)) + (i * 7919) % 300;
        s.boost = static_cast<float>(std::sin(i / 90.0)) + 0.1F * static_cast<float>(i % 7);
    }
    log().flags.fill(true);
    log().set_visible(LogChannel::ls_switches, false);
    log().mark_changed();
    press(Page::log_viewer);

    const QImage decimated = render(viewer());
    viewer()->set_decimate(false);
    const QImage full = render(viewer());
    viewer()->set_decimate(true);

    const LogViewerLayout layout = log_viewer_layout(log(), viewer()->view());
    ASSERT_EQ(layout.band_count, 16);
    long band_pixels = 0;
    long differing = 0;
    for (int j = 0; j < layout.band_count; ++j) {
        const BandRect r = log_band_rect(layout, j);
        for (int y = r.y; y <= r.y + r.h; ++y) {
            for (int x = r.x; x <= r.x + r.w; ++x) {
                ++band_pixels;
                if (decimated.pixel(x, y) != full.pixel(x, y)) ++differing;
            }
        }
    }
    EXPECT_LT(static_cast<double>(differing), 0.005 * static_cast<double>(band_pixels))
        << differing << " of " << band_pixels << " band pixels differ";
}

TEST_F(ViewerWidgetTest, DashboardNeedlesFollowTheLiveRecord) {
    open();
    press(Page::dashboard);
    QWidget* dash = window->dashboard();
    const QImage idle = render(dash);
    window->app().state().link.live.set_word(2, 6000);  // engine speed
    const QImage revving = render(dash);
    EXPECT_NE(idle, revving);
    // Only the first gauge (engine speed) changed.
    int left = dash->width();
    int right = 0;
    for (int y = 0; y < dash->height(); ++y) {
        for (int x = 0; x < dash->width(); ++x) {
            if (idle.pixel(x, y) == revving.pixel(x, y)) continue;
            left = std::min(left, x);
            right = std::max(right, x);
        }
    }
    EXPECT_LT(right, dash->width() / 3);
}

}  // namespace
}  // namespace veloquin::testing
