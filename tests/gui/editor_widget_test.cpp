#include <QImage>

#include "gui/editor_widget.h"
#include "tests/gui/gui_fixture.h"

namespace veloquin::testing {
namespace {

constexpr int kW = 774 - 61;  // MAPEDIT's grid
constexpr int kH = 670 - 185;

// Pixels in the rectangle within a small distance of the colour: text is
// antialiased, so only its core reaches the exact colour.
int pixels_near(const QImage& image, QRect r, QColor c, int tolerance = 24) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor p = image.pixelColor(x, y);
            if (std::abs(p.red() - c.red()) + std::abs(p.green() - c.green()) +
                    std::abs(p.blue() - c.blue()) <=
                tolerance) {
                ++n;
            }
        }
    }
    return n;
}

QRect map_cell_box(int row, int col) {
    return {((col + 1) * kW) / 20 + 27, ((23 - row) * kH) / 24 + 3, 30, 16};
}

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
    const QImage image = render(map_editor());
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
    const QImage image = render(map_editor());
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
    QTest::mouseClick(map_editor(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(60 - kW / 20 + 1, row5_y));
    EXPECT_EQ(c.map_cursor_col, 0);
    EXPECT_EQ(c.map_anchor_col, 0);
    EXPECT_EQ(c.map_cursor_row, 5);
    QTest::mouseClick(map_editor(), Qt::LeftButton, Qt::ShiftModifier,
                      QPoint(60 + (7 * kW) / 20 + 3, row5_y));
    EXPECT_EQ(c.map_cursor_col, 7);
    EXPECT_EQ(c.map_anchor_col, 0);
    QTest::mouseDClick(map_editor(), Qt::LeftButton, Qt::NoModifier, QPoint(5, row5_y));
    EXPECT_EQ(window->cell_editor(), nullptr);
    QTest::mouseDClick(map_editor(), Qt::LeftButton, Qt::NoModifier,
                       QPoint(60 + (3 * kW) / 20 + 3, row5_y));
    ASSERT_NE(window->cell_editor(), nullptr);
    EXPECT_EQ(c.map_cursor_col, 3);
    EXPECT_EQ(window->cell_editor()->geometry().x(), (kW * 3) / 20 + 60);
}

TEST_F(EditorWidgetTest, AfrProtectPointOutsideItsRangeIsRepairedWhenItsPageIsPainted) {
    open();
    cal().curve_word(cv::AFR_PROTECT + 2) = 160;
    press(Page::afr_protect);
    render(window->editor(EditorKind::afr_protect));
    EXPECT_EQ(cal().curve_word(cv::AFR_PROTECT + 2), 147);
}

TEST_F(EditorWidgetTest, AutomappingButtonFollowsTheEditingState) {
    open();
    press(Page::maf_emulation);
    QPushButton* automap = map_editor()->automap_button();
    EXPECT_EQ(automap->text(), QStringLiteral("Start Automaping"));
    QTest::mouseClick(automap, Qt::LeftButton);
    EXPECT_TRUE(window->app().state().editor.automapping);
    EXPECT_EQ(automap->text(), QStringLiteral("Stop Automaping"));
    EXPECT_FALSE(map_editor()->trace_button()->isEnabled());
    press(Page::fuel_correction);
    EXPECT_FALSE(window->app().state().editor.automapping);
    EXPECT_EQ(automap->text(), QStringLiteral("Start Automaping"));
}

}  // namespace
}  // namespace veloquin::testing
