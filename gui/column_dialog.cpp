#include "gui/column_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>

namespace veloquin::gui {

ColumnDialog::ColumnDialog(const ColumnChoiceRequest& request, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("columnDialog"));
    setWindowTitle(QStringLiteral("Log columns"));
    auto* layout = new QVBoxLayout(this);
    auto* note = new QLabel(QStringLiteral("The program does not know these columns of %1. Choose "
                                           "what each holds; the choice is remembered for logs "
                                           "with the same columns.")
                                .arg(QString::fromStdString(request.file)),
                            this);
    note->setWordWrap(true);
    layout->addWidget(note);
    auto* form = new QFormLayout;
    QStringList choices;
    for (const std::string& c : request.choices)
        choices << QString::fromStdString(c);
    for (const std::string& column : request.columns) {
        auto* box = new QComboBox(this);
        box->addItems(choices);
        form->addRow(QString::fromStdString(column), box);
        boxes_.push_back(box);
    }
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

std::vector<std::size_t> ColumnDialog::chosen() const {
    std::vector<std::size_t> out;
    for (const QComboBox* box : boxes_)
        out.push_back(static_cast<std::size_t>(std::max(0, box->currentIndex())));
    return out;
}

}  // namespace veloquin::gui
