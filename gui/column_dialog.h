#pragma once
// The columns of a log table whose names the program does not know, each
// with a list of what it may hold. The choices come from the core; this
// only shows them and says which was picked for each column.

#include <QDialog>
#include <cstddef>
#include <vector>

#include "base/platform.h"

class QComboBox;

namespace veloquin::gui {

class ColumnDialog : public QDialog {
    Q_OBJECT
  public:
    ColumnDialog(const ColumnChoiceRequest& request, QWidget* parent);

    const std::vector<QComboBox*>& boxes() const { return boxes_; }
    std::vector<std::size_t> chosen() const;

  private:
    std::vector<QComboBox*> boxes_;
};

}  // namespace veloquin::gui
