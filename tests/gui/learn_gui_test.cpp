// "Learn from log..." on screen: the proposal over the map, Apply all as one
// undo step, the frames of what it changed.

#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>

#include "app/commands.h"
#include "calfile/calibration_file.h"
#include "gui/editor_widget.h"
#include "gui/learn_review_widget.h"
#include "gui/live_panel_widget.h"
#include "gui/target_afr_widget.h"
#include "tests/gui/gui_fixture.h"
#include "tests/learn/learn_logs.h"

namespace veloquin::testing {
namespace {

using gui::EditorWidget;
using gui::LearnReviewWidget;

QColor qcolor(Rgb c) {
    return {c.r, c.g, c.b};
}

class LearnGuiTest : public GuiTest {
  protected:
    // The program on a tuned calibration with a recorded drive loaded.
    void open_with_log() {
        ASSERT_TRUE(write_calibration_file(learning_calibration(), dir.path() / "workmap.cfg",
                                           Edition::full));
        const auto log = dir / "drive.log";
        write_drive_log(learning_calibration(), log);
        open();
        window->choices.push_back(log.string());
        action(QStringLiteral("Load Log File\tCtrl-L"))->trigger();
        settle();
        ASSERT_GT(window->app().state().log.count, 0);
    }
    QAction* action(const QString& text) {
        for (QAction* menu : window->menuBar()->actions()) {
            for (QAction* a : menu->menu()->actions()) {
                if (a->text() == text) return a;
            }
        }
        return nullptr;
    }
    // A cell the proposal moves by more than a few percent.
    std::pair<int, int> moved_cell() {
        const LearnReview& r = window->app().state().learn;
        for (int row = 0; row < kMapRows; ++row) {
            for (int col = 0; col < kMapCols; ++col) {
                const CellLearning& cell = r.result.proposal.at(row, col);
                if (cell.state != ProposalCell::proposed) continue;
                const double d = learn_change_percent(
                    cal(), MapId::map_2_maf, cal().cell(MapId::map_2_maf, row, col), cell.value);
                if (std::abs(d) > 3.0) return {row, col};
            }
        }
        return {-1, -1};
    }
};

TEST_F(LearnGuiTest, ProposalShowsOverTheMapAndApplyAllIsOneUndoableFramedStep) {
    open_with_log();
    ASSERT_NE(action(QStringLiteral("Show hit counts")), nullptr);
    action(QStringLiteral("Learn from log..."))->trigger();
    settle();
    LearnReviewWidget* review = window->learn_review();
    ASSERT_TRUE(review->isVisible());
    EditorWidget* editor = window->editor(EditorKind::map_to_maf);
    ASSERT_TRUE(editor->isVisible()) << "the learnt map's page is shown";
    const auto [row, col] = moved_cell();
    ASSERT_GE(row, 0);
    const CellLearning cell = window->app().state().learn.result.proposal.at(row, col);
    const int before = cal().cell(MapId::map_2_maf, row, col);
    const Rgb tint =
        learn_change_color(learn_change_percent(cal(), MapId::map_2_maf, before, cell.value));
    QImage shown = on_screen(editor);
    EXPECT_GT(pixels_near(shown, map_cell_box(row, col), qcolor(tint), 6), 100);

    QTest::mouseClick(review->apply_all(), Qt::LeftButton);
    settle();
    EXPECT_EQ(cal().cell(MapId::map_2_maf, row, col), cell.value);
    EXPECT_FALSE(review->isVisible()) << "nothing left to review";
    shown = on_screen(editor);
    EXPECT_LT(pixels_near(shown, map_cell_box(row, col), qcolor(tint), 6), 20);
    const QRect inside(map_cell_box(row, col).adjusted(-3, -3, 3, 3));
    EXPECT_GT(pixels_near(shown, inside, qcolor(colors::learnt_frame), 0), 20);
    EXPECT_EQ(window->app().menu_entry_state(cmd::undo)->text, "Undo Learn from log\tCtrl-Z");

    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(cal().cell(MapId::map_2_maf, row, col), before);
    shown = on_screen(editor);
    EXPECT_EQ(pixels_near(shown, inside, qcolor(colors::learnt_frame), 0), 0);
}

TEST_F(LearnGuiTest, HitCountsShadeTheCellsTheLogVisited) {
    open_with_log();
    press(Page::maf_emulation);
    action(QStringLiteral("Show hit counts"))->trigger();
    settle();
    const MapHitCounts& hits = window->app().state().learn.hits;
    const auto& maf = hits[static_cast<std::size_t>(MapId::map_2_maf)];
    const auto most = std::max_element(maf.begin(), maf.end()) - maf.begin();
    const int row = static_cast<int>(most) / kMapCols;
    const int col = static_cast<int>(most) % kMapCols;
    const QImage shown = on_screen(window->editor(EditorKind::map_to_maf));
    EXPECT_GT(pixels_near(shown, map_cell_box(row, col), qcolor(colors::learn_hits), 6), 100);
    EXPECT_EQ(pixels_near(shown, map_cell_box(23, 19), qcolor(colors::learn_hits), 6), 0);
    EXPECT_EQ(window->app().menu_entry_state(cmd::show_hit_counts)->text, "Hide hit counts");
}

// A target leaner than AFR protect allows is refused on the map; the Target
// AFR window's keys bring it back within the curve and the review follows.
TEST_F(LearnGuiTest, RefusedCellsShowAndTheTargetAfrWindowEditsWhatLearningAimsAt) {
    ASSERT_TRUE(write_target_afr(dir.path(), uniform_target_afr(160), nullptr));
    open_with_log();
    action(QStringLiteral("Learn from log..."))->trigger();
    settle();
    LearnReviewWidget* review = window->learn_review();
    review->map_choice()->setCurrentIndex(1);
    settle();
    const LearnReview& state = window->app().state().learn;
    ASSERT_GT(state.result.summary.refused_cells, 0);
    EXPECT_TRUE(review->summary()->text().contains(QStringLiteral("leaner than AFR protect")));
    const auto& cells = state.result.proposal.cells;
    const auto k =
        std::find_if(cells.begin(), cells.end(),
                     [](const CellLearning& c) { return c.state == ProposalCell::refused; }) -
        cells.begin();
    const int row = static_cast<int>(k) / kMapCols;
    const int col = static_cast<int>(k) % kMapCols;
    EditorWidget* fuel = window->editor(EditorKind::fuel_correction);
    const int w = 774 - 61;
    const int h = 670 - 65;
    const QRect cell(60 + (col * w) / 20 + w / 40 - 8, ((23 - row) * h) / 24 + h / 48 - 4, 16, 8);
    const QColor purple = qcolor(colors::learn_refused);
    EXPECT_GT(pixels_near(on_screen(fuel), cell, purple, 6), 30);

    action(QStringLiteral("Target AFR..."))->trigger();
    settle();
    gui::TargetAfrWidget* targets = review->target_afr_window();
    ASSERT_NE(targets, nullptr);
    ASSERT_TRUE(targets->isVisible());
    for (int i = 0; i < kMapRows - 1; ++i)
        QTest::keyClick(targets, Qt::Key_Up, Qt::ShiftModifier);
    for (int i = 0; i < kMapCols - 1; ++i)
        QTest::keyClick(targets, Qt::Key_Right, Qt::ShiftModifier);
    for (int i = 0; i < 20; ++i)
        QTest::keyClick(targets, Qt::Key_PageDown);
    settle();
    std::string error;
    EXPECT_EQ(parse_target_afr(read_file(dir / std::string(kTargetAfrFile)), error),
              uniform_target_afr(140));
    EXPECT_EQ(state.targets, uniform_target_afr(140));
    EXPECT_EQ(state.result.summary.refused_cells, 0);
    EXPECT_EQ(pixels_near(on_screen(fuel), cell, purple, 6), 0);
}

// The target table is edited as the maps are: a drag selects, a typed value
// fills the selection, text that is no number is refused with its reason, and
// Ctrl+Z takes the file and the screen back.
TEST_F(LearnGuiTest, TheTargetAfrWindowTakesTheMapsMouseTypingAndUndo) {
    open();
    action(QStringLiteral("Target AFR..."))->trigger();
    settle();
    gui::TargetAfrWidget* targets = window->learn_review()->target_afr_window();
    ASSERT_TRUE(targets != nullptr && QTest::qWaitForWindowExposed(targets));
    QWindow* tw = targets->windowHandle();
    const auto on_file = [&](int row, int col) {
        std::string error;
        const auto t = parse_target_afr(read_file(dir / std::string(kTargetAfrFile)), error);
        return t ? t->at(row, col) : 0.0;
    };
    const auto centre = [](int row, int col) {
        return QPoint(60 + (col * 713) / 20 + 713 / 40, ((23 - row) * 605) / 24 + 605 / 48);
    };
    const auto type = [tw](const char* text) {
        for (const char* c = text; *c != '\0'; ++c)
            QTest::keyClick(tw, *c);
        QTest::keyClick(tw, Qt::Key_Return);
        settle();
    };
    const QRect box(centre(4, 6) - QPoint(12, 6), QSize(24, 12));

    QTest::mousePress(tw, Qt::LeftButton, {}, centre(3, 4));
    QTest::mouseMove(tw, centre(4, 6));
    QTest::mouseRelease(tw, Qt::LeftButton, {}, centre(4, 6));
    const QImage selected = settled_on_screen(targets).copy(box);
    type("12,5");
    EXPECT_EQ(on_file(3, 4), 12.5);
    EXPECT_EQ(on_file(4, 6), 12.5);
    EXPECT_NE(settled_on_screen(targets).copy(box), selected);

    QTest::mouseDClick(tw, Qt::LeftButton, {}, centre(4, 6));
    type("abc");
    EXPECT_EQ(window->live_panel()->lower_status(),
              QStringLiteral("Target AFR: \"abc\" is not a number; the cells keep their values"));
    EXPECT_EQ(on_file(4, 6), 12.5);

    QTest::keyClick(tw, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(eventually([&] { return on_file(4, 6) == default_target_afr(cal()).at(4, 6); }));
    EXPECT_EQ(settled_on_screen(targets).copy(box), selected);
}

}  // namespace
}  // namespace veloquin::testing
