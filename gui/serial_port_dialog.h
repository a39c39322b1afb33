#pragma once
// "Serial port...": the port table with each port's device path, by-id name
// and state; the port chosen is tried first from now on. The list and the
// states come from the core; this only shows them and says which row was chosen.

#include <QDialog>
#include <optional>
#include <vector>

#include "base/platform.h"

class QDialogButtonBox;
class QTreeWidget;

namespace veloquin::gui {

class SerialPortDialog : public QDialog {
    Q_OBJECT
  public:
    SerialPortDialog(const std::vector<SerialPortChoice>& ports, QWidget* parent);

    QTreeWidget* list() const { return list_; }
    // The port number of the row chosen.
    std::optional<int> chosen_port() const;

  private:
    QTreeWidget* list_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
};

}  // namespace veloquin::gui
