// A log from another tool opened with "Load Log File": a column whose name
// the program does not know is assigned in the column dialog once; the next
// log with the same header opens without asking.

#include <QComboBox>
#include <QDialogButtonBox>
#include <QTimer>

#include "gui/column_dialog.h"
#include "tests/gui/gui_fixture.h"

namespace veloquin::testing {
namespace {

TEST_F(GuiTest, UnknownLogColumnIsAssignedOnceAndRememberedForItsHeader) {
    open();
    const std::string header = "Time (ms);Engine Speed;Ladedruck (psi)\n";
    write_file(dir / "a.csv", header + "0;1000;14,5038\n20;2000;29,0075\n");
    write_file(dir / "b.csv", header + "0;3000;7,2519\n");

    int dialogs = 0;
    QStringList columns;
    QImage shown;
    // Answers the column dialog whenever one is up; it outlives neither load.
    QTimer answer;
    answer.setInterval(50);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<gui::ColumnDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible()) return;
        ++dialogs;
        shown = on_screen(dialog);
        for (const QComboBox* box : dialog->boxes())
            columns << box->currentText();
        QComboBox* box = dialog->boxes().at(0);
        box->setCurrentIndex(box->findText(QStringLiteral("BOOST (bar)")));
        QTest::mouseClick(dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok),
                          Qt::LeftButton);
    });
    answer.start();

    const LogBuffer& log = window->app().state().log;
    window->choices = {(dir / "a.csv").string()};
    key(Qt::Key_L, Qt::ControlModifier);
    EXPECT_EQ(dialogs, 1);
    EXPECT_FALSE(shown.isNull());
    EXPECT_EQ(columns, QStringList{QStringLiteral("Ignore")});
    ASSERT_EQ(log.count, 2);
    EXPECT_EQ(log.samples[1].rpm, 2000);
    EXPECT_NEAR(log.samples[1].boost, 2.0F, 1e-3F);
    EXPECT_TRUE(log.has_times);
    EXPECT_EQ(log.samples[1].time_ms, 20U);

    window->choices = {(dir / "b.csv").string()};
    key(Qt::Key_L, Qt::ControlModifier);
    QTest::qWait(200);  // time for the timer to find a dialog, were one shown
    EXPECT_EQ(dialogs, 1);
    ASSERT_EQ(log.count, 1);
    EXPECT_NEAR(log.samples[0].boost, 0.5F, 1e-3F);
}

}  // namespace
}  // namespace veloquin::testing
