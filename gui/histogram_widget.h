#pragma once
// The "Log histogram" window: which map, channel, statistic, filters and
// conditions; the legend of the colour scale; Copy, Save, and applying onto
// the map after a review. The values themselves stand in the map editor's
// cells; this window sets what the core gathers and forwards the buttons.

#include <QWidget>

#include "gui/tool_window_placement.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace veloquin::gui {

class MainWindow;
class HistogramLegend;

class HistogramWidget : public QWidget {
    Q_OBJECT
  public:
    explicit HistogramWidget(MainWindow& window);

    // After every entry into the core: shown when the histogram opened,
    // hidden when it closed, its controls as the core has them.
    void sync();

    QComboBox* map_choice() const { return map_; }
    QComboBox* channel_choice() const { return channel_; }
    QComboBox* stat_choice() const { return stat_; }
    QComboBox* mode_choice() const { return mode_; }
    QCheckBox* filters_on() const { return filters_on_; }
    QSpinBox* min_samples() const { return min_samples_; }
    QPlainTextEdit* conditions() const { return conditions_; }
    QPushButton* review_button() const { return review_; }
    QPushButton* apply_button() const { return apply_; }
    QPushButton* copy_button() const { return copy_; }
    QLabel* summary() const { return summary_; }
    QLabel* refusal() const { return refusal_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void settings_changed();
    void fill();
    void copy_grid();

    MainWindow& window_;
    QComboBox* map_ = nullptr;
    QComboBox* channel_ = nullptr;
    QComboBox* stat_ = nullptr;
    QCheckBox* filters_on_ = nullptr;
    QSpinBox* min_samples_ = nullptr;
    QPlainTextEdit* conditions_ = nullptr;
    HistogramLegend* legend_ = nullptr;
    QLabel* summary_ = nullptr;
    QComboBox* mode_ = nullptr;
    QLabel* refusal_ = nullptr;
    QPushButton* copy_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* review_ = nullptr;
    QPushButton* apply_ = nullptr;
    ReviewFollower follower_;
    bool filling_ = false;
};

}  // namespace veloquin::gui
