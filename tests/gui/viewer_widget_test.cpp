#include <QImage>
#include <QMenu>
#include <QProgressDialog>
#include <QTimer>
#include <cmath>

#include "app/commands.h"
#include "datalogs/log_file.h"
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
        click(viewer(), at, Qt::RightButton);
    }
};

TEST_F(ViewerWidgetTest, MouseMarksOnlyInsideThePlotAndCropKeepsTheMarkedRange) {
    show_viewer_with(1480);  // two samples per pixel of the 740-pixel plot
    click(viewer(), QPoint(50, 100));
    EXPECT_EQ(log().cursor_px + log().anchor_px, 0) << "x = 50 is the plot's left edge";

    drag(viewer(), QPoint(50 + 300, 100), QPoint(50 + 100, 100));
    EXPECT_EQ(log().sel_first, 200);
    EXPECT_EQ(log().sel_last, 600);
    // The marked range is drawn inverted: the background there is black.
    const QImage image = on_screen(viewer());
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
    const QImage before = on_screen(viewer());
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
    EXPECT_NE(on_screen(viewer()), before) << "a sixth band is drawn at once";
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

    const QImage decimated = on_screen(viewer());
    viewer()->set_decimate(false);
    window->repaint_page();
    const QImage full = on_screen(viewer());
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

TEST_F(ViewerWidgetTest, EmptyViewerSaysWhatToDoAndALoadedLogShowsAtOnce) {
    open();
    press(Page::log_viewer);
    const QImage empty = on_screen(viewer());
    const std::string path = (dir.path() / "drive.log").string();
    fill_numbered(log(), 900);
    ASSERT_TRUE(window->app().save_log(path));
    log().count = 0;
    log().mark_changed();
    window->repaint_page();
    EXPECT_EQ(on_screen(viewer()), empty);

    window->choices.push_back(path);
    key(Qt::Key_L, Qt::ControlModifier);
    ASSERT_EQ(log().count, 900);
    EXPECT_NE(on_screen(viewer()), empty);
}

// A long file froze the window while it loaded, with no way out.
TEST_F(ViewerWidgetTest, ALongLoadShowsProgressKeepsPaintingAndCancelKeepsTheLog) {
    {
        LogBuffer long_log;
        fill_numbered(long_log, 400000);
        ASSERT_TRUE(log_write_file(long_log, dir / "long.log").ok);
    }
    show_viewer_with(1480);
    const QImage before = on_screen(viewer());
    bool progress_shown = false;
    bool painted = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || progress_shown) return;
        progress_shown = true;
        // The window answers meanwhile: a band switched on reaches the screen.
        log().set_visible(LogChannel::throttle, true);
        log().mark_changed();
        viewer()->update();
        painted = eventually([&] { return on_screen(viewer()) != before; });
        dialog->cancel();
    });
    poll.start(20);
    EXPECT_FALSE(window->app().load_log((dir / "long.log").string()));
    poll.stop();
    EXPECT_TRUE(progress_shown);
    EXPECT_TRUE(painted);
    EXPECT_EQ(log().count, 1480) << "the log from before stays";
    EXPECT_EQ(log().samples[1479].rpm, numbered_sample(1479).rpm);
}

}  // namespace
}  // namespace veloquin::testing
