#include <QApplication>
#include <QFileDialog>
#include <QImage>
#include <QListWidget>
#include <QMenuBar>
#include <QTimer>

#include "calfile/calibration_file.h"
#include "gui/differences_widget.h"
#include "gui/editor_widget.h"
#include "tests/gui/gui_fixture.h"

namespace veloquin::testing {
namespace {

const QColor kMark(colors::difference.r, colors::difference.g, colors::difference.b);

bool has_mark(const QImage& image, QRect r) {
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            if (image.pixelColor(x, y) == kMark) return true;
        }
    }
    return false;
}

class CompareGuiTest : public GuiTest {
  protected:
    // The file on disk, then the tuner's changes since: three cells and a field.
    void open_and_change() {
        open();
        cal().param(hw::MAP_BAR_LO) = -60;
        cal().param(hw::MAP_BAR_HI) = 150;
        file = (dir / "base.emu").string();
        ASSERT_TRUE(write_calibration_file(cal(), file, Edition::full));
        cal().cell(MapId::map_2_maf, 2, 3) = 2000;
        cal().cell(MapId::map_2_maf, 2, 4) = 2100;
        cal().cell(MapId::map_2_maf, 17, 11) = 3000;
        spd_in_file = cal().param(hw::SPD_DIV);
        cal().param(hw::SPD_DIV) = 77;
        window->app().fill_all_pages();
    }
    QAction* action(const QString& text) {
        for (QAction* menu : window->menuBar()->actions()) {
            for (QAction* a : menu->menu()->actions()) {
                if (a->text() == text) return a;
            }
        }
        return nullptr;
    }
    void compare() {
        window->choices.push_back(file);
        action(QStringLiteral("Compare with calibration..."))->trigger();
    }
    QImage map_editor_on_screen() { return on_screen(window->editor(EditorKind::map_to_maf)); }
    // The inside of cell (row, col) of MAPEDIT, clear of its grid lines.
    static QRect cell_inside(int row, int col) {
        const int w = 774 - 61;
        const int h = 670 - 185;
        const int left = (col * w) / 20 + 60;
        const int top = ((23 - row) * h) / 24;
        return QRect(QPoint(left + 1, top + 1),
                     QPoint(((col + 1) * w) / 20 + 60 - 1, ((24 - row) * h) / 24 - 1));
    }
    int row_of(const QString& start) {
        QListWidget* list = window->differences()->list();
        for (int i = 0; i < list->count(); ++i) {
            if (list->item(i)->text().startsWith(start)) return i;
        }
        return -1;
    }

    std::string file;
    int spd_in_file = 0;
};

// Every compare begins in the file dialog; one made afresh each time left its
// file system model behind (200 compares grew the program by 7.5 MB).
TEST_F(CompareGuiTest, TwentyComparesLeaveTheOneFileDialogOfTheFirst) {
    open_and_change();
    FileDialogRequest request{false, "Compare with calibration", {}, "", dir.path().string(), ""};
    for (int i = 0; i < 20; ++i) {
        QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
        EXPECT_FALSE(window->MainWindow::choose_file(request));
        settle();
    }
    EXPECT_EQ(window->findChildren<QFileDialog*>().size(), 1);
}

TEST_F(CompareGuiTest, MarksAreExactlyTheListedCellsAndStopRemovesEveryMark) {
    open_and_change();
    ASSERT_NE(action(QStringLiteral("Compare with last file")), nullptr);
    ASSERT_NE(action(QStringLiteral("Stop comparing")), nullptr);
    compare();
    const Comparison& c = window->app().state().comparison;
    ASSERT_TRUE(c.active);
    EXPECT_TRUE(window->differences()->isVisible());
    // Placed over or beside the main window, below its menu bar.
    const QRect list_frame = window->differences()->frameGeometry();
    EXPECT_TRUE(list_frame.intersects(window->frameGeometry()) ||
                list_frame.left() > window->frameGeometry().right());
    EXPECT_GE(list_frame.top(),
              window->menuBar()->mapToGlobal(QPoint(0, 0)).y() + window->menuBar()->height());
    ASSERT_EQ(window->differences()->list()->count(), 4);
    EXPECT_EQ(window->differences()->list()->item(0)->text(),
              QStringLiteral("SPD_DIV: %1 -> 77").arg(spd_in_file));

    press(Page::maf_emulation);
    const QImage marked = map_editor_on_screen();
    for (int r = 0; r < kMapRows; ++r) {
        for (int col = 0; col < kMapCols; ++col) {
            const bool listed =
                std::any_of(c.differences.begin(), c.differences.end(), [&](const auto& d) {
                    return d.kind == DifferenceKind::map_cell &&
                           d.section->map == MapId::map_2_maf && d.row == r && d.col == col;
                });
            EXPECT_EQ(has_mark(marked, cell_inside(r, col)), listed) << r << "," << col;
        }
    }
    const int spd = control_index(Page::parameters, "SPD_DIV");
    EXPECT_TRUE(window->parameter_pages()->marked(spd));
    EXPECT_EQ(window->parameter_pages()->widget(spd)->toolTip(),
              QStringLiteral("In base.emu: %1\nRange: 0 to 65535").arg(spd_in_file));

    action(QStringLiteral("Stop comparing"))->trigger();
    const QImage unmarked = map_editor_on_screen();
    EXPECT_FALSE(has_mark(unmarked, unmarked.rect()));
    EXPECT_FALSE(window->parameter_pages()->marked(spd));
    EXPECT_EQ(window->parameter_pages()->widget(spd)->toolTip(),
              QStringLiteral("Range: 0 to 65535"));
    EXPECT_FALSE(window->differences()->isVisible());
}

TEST_F(CompareGuiTest, DoubleClickOnALineShowsItsCellOrField) {
    open_and_change();
    compare();
    QListWidget* list = window->differences()->list();
    auto double_click = [&](int row) {
        ASSERT_GE(row, 0);
        const QPoint at =
            list->viewport()->mapTo(list->window(), list->visualItemRect(list->item(row)).center());
        // A real double click: its first press picks the line.
        QTest::mouseClick(list->window()->windowHandle(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->window()->windowHandle(), Qt::LeftButton, {}, at);
        settle();
    };
    double_click(row_of(QStringLiteral("MAP-2-MAF row 17")));
    EXPECT_EQ(window->app().state().main_page, Page::maf_emulation);
    EXPECT_TRUE(window->nav_button(Page::maf_emulation)->isChecked());
    EXPECT_EQ(window->app().state().editor.cursor.map_cursor_row, 17);
    EXPECT_EQ(window->app().state().editor.cursor.map_cursor_col, 11);

    double_click(row_of(QStringLiteral("SPD_DIV")));
    EXPECT_EQ(window->app().state().main_page, Page::parameters);
    EXPECT_EQ(QApplication::focusWidget(), control(Page::parameters, "SPD_DIV"));
}

}  // namespace
}  // namespace veloquin::testing
