#pragma once
// The log bench's windows beside the main window: the histogram onto a map,
// the scatter plot, and the second log drawn in the viewer.

#include <QObject>

namespace veloquin::gui {

class MainWindow;
class HistogramWidget;

class LogBench : public QObject {
    Q_OBJECT
  public:
    explicit LogBench(MainWindow& window);

    // After every entry into the core.
    void sync();

    HistogramWidget* histogram() const { return histogram_; }

  private:
    HistogramWidget* histogram_ = nullptr;
};

}  // namespace veloquin::gui
