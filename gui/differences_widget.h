#pragma once
// The "Differences" window of a comparison: one line per difference in the
// words of `veloquin-tool cal diff`; a double click (or Enter) on a line
// shows its page with the cursor on the cell or point, or the field focused.
// It also keeps the parameter pages' marks in step with the list.

#include <QWidget>
#include <cstdint>

class QLabel;
class QListWidget;

namespace veloquin::gui {

class MainWindow;

class DifferencesWidget : public QWidget {
    Q_OBJECT
  public:
    explicit DifferencesWidget(MainWindow& window);

    // After every entry into the core: the list made anew (at most four
    // times a second) if the calibration changed, shown when a comparison
    // began, hidden when it ended.
    void sync();
    QListWidget* list() const { return list_; }
    QLabel* summary() const { return summary_; }
    // Shows the page and cursor of line `row`.
    void go_to(int row);

  private:
    void fill();

    MainWindow& window_;
    QLabel* summary_ = nullptr;
    QListWidget* list_ = nullptr;
    int started_seen_ = 0;
    int revision_seen_ = 0;
    bool list_active_ = false;
    std::uint32_t refreshed_ms_ = 0;
};

}  // namespace veloquin::gui
