#include <QImage>
#include <QWheelEvent>
#include <cstdlib>

#include "app/commands.h"
#include "datalogs/log_zoom.h"
#include "gui/viewer_widgets.h"
#include "tests/datalogs/log_samples.h"
#include "tests/gui/gui_fixture.h"

namespace veloquin::testing {
namespace {

class ZoomedViewerTest : public GuiTest {
  protected:
    LogBuffer& log() { return window->app().state().log; }
    gui::LogViewerWidget* viewer() { return window->log_viewer(); }
    SampleRange shown() { return shown_range(viewer()->view(), log().count); }
    void wheel(int x, int notches, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        GuiTest::wheel(viewer(), QPoint(x, 100), notches, modifiers);
    }
    void drag(Qt::MouseButton button, int from_x, int to_x) {
        QWindow* win = window->windowHandle();
        QTest::mousePress(win, button, Qt::NoModifier, in_window(viewer(), QPoint(from_x, 100)));
        QTest::mouseMove(win, in_window(viewer(), QPoint(to_x, 100)));
        QTest::mouseRelease(win, button, Qt::NoModifier, in_window(viewer(), QPoint(to_x, 100)));
        settle();
    }
    // The sample a click at client x finds.
    int sample_under(int x) {
        const SampleRange r = shown();
        return r.first + (x - kLogPlotLeft) * r.count / log_plot_width(viewer()->view());
    }
};

// Also writes docs/screenshots/log-viewer-zoomed.png when run with
// VELOQUIN_UPDATE_SCREENSHOTS=1.
TEST_F(ZoomedViewerTest, WheelZoomsAroundThePointerShiftWheelPansAndHomeRestoresTheWholeLog) {
    open();
    const char* source_dir = std::getenv("VELOQUIN_SOURCE_DIR");
    ASSERT_NE(source_dir, nullptr);
    const std::string source = source_dir;
    ASSERT_TRUE(window->app().load_log(source + "/docs/samples/pull.mdl"));
    drag(Qt::LeftButton, 50 + 578, 50 + 586);  // a marked range the zoom must not move
    const QImage whole = settled_on_screen(viewer());

    const int x = 50 + 590;
    const int pinned = sample_under(x);
    for (int i = 0; i < 10; ++i)
        wheel(x, 1);
    EXPECT_EQ(shown().count, 150);
    EXPECT_EQ(sample_under(x), pinned);
    EXPECT_NE(on_screen(viewer()), whole);

    if (const char* update = std::getenv("VELOQUIN_UPDATE_SCREENSHOTS");
        update != nullptr && std::string(update) == "1") {
        const QImage shot = on_screen(window->surface());
        EXPECT_TRUE(shot.save(
            QString::fromStdString(source + "/docs/screenshots/log-viewer-zoomed.png"), "PNG"));
    }

    const SampleRange zoomed = shown();
    wheel(x, 1, Qt::ShiftModifier);  // a tenth of the plot back in time
    EXPECT_EQ(shown().count, zoomed.count);
    EXPECT_LT(shown().first, zoomed.first);

    key(Qt::Key_Home);
    EXPECT_EQ(shown().count, log().count);
    EXPECT_EQ(on_screen(viewer()), whole) << "Home shows the whole log at once";
}

TEST_F(ZoomedViewerTest, MiddleDragPansAndCropInTheZoomedViewKeepsTheMarkedSamples) {
    open();
    fill_numbered(log(), 6000);
    log().mark_changed();
    press(Page::log_viewer);
    for (int i = 0; i < 10; ++i)
        wheel(50 + 370, 1);
    const SampleRange zoomed = shown();
    ASSERT_EQ(zoomed.count, 644);
    drag(Qt::MiddleButton, 50 + 400, 50 + 300);  // the curves follow the mouse to the left
    EXPECT_EQ(shown().first, zoomed.first + 87);
    EXPECT_EQ(viewer()->cursor().shape(), Qt::ArrowCursor);

    drag(Qt::LeftButton, 50 + 100, 50 + 500);
    const int first = sample_under(50 + 100);
    const int last = sample_under(50 + 500);
    EXPECT_EQ(log().sel_first, first);
    EXPECT_EQ(log().sel_last, last);
    window->app().command(cmd::crop_log_file);
    ASSERT_EQ(log().count, last - first + 1);
    EXPECT_EQ(log().samples[0].rpm, numbered_sample(first).rpm);
    EXPECT_EQ(log().samples[static_cast<std::size_t>(last - first)].rpm, numbered_sample(last).rpm);
    EXPECT_EQ(shown().count, log().count) << "the cropped log is shown whole";
}

}  // namespace
}  // namespace veloquin::testing
