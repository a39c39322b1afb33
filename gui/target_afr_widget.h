#pragma once
// The "Target AFR" window: the target table the fuel learning aims at, drawn
// by the map editor and edited as the maps are (click and drag to select, a
// digit or a double click to type a value, Enter to store it, the map keys,
// copy and paste, Ctrl+Z and Ctrl+Y). Each change is in the file at once and
// the learning under review aims at it.

#include <QPointer>

#include "app/target_afr_editor.h"
#include "gui/paint_widget.h"

class QKeyEvent;
class QLineEdit;
class QMouseEvent;

namespace veloquin::gui {

class MainWindow;

class TargetAfrWidget : public PaintWidget {
    Q_OBJECT
  public:
    explicit TargetAfrWidget(MainWindow& window);

    // Reads the table afresh and shows the window.
    void open_table();
    const TargetAfrEditor& editor() const { return editor_; }
    // The in-place entry while it is open, else null.
    QLineEdit* entry() const { return entry_.data(); }

  protected:
    void build_model(PaintModel& model) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    MouseEvent mouse_event(const QMouseEvent& e) const;
    void act(const TargetAfrOutcome& out);
    void open_entry(const std::string& typed);
    void close_entry();
    void show_status(const std::string& text);

    MainWindow& window_;
    TargetAfrEditor editor_;
    QPointer<QLineEdit> entry_;
};

}  // namespace veloquin::gui
