#pragma once
// The live-values panel: thirteen labelled values and the two status lines.

#include <QGroupBox>
#include <array>
#include <string>

#include "app/live_panel.h"

class QLabel;

namespace veloquin::gui {

class LivePanelWidget : public QGroupBox {
    Q_OBJECT
  public:
    explicit LivePanelWidget(QWidget* parent);

    void set_values(const std::array<std::string, kLiveFieldCount>& values);
    // Fields under an alarm go red, in the shade that is on now.
    void set_alarmed(const std::array<bool, kLiveFieldCount>& alarmed, bool bright);
    void set_upper_status(const QString& text);
    void set_lower_status(const QString& text);

    QString value_text(int field) const;
    QString upper_status() const;
    // The lower line as set, and as shown (shortened to fit when long).
    QString lower_status() const;
    QString lower_status_shown() const;
    QString lower_status_tooltip() const;

  private:
    std::array<QLabel*, kLiveFieldCount> values_{};
    QLabel* upper_ = nullptr;
    QLabel* lower_ = nullptr;
    QString lower_full_;
    std::array<int, kLiveFieldCount> shade_{};  // 0 none, 1 red, 2 bright red
};

}  // namespace veloquin::gui
