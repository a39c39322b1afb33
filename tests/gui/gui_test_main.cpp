// The widget tests need one QApplication for the whole run, set up as the
// program sets up its own.

#include <gtest/gtest.h>

#include <QApplication>

#include "gui/program.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    veloquin::gui::choose_event_loop();
    QApplication app(argc, argv);
    veloquin::gui::apply_program_look();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
