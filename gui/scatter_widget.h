#pragma once
// The "Scatter" window: the X, Y and colour channels, the learning filters
// and conditions, and the plot the core renders; a rectangle dragged over the
// plot marks its samples in the log viewer, a range marked in the viewer
// shows its points in the plot's highlight colour.

#include <QWidget>

#include "base/paint_model.h"
#include "gui/paint_widget.h"
#include "learn/log_scatter.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;

namespace veloquin::gui {

class MainWindow;

class ScatterPlot : public QWidget {
    Q_OBJECT
  public:
    ScatterPlot(MainWindow& window, QWidget* parent);
    void refresh() { update(); }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    PlotRect dragged() const;

    MainWindow& window_;
    ModelPainter painter_;
    ScatterImage image_;
    bool dragging_ = false;
    QPoint from_, to_;
};

class ScatterWidget : public QWidget {
    Q_OBJECT
  public:
    explicit ScatterWidget(MainWindow& window);
    void sync();

    QComboBox* x_choice() const { return x_; }
    QComboBox* y_choice() const { return y_; }
    QComboBox* color_choice() const { return color_; }
    ScatterPlot* plot() const { return plot_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void settings_changed();
    void fill();

    MainWindow& window_;
    QComboBox* x_ = nullptr;
    QComboBox* y_ = nullptr;
    QComboBox* color_ = nullptr;
    QCheckBox* filters_on_ = nullptr;
    QPlainTextEdit* conditions_ = nullptr;
    QLabel* summary_ = nullptr;
    ScatterPlot* plot_ = nullptr;
    int started_seen_ = 0;
    int revision_seen_ = -1;
    SampleSpan highlight_seen_;
    bool filling_ = false;
};

}  // namespace veloquin::gui
