#pragma once
// A main window on the virtual X server in a fresh working folder, with the
// dialogs answered by the test instead of a person. Input goes through the
// window system's queue as a user's would, and what a test looks at is what
// the window system was given: the window as grabbed from the screen, never a
// widget painted afresh for the test (which would show the current state even
// where the screen was never updated).

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QWheelEvent>
#include <QWindow>
#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

#include "app/page_controls.h"
#include "device/port_table.h"
#include "devsim/simulator.h"
#include "gui/main_window.h"
#include "gui/parameter_pages.h"
#include "gui/screenshots.h"
#include "tests/e2e/device_turn.h"
#include "tests/support/pixels.h"
#include "tests/support/temp_dir.h"

namespace veloquin::testing {

// Runs what the queue holds: posted events, repaints and their flushes.
inline void settle() {
    for (int i = 0; i < 3; ++i) {
        QApplication::sendPostedEvents();
        QApplication::processEvents();
    }
}

using gui::on_screen;

// What the window system shows of `w` once it has settled, the event loop
// running between the grabs: the reference for a later "the screen shows
// that again".
inline QImage settled_on_screen(QWidget* w) {
    return settled([w] { return on_screen(w); },
                   [](std::chrono::milliseconds d) { QTest::qWait(static_cast<int>(d.count())); });
}

// A deadline in milliseconds: by default generous, for a state the program
// reaches in its own time; a protocol's own limit where one is given. Both
// stretch on slow builds.
inline int deadline_ms(int ms = 10000) {
    return ms * time_scale();
}

// Runs the event loop until `condition` holds; false when it still does not
// after `ms`. Qt's QTRY_ macros report to Qt's own test log, which a
// GoogleTest run never reads: there a timeout ends the test as passed.
inline bool eventually(const std::function<bool()>& condition, int ms = deadline_ms()) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() >= ms) return false;
        QTest::qWait(10);
    }
    return true;
}

// The MAF emulation editor's grid and the text box of one of its cells.
inline constexpr int kMapGridW = 774 - 61;
inline constexpr int kMapGridH = 670 - 185;
inline QRect map_cell_box(int row, int col) {
    return {((col + 1) * kMapGridW) / 20 + 27, ((23 - row) * kMapGridH) / 24 + 3, 30, 16};
}
inline QPoint map_cell_centre(int row, int col) {
    return {60 + (col * kMapGridW) / 20 + kMapGridW / 40, ((23 - row) * kMapGridH) / 24 + 10};
}

class TestWindow : public gui::MainWindow {
  public:
    using MainWindow::MainWindow;
    std::vector<FileDialogRequest> dialogs;
    std::deque<std::string> choices;
    std::vector<std::string> messages;
    std::optional<std::string> choose_file(const FileDialogRequest& request) override {
        dialogs.push_back(request);
        if (choices.empty()) return std::nullopt;
        std::string c = choices.front();
        choices.pop_front();
        return c;
    }
    MessageAnswer message_box(std::string_view text, std::string_view caption,
                              MessageButtons /*buttons*/) override {
        messages.push_back(std::string(caption) + ": " + std::string(text));
        return MessageAnswer::ok;
    }
    // A simulated device in the test's own process, whose lines wait for its
    // turns (tests/e2e/device_turn.h); none for a device that is slow on purpose.
    const devsim::Simulator* device = nullptr;
    SerialOpenResult open_serial(int port_number, TimeoutSet timeouts) override {
        SerialOpenResult opened = MainWindow::open_serial(port_number, timeouts);
        return device != nullptr ? taking_turns(std::move(opened), *device) : std::move(opened);
    }
};

class GuiTest : public ::testing::Test {
  protected:
    void open(Edition edition = Edition::full) {
        window = std::make_unique<TestWindow>(edition, ports);
        window->device = device;
        window->app().start(working_folders(base_folder(dir.path().string())), dir.path());
        window->create();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    void TearDown() override {
        if (window) window->close();
        QApplication::processEvents();
    }

    Calibration& cal() { return window->app().state().cal; }
    QWidget* control(Page page, const char* key) {
        return window->parameter_pages()->widget(control_index(page, key));
    }
    QLineEdit* field(Page page, const char* key) {
        return qobject_cast<QLineEdit*>(control(page, key));
    }
    // Typing into a field the way a tuner does: focus, select all, type.
    void type_into(Page page, const char* key, const char* text) {
        QLineEdit* f = field(page, key);
        f->setFocus();
        f->selectAll();
        type(text);
    }
    // Characters typed on the keyboard, to whatever has the focus.
    void type(const char* text) {
        for (const char* c = text; *c != '\0'; ++c)
            QTest::keyClick(window->windowHandle(), *c);
        settle();
    }
    void press(Page page) {
        click(window->nav_button(page), window->nav_button(page)->rect().center());
    }
    // A key as the window system delivers it, to whatever has the focus.
    void key(int qt_key, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::keyClick(window->windowHandle(), Qt::Key(qt_key), m);
        settle();
    }
    QPoint in_window(QWidget* w, QPoint p) const { return w->mapTo(window.get(), p); }
    void click(QWidget* w, QPoint p, Qt::MouseButton b = Qt::LeftButton,
               Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::mouseClick(window->windowHandle(), b, m, in_window(w, p));
        settle();
    }
    // Mouse wheel notches (negative: towards the user) over `at` in `w`.
    void wheel(QWidget* w, QPoint at, int notches, Qt::KeyboardModifiers m = Qt::NoModifier) {
        const QPointF local = in_window(w, at);
        QCoreApplication::postEvent(
            window->windowHandle(),
            new QWheelEvent(local, window->mapToGlobal(local), QPoint(), QPoint(0, 120 * notches),
                            Qt::NoButton, m, Qt::NoScrollPhase, false));
        settle();
    }
    // A left-button drag from `from` to `to`, both in `w`'s coordinates.
    void drag(QWidget* w, QPoint from, QPoint to) {
        QWindow* win = window->windowHandle();
        QTest::mousePress(win, Qt::LeftButton, Qt::NoModifier, in_window(w, from));
        QTest::mouseMove(win, in_window(w, (from + to) / 2));
        QTest::mouseMove(win, in_window(w, to));
        QTest::mouseRelease(win, Qt::LeftButton, Qt::NoModifier, in_window(w, to));
        settle();
    }

    TempDir dir;
    PortTable ports;
    const devsim::Simulator* device = nullptr;
    std::unique_ptr<TestWindow> window;
};

}  // namespace veloquin::testing
