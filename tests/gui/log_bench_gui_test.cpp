// The log bench on screen: a histogram over the map it fills, applied after
// its review as one undo step.

#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <cstring>

#include "app/commands.h"
#include "calfile/calibration_file.h"
#include "gui/editor_widget.h"
#include "gui/histogram_widget.h"
#include "gui/log_bench.h"
#include "gui/scatter_widget.h"
#include "gui/viewer_widgets.h"
#include "tests/gui/gui_fixture.h"
#include "tests/learn/learn_logs.h"

namespace veloquin::testing {
namespace {

QColor qcolor(Rgb c) {
    return {c.r, c.g, c.b};
}

class LogBenchGuiTest : public GuiTest {
  protected:
    void open_with_log() {
        ASSERT_TRUE(write_calibration_file(learning_calibration(), dir.path() / "workmap.cfg",
                                           Edition::full));
        const auto log = dir / "drive.log";
        write_drive_log(learning_calibration(), log);
        open();
        window->choices.push_back(log.string());
        trigger(QStringLiteral("Load Log File\tCtrl-L"));
        ASSERT_GT(window->app().state().log.count, 0);
    }
    void trigger(const QString& text) {
        for (QAction* menu : window->menuBar()->actions()) {
            for (QAction* a : menu->menu()->actions()) {
                if (a->text() == text) a->trigger();
            }
        }
        settle();
    }
};

TEST_F(LogBenchGuiTest, AfrErrorHistogramAddedOntoTheFuelMapThenUndoneGivesTheMapBack) {
    open_with_log();
    const Map before = cal().map(MapId::fuel_correction);
    trigger(QStringLiteral("Log histogram..."));
    gui::HistogramWidget* histogram = window->log_bench()->histogram();
    ASSERT_TRUE(histogram->isVisible());
    gui::EditorWidget* editor = window->editor(EditorKind::fuel_correction);
    ASSERT_TRUE(editor->isVisible()) << "the histogram's map is shown";
    const HistogramReview& review = window->app().state().histogram;
    ASSERT_TRUE(review.result.ok) << review.error;
    ASSERT_EQ(histogram->channel_choice()->currentData().toString(), QStringLiteral("AFR error %"));

    // The lean cells stand out in the scale's hot end, the rest in its cold end.
    const MapOverlayCell* hot = nullptr;
    for (const MapOverlayCell& cell : review.overlay.cells) {
        if (cell.shown && !cell.pale && cell.box == histogram_scale_color(1.0)) hot = &cell;
    }
    ASSERT_NE(hot, nullptr);
    EXPECT_GT(pixels_near(on_screen(editor), editor->rect(), qcolor(hot->box), 4), 300);

    ASSERT_TRUE(histogram->apply_button()->isVisible());
    EXPECT_FALSE(histogram->apply_button()->isEnabled()) << "applying waits for the review";
    QTest::mouseClick(histogram->review_button(), Qt::LeftButton);
    settle();
    ASSERT_TRUE(review.reviewing);
    EXPECT_EQ(cal().map(MapId::fuel_correction), before) << "a review changes nothing";
    Rgb richer = colors::black;
    for (int k = 0; k < kMapCells; ++k) {
        const CellLearning& cell = review.proposal.cells[static_cast<std::size_t>(k)];
        const int word = before[static_cast<std::size_t>(k)];
        if (cell.state == ProposalCell::proposed && cell.value > word)
            richer = learn_change_color(cell.value - word);
    }
    EXPECT_GT(pixels_near(on_screen(editor), editor->rect(), qcolor(richer), 4), 100)
        << "the cells that would get more fuel show as learning shows them";
    QTest::mouseClick(histogram->apply_button(), Qt::LeftButton);
    settle();
    int changed = 0;
    for (std::size_t k = 0; k < before.size(); ++k)
        changed += cal().map(MapId::fuel_correction)[k] != before[k] ? 1 : 0;
    EXPECT_GE(changed, 5);
    EXPECT_EQ(window->app().menu_entry_state(cmd::undo)->text, "Undo Apply histogram\tCtrl-Z");

    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(cal().map(MapId::fuel_correction), before);

    // Where the units do not fit, applying is not offered and the window says why.
    histogram->map_choice()->setCurrentIndex(static_cast<int>(MapId::boost_duty));
    settle();
    EXPECT_FALSE(histogram->review_button()->isEnabled());
    EXPECT_TRUE(histogram->refusal()->text().contains(QStringLiteral("units do not match")));
}

}  // namespace
}  // namespace veloquin::testing

namespace veloquin::testing {
namespace {

int highlight_pixels(QWidget* w) {
    return pixels_near(on_screen(w), w->rect(), qcolor(kScatterHighlight), 6);
}

TEST_F(LogBenchGuiTest, ScatterSelectionIsMarkedInTheBandsAndAViewerRangeInTheScatter) {
    open_with_log();
    trigger(QStringLiteral("Scatter"));
    gui::ScatterWidget* scatter = window->log_bench()->scatter();
    ASSERT_TRUE(scatter->isVisible());
    gui::ScatterPlot* plot = scatter->plot();
    ASSERT_GT(window->app().state().scatter.points.x.size(), 1000u);
    EXPECT_EQ(highlight_pixels(window->log_viewer()), 0);

    // The right half of the plot: the points of higher rpm.
    const PlotRect area = scatter_plot_rect(plot->width(), plot->height());
    const QPoint from(area.x + area.w / 2, area.y + 1),
        to(area.x + area.w - 1, area.y + area.h - 1);
    QWindow* tool = scatter->windowHandle();
    QTest::mousePress(tool, Qt::LeftButton, Qt::NoModifier, plot->mapTo(scatter, from));
    QTest::mouseMove(tool, plot->mapTo(scatter, (from + to) / 2));
    QTest::mouseMove(tool, plot->mapTo(scatter, to));
    QTest::mouseRelease(tool, Qt::LeftButton, Qt::NoModifier, plot->mapTo(scatter, to));
    settle();
    const auto& selected = window->app().state().scatter.selected;
    ASSERT_GT(selected.size(), 100u);
    ASSERT_TRUE(window->log_viewer()->isVisible()) << "the marks are shown where they are";
    EXPECT_GT(highlight_pixels(window->log_viewer()), 200);

    window->app().command(cmd::whole_log_view);
    EXPECT_EQ(highlight_pixels(plot), 0) << "no range marked in the viewer yet";
    drag(window->log_viewer(), {100, 60}, {300, 60});
    EXPECT_GT(highlight_pixels(plot), 20);
}

TEST_F(LogBenchGuiTest, SecondLogShowsInItsColourMovesWithTheOffsetAndLeavesTheFirstAlone) {
    open_with_log();
    const LogBuffer& first = window->app().state().log;
    const std::vector<LogSample> before(first.valid().begin(), first.valid().end());
    window->choices.push_back((dir / "drive.log").string());
    trigger(QStringLiteral("Compare with log..."));
    const LogComparison& c = window->app().state().log_comparison;
    ASSERT_TRUE(c.active);
    gui::LogViewerWidget* viewer = window->log_viewer();
    const QColor second = qcolor(kSecondLogColor);
    const QImage aligned = on_screen(viewer);
    EXPECT_GT(pixels_near(aligned, viewer->rect(), second, 6), 300);

    key(Qt::Key_Right, Qt::ControlModifier);
    EXPECT_GT(c.offset, 0);
    const QImage moved = on_screen(viewer);
    EXPECT_NE(moved, aligned) << "the second log's curves moved with the offset";

    const int keyed = c.offset;
    QWindow* win = window->windowHandle();
    QTest::mousePress(win, Qt::LeftButton, Qt::ControlModifier, in_window(viewer, {200, 60}));
    QTest::mouseMove(win, in_window(viewer, {260, 60}));
    QTest::mouseRelease(win, Qt::LeftButton, Qt::ControlModifier, in_window(viewer, {260, 60}));
    settle();
    EXPECT_GT(c.offset, keyed);

    trigger(QStringLiteral("Stop comparing logs"));
    EXPECT_EQ(pixels_near(on_screen(viewer), viewer->rect(), second, 6), 0);
    ASSERT_EQ(first.count, static_cast<int>(before.size()));
    EXPECT_EQ(0,
              std::memcmp(first.samples.data(), before.data(), before.size() * sizeof(LogSample)))
        << "the second log never changes the first";
}

}  // namespace
}  // namespace veloquin::testing
