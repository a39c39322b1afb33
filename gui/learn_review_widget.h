#pragma once
// The "Learn from log" window: which map, the filters with their values, what
// the log taught and left out, hit counts on request, and "Apply all",
// "Apply selection", "Discard". The proposal itself is drawn over the map in
// its editor; this window only sets what the core learns and forwards the
// buttons.

#include <QWidget>

#include <vector>
#include "gui/tool_window_placement.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QAbstractSpinBox;
class QGridLayout;

namespace veloquin::gui {

class MainWindow;
class TargetAfrWidget;

class LearnReviewWidget : public QWidget {
    Q_OBJECT
  public:
    explicit LearnReviewWidget(MainWindow& window);

    // After every entry into the core: shown when a review began, hidden
    // when it ended, its texts and controls as the review has them.
    void sync();
    // The "Target AFR" window, made on first use, with the table read afresh.
    void open_target_afr();

    QPushButton* apply_all() const { return apply_all_; }
    QPushButton* apply_selection() const { return apply_selection_; }
    QPushButton* discard() const { return discard_; }
    QComboBox* map_choice() const { return map_; }
    QCheckBox* hit_numbers() const { return hit_numbers_; }
    QLabel* summary() const { return summary_; }
    TargetAfrWidget* target_afr_window() const { return target_afr_window_; }

  private:
    void build_filters(QGridLayout* grid);
    void fill();
    void settings_changed();

    MainWindow& window_;
    QComboBox* map_ = nullptr;
    std::vector<QCheckBox*> filter_on_;
    std::vector<QAbstractSpinBox*> filter_value_;
    QLabel* summary_ = nullptr;
    QCheckBox* hit_numbers_ = nullptr;
    QPushButton* other_log_ = nullptr;
    QPushButton* target_afr_ = nullptr;
    TargetAfrWidget* target_afr_window_ = nullptr;
    QPushButton* apply_all_ = nullptr;
    QPushButton* apply_selection_ = nullptr;
    QPushButton* discard_ = nullptr;
    ReviewFollower follower_;
    bool filling_ = false;
};

}  // namespace veloquin::gui
