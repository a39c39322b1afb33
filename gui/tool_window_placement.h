#pragma once
// Where a tool window of the main window (Differences, Learn from log) opens.

class QWidget;

namespace veloquin::gui {

// Beside `main` where the screen has room; where it has none, wherever it
// hides the least of `main` (the editors are what these windows are about).
// Never at the screen's corner over the menu bar.
void place_beside(QWidget& tool, const QWidget& main);

}  // namespace veloquin::gui
