#include "gui/row_choice_dialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace veloquin::gui {
namespace {

QString qstr(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

}  // namespace

RowChoiceDialog::RowChoiceDialog(std::string_view title, const std::vector<std::string>& columns,
                                 const std::vector<std::vector<std::string>>& rows,
                                 std::string_view action, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("rowChoiceDialog"));
    setWindowTitle(qstr(title));
    auto* layout = new QVBoxLayout(this);
    list_ = new QTreeWidget(this);
    list_->setRootIsDecorated(false);
    QStringList headers;
    for (const std::string& c : columns)
        headers << qstr(c);
    list_->setHeaderLabels(headers);
    for (const auto& row : rows) {
        QStringList cells;
        for (const std::string& c : row)
            cells << qstr(c);
        new QTreeWidgetItem(list_, cells);
    }
    if (list_->topLevelItemCount() > 0) list_->setCurrentItem(list_->topLevelItem(0));
    list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    list_->setMinimumWidth(520);
    layout->addWidget(list_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* act = buttons->addButton(qstr(action), QDialogButtonBox::AcceptRole);
    act->setEnabled(list_->currentItem() != nullptr);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);
}

std::optional<int> RowChoiceDialog::chosen_row() const {
    const QTreeWidgetItem* row = list_->currentItem();
    if (row == nullptr) return std::nullopt;
    return list_->indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(row));
}

}  // namespace veloquin::gui
