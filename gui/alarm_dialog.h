#pragma once
// "Alarms...": the rules in a table (on, name, channel, above or below, the
// threshold, the "while" condition, hold time, hysteresis) and the sound
// switch. The rules themselves are the core's; this shows and reads them back.

#include <QDialog>
#include <optional>

#include "base/alarm_rule.h"

class QCheckBox;
class QLabel;
class QTableWidget;

namespace veloquin::gui {

class AlarmDialog : public QDialog {
    Q_OBJECT
  public:
    AlarmDialog(const AlarmSettings& settings, QWidget* parent);

    QTableWidget* table() const { return table_; }
    // The rules as edited; nullopt (and the reason shown) while a cell is not valid.
    std::optional<AlarmSettings> settings();

  private:
    void add_row(const AlarmRule& rule);
    void fill(const AlarmSettings& settings);
    std::optional<AlarmRule> read_row(int row, QString& error) const;
    void accept_if_valid();

    QTableWidget* table_ = nullptr;
    QCheckBox* sound_ = nullptr;
    QLabel* error_ = nullptr;
};

}  // namespace veloquin::gui
