#pragma once
// A main window on the offscreen platform in a fresh working folder, with
// the dialogs answered by the test instead of a person.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <deque>
#include <memory>
#include <optional>

#include "app/page_controls.h"
#include "device/port_table.h"
#include "gui/main_window.h"
#include "gui/parameter_pages.h"
#include "tests/support/temp_dir.h"

namespace veloquin::testing {

// A widget as it paints itself, at one image pixel per logical pixel.
inline QImage render(QWidget* w) {
    QImage image(w->size(), QImage::Format_RGB32);
    image.setDevicePixelRatio(1.0);
    w->render(&image);
    return image;
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
};

class GuiTest : public ::testing::Test {
  protected:
    void open(Edition edition = Edition::full) {
        window = std::make_unique<TestWindow>(edition, ports);
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
        QTest::keyClicks(f, text);
    }
    void press(Page page) { QTest::mouseClick(window->nav_button(page), Qt::LeftButton); }
    void key(int qt_key, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QWidget* target = QApplication::focusWidget();
        QTest::keyClick(target != nullptr ? target : window->surface(), Qt::Key(qt_key), m);
    }

    TempDir dir;
    PortTable ports;
    std::unique_ptr<TestWindow> window;
};

}  // namespace veloquin::testing
