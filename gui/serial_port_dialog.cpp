#include "gui/serial_port_dialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace veloquin::gui {
namespace {

QString qstr(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

SerialPortDialog::SerialPortDialog(const std::vector<SerialPortChoice>& ports, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("serialPortDialog"));
    setWindowTitle(QStringLiteral("Serial port"));
    auto* layout = new QVBoxLayout(this);
    auto* note = new QLabel(
        ports.empty() ? QStringLiteral("No serial port found. Plug in the device, or start with "
                                       "--simulate to try the program.")
                      : QStringLiteral("Choose the port the device is on. It is tried first from "
                                       "now on, also at the next start."),
        this);
    note->setWordWrap(true);
    layout->addWidget(note);

    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("serialPortList"));
    list_->setRootIsDecorated(false);
    list_->setHeaderLabels({QStringLiteral("Port"), QStringLiteral("Device"),
                            QStringLiteral("By-id name"), QStringLiteral("State")});
    for (const SerialPortChoice& p : ports) {
        auto* row =
            new QTreeWidgetItem(list_, {QStringLiteral("COM%1").arg(p.number), qstr(p.port.path),
                                        qstr(p.port.by_id), qstr(p.state)});
        row->setData(0, Qt::UserRole, p.number);
        if (p.state == "connected") list_->setCurrentItem(row);
    }
    list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    list_->setMinimumWidth(560);
    layout->addWidget(list_);

    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons_);
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);
    auto* ok = buttons_->button(QDialogButtonBox::Ok);
    ok->setEnabled(list_->currentItem() != nullptr);
    connect(list_, &QTreeWidget::currentItemChanged, ok,
            [ok](QTreeWidgetItem* current) { ok->setEnabled(current != nullptr); });
}

std::optional<int> SerialPortDialog::chosen_port() const {
    const QTreeWidgetItem* row = list_->currentItem();
    if (row == nullptr) return std::nullopt;
    return row->data(0, Qt::UserRole).toInt();
}

}  // namespace veloquin::gui
