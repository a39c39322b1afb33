#pragma once
// The log bench's windows beside the main window: the histogram onto a map,
// the scatter plot, and the second log drawn in the viewer.

#include <QObject>

namespace veloquin::gui {

class MainWindow;
class HistogramWidget;
class ScatterWidget;

class LogBench : public QObject {
    Q_OBJECT
  public:
    explicit LogBench(MainWindow& window);

    // After every entry into the core.
    void sync();

    HistogramWidget* histogram() const { return histogram_; }
    ScatterWidget* scatter() const { return scatter_; }

  protected:
    // Ctrl+drag on the viewer moves the second log; other input passes on.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    MainWindow& window_;
    HistogramWidget* histogram_ = nullptr;
    ScatterWidget* scatter_ = nullptr;
    bool dragging_ = false;
    int drag_from_x_ = 0;
    int drag_moved_ = 0;  // samples the drag has moved the offset so far
};

}  // namespace veloquin::gui
