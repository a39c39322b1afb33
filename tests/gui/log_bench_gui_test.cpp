// The log bench on screen: a histogram over the map it fills, applied after
// its review as one undo step.

#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>

#include "app/commands.h"
#include "calfile/calibration_file.h"
#include "gui/editor_widget.h"
#include "gui/histogram_widget.h"
#include "gui/log_bench.h"
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
