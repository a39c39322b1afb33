#pragma once
// The log viewer and the dashboard: both paint what the core computes and
// forward the mouse to it.

#include "datalogs/log_viewer.h"
#include "gui/paint_widget.h"

class QMenu;

namespace veloquin::gui {

class MainWindow;

class LogViewerWidget : public PaintWidget {
    Q_OBJECT
  public:
    LogViewerWidget(MainWindow& window, QWidget* parent);
    // The program's view of the log at this widget's size.
    LogView view() const;
    // The undecimated drawing, for comparisons and the benchmark.
    void set_decimate(bool on) { decimate_ = on; }

  protected:
    void build_model(PaintModel& model) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    void show_menu(const QPoint& global);
    // The log's markers under "Markers"; choosing one puts the cursor on it.
    void add_marker_menu(QMenu& menu);
    // The program's view, its size brought up to this widget's.
    LogView& zoom_state();

    MainWindow& window_;
    LogViewerCache cache_;
    bool decimate_ = true;
    // A drag with the middle button slides what was shown when it began.
    bool panning_ = false;
    int pan_start_x_ = 0;
    SampleRange pan_from_;
};

class DashboardWidget : public PaintWidget {
    Q_OBJECT
  public:
    DashboardWidget(MainWindow& window, QWidget* parent);

  protected:
    void build_model(PaintModel& model) override;

  private:
    MainWindow& window_;
};

}  // namespace veloquin::gui
