#pragma once
// The "Target AFR" window: the target table the fuel learning aims at, drawn
// by the map editor and edited with its keys (arrows, Shift to select, "+",
// "-", Page Up, Page Down, "I" to interpolate, Ctrl+Z to undo). Each change is
// in the file at once and the learning under review aims at it.

#include "app/target_afr_editor.h"
#include "gui/paint_widget.h"

class QKeyEvent;

namespace veloquin::gui {

class MainWindow;

class TargetAfrWidget : public PaintWidget {
    Q_OBJECT
  public:
    explicit TargetAfrWidget(MainWindow& window);

    // Reads the table afresh and shows the window.
    void open_table();
    const TargetAfrEditor& editor() const { return editor_; }

  protected:
    void build_model(PaintModel& model) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void show_status(const std::string& text);

    MainWindow& window_;
    TargetAfrEditor editor_;
};

}  // namespace veloquin::gui
