#include <QImage>

#include "calibration/conversions.h"
#include "gui/editor_widget.h"
#include "tests/gui/gui_fixture.h"

namespace veloquin::testing {
namespace {

constexpr int kW = kMapGridW;
constexpr int kH = kMapGridH;

class EditorWidgetTest : public GuiTest {
  protected:
    gui::EditorWidget* map_editor() { return window->editor(EditorKind::map_to_maf); }
};

TEST_F(EditorWidgetTest, MapCellTextColourFollowsAutomapVisitAndSelection) {
    open();
    press(Page::maf_emulation);
    EditorState& s = window->app().state().editor;
    for (int c = 0; c < 4; ++c)
        cal().cell(MapId::map_2_maf, 0, c) = 0;
    s.automap_cell(0, 1).count = 3;
    s.visits.mark(0, 2);
    s.visits.mark(0, 3);
    s.cursor.map_cursor_row = s.cursor.map_anchor_row = 0;
    s.cursor.map_cursor_col = s.cursor.map_anchor_col = 3;
    window->repaint_page();
    const QImage image = on_screen(map_editor());
    // Text is antialiased against the grey box: each colour is told by the
    // pixels only it can produce.
    auto darkest = [&](int c) {
        int d = 255;
        const QRect r = map_cell_box(0, c);
        for (int y = r.top(); y <= r.bottom(); ++y) {
            for (int x = r.left(); x <= r.right(); ++x)
                d = std::min(d, image.pixelColor(x, y).value());
        }
        return d;
    };
    const QColor yellow(255, 255, 0), white(255, 255, 255);
    EXPECT_GE(darkest(0), 110) << "zero cell: grey text, nothing darker";
    EXPECT_LT(darkest(1), 50) << "counted zero cell: black text";
    EXPECT_GT(pixels_near(image, map_cell_box(0, 2), yellow), 5) << "visited cell: yellow";
    EXPECT_EQ(pixels_near(image, map_cell_box(0, 2), white), 0);
    EXPECT_GT(pixels_near(image, map_cell_box(0, 3), white), 5) << "selected cell: white";
    EXPECT_EQ(pixels_near(image, map_cell_box(0, 3), yellow), 0);
    EXPECT_GE(darkest(3), 110);
}

TEST_F(EditorWidgetTest, SpeedMarkerAt500RpmStandsOverTheMiddleOfColumnZero) {
    open();
    press(Page::maf_emulation);
    window->app().state().link.live.set_word(2, 500);
    window->repaint_page();
    const QImage image = on_screen(map_editor());
    int left = 10000, right = -1;
    for (int y = kH - 4; y < kH + 12; ++y) {
        for (int x = 60; x < 60 + kW / 10; ++x) {
            const QColor p = image.pixelColor(x, y);
            if (p.red() > 200 && p.green() < 80 && p.blue() < 80) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    ASSERT_GE(right, 0) << "no red marker under column 0";
    const int middle = kW / 40 + 60;
    EXPECT_NEAR((left + right) / 2.0, middle + 0.5, 2.0);
}

TEST_F(EditorWidgetTest, ClicksLeftOfTheGridSelectColumnZeroAndDoubleClicksOffItOpenNothing) {
    open();
    press(Page::maf_emulation);
    EditorCursor& c = window->app().state().editor.cursor;
    c.map_cursor_col = c.map_anchor_col = 9;
    const int row5_y = ((23 - 5) * kH) / 24 + 5;
    click(map_editor(), QPoint(60 - kW / 20 + 1, row5_y));
    EXPECT_EQ(c.map_cursor_col, 0);
    EXPECT_EQ(c.map_anchor_col, 0);
    EXPECT_EQ(c.map_cursor_row, 5);
    click(map_editor(), QPoint(60 + (7 * kW) / 20 + 3, row5_y), Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_EQ(c.map_cursor_col, 7);
    EXPECT_EQ(c.map_anchor_col, 0);
    // Shift+click selected columns 0 to 7 of row 5, and the screen shows it.
    const QImage selected = on_screen(map_editor());
    for (int col = 0; col <= 7; ++col)
        EXPECT_GT(pixels_near(selected, map_cell_box(5, col), Qt::white), 5) << col;
    EXPECT_EQ(pixels_near(selected, map_cell_box(5, 8), Qt::white), 0);
    QTest::mouseDClick(window->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                       in_window(map_editor(), QPoint(5, row5_y)));
    settle();
    EXPECT_EQ(window->cell_editor(), nullptr);
    QTest::mouseDClick(window->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                       in_window(map_editor(), QPoint(60 + (3 * kW) / 20 + 3, row5_y)));
    settle();
    ASSERT_NE(window->cell_editor(), nullptr);
    EXPECT_EQ(c.map_cursor_col, 3);
    EXPECT_EQ(window->cell_editor()->geometry().x(), (kW * 3) / 20 + 60);
}

TEST_F(EditorWidgetTest, AfrProtectPointOutsideItsRangeIsKeptWhenItsPageIsPainted) {
    open();
    cal().curve_word(cv::AFR_PROTECT + 2) = 160;
    press(Page::afr_protect);
    on_screen(window->editor(EditorKind::afr_protect));
    EXPECT_EQ(cal().curve_word(cv::AFR_PROTECT + 2), 160);
}

TEST_F(EditorWidgetTest, AutomappingButtonFollowsTheEditingState) {
    open();
    press(Page::maf_emulation);
    QPushButton* automap = map_editor()->automap_button();
    EXPECT_EQ(automap->text(), QStringLiteral("Start Automaping"));
    click(automap, automap->rect().center());
    EXPECT_TRUE(window->app().state().editor.automapping);
    EXPECT_EQ(automap->text(), QStringLiteral("Stop Automaping"));
    EXPECT_FALSE(map_editor()->trace_button()->isEnabled());
    press(Page::fuel_correction);
    EXPECT_FALSE(window->app().state().editor.automapping);
    EXPECT_EQ(automap->text(), QStringLiteral("Start Automaping"));
}

// What the tuner does reaches the screen on the next frame: keys, the mouse,
// in-place entries and value steps, each read back from the window.
TEST_F(EditorWidgetTest, ScreenFollowsKeysDragsEntriesAndValueSteps) {
    open();
    press(Page::maf_emulation);
    gui::EditorWidget* editor = map_editor();
    const QImage start = on_screen(editor);
    EXPECT_GT(pixels_near(start, map_cell_box(0, 0), Qt::white), 5) << "the cursor starts here";

    key(Qt::Key_Right);
    key(Qt::Key_Right);
    key(Qt::Key_Up);
    const QImage moved = on_screen(editor);
    EXPECT_GT(pixels_near(moved, map_cell_box(1, 2), Qt::white), 5) << "the cursor moved";
    EXPECT_EQ(pixels_near(moved, map_cell_box(0, 0), Qt::white), 0);

    key(Qt::Key_Equal);
    const QImage stepped = on_screen(editor);
    EXPECT_NE(stepped.copy(map_cell_box(1, 2)), moved.copy(map_cell_box(1, 2)))
        << "the cell's new value is shown";
    EXPECT_EQ(stepped.copy(map_cell_box(1, 3)), moved.copy(map_cell_box(1, 3)));

    drag(editor, map_cell_centre(4, 4), map_cell_centre(6, 7));
    const QImage dragged = on_screen(editor);
    for (int row = 4; row <= 6; ++row) {
        for (int col = 4; col <= 7; ++col)
            EXPECT_GT(pixels_near(dragged, map_cell_box(row, col), Qt::white), 5) << row << col;
    }
    EXPECT_EQ(pixels_near(dragged, map_cell_box(1, 2), Qt::white), 0);

    // An entry typed into the in-place editor, committed with Enter.
    click(editor, map_cell_centre(10, 10));
    const QImage before_entry = on_screen(editor);
    key(Qt::Key_3);
    ASSERT_NE(window->cell_editor(), nullptr);
    key(Qt::Key_Return);
    EXPECT_EQ(cal().cell(MapId::map_2_maf, 10, 10), volts_to_counts(3.0));
    EXPECT_NE(on_screen(editor).copy(map_cell_box(10, 10)),
              before_entry.copy(map_cell_box(10, 10)));
}

}  // namespace
}  // namespace veloquin::testing
