#pragma once
// A list to choose one row from (File > History...): the rows and their
// columns come from the core; this only shows them and says which was chosen.

#include <QDialog>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QTreeWidget;

namespace veloquin::gui {

class RowChoiceDialog : public QDialog {
    Q_OBJECT
  public:
    RowChoiceDialog(std::string_view title, const std::vector<std::string>& columns,
                    const std::vector<std::vector<std::string>>& rows, std::string_view action,
                    QWidget* parent);

    std::optional<int> chosen_row() const;

  private:
    QTreeWidget* list_ = nullptr;
};

}  // namespace veloquin::gui
