#pragma once
// One graph editor: paints the model the core computes for it and forwards
// the mouse to the core's editor rules; the main window does what the result
// asks for (in-place editor, focus, popup menu, repaint).

#include <QPushButton>

#include "editors/editor_mouse.h"
#include "editors/graph_editors.h"
#include "gui/paint_widget.h"

namespace veloquin::gui {

// What the editors' core needs of a mouse event over `w`, an editor's paint surface.
MouseEvent editor_mouse_event(const QWidget& w, const QMouseEvent& e, bool cell_editor_open);

class MainWindow;

class EditorWidget : public PaintWidget {
    Q_OBJECT
  public:
    EditorWidget(EditorKind kind, MainWindow& window, QWidget* parent);

    EditorKind kind() const { return kind_; }
    // Shows the automapping and trace buttons as the editing state has them.
    void update_buttons();
    QPushButton* automap_button() const { return automap_; }
    QPushButton* trace_button() const { return trace_; }

  protected:
    void build_model(PaintModel& model) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    MouseEvent mouse_event(const QMouseEvent& e) const;
    void act(const MouseResult& r, const QPoint& global);
    QPushButton* button(const QString& text, QRect where);

    EditorKind kind_;
    MainWindow& window_;
    QPushButton* automap_ = nullptr;
    QPushButton* trace_ = nullptr;
};

}  // namespace veloquin::gui
