// The main window's questions whose buttons say what each does, the list of
// rows to choose from, and the working folder's lock.

#include <QMessageBox>
#include <QPushButton>

#include "gui/main_window.h"
#include "gui/row_choice_dialog.h"

namespace veloquin::gui {

int MainWindow::ask(std::string_view text, std::string_view caption,
                    const std::vector<std::string>& choices) {
    QMessageBox box(
        QMessageBox::Question, QString::fromUtf8(caption.data(), static_cast<int>(caption.size())),
        QString::fromUtf8(text.data(), static_cast<int>(text.size())), QMessageBox::NoButton, this);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    std::vector<QAbstractButton*> buttons;
    for (const std::string& c : choices)
        buttons.push_back(box.addButton(QString::fromStdString(c), QMessageBox::AcceptRole));
    // Escape or the close button choose nothing.
    QAbstractButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setEscapeButton(cancel);
    box.exec();
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        if (box.clickedButton() == buttons[i]) return static_cast<int>(i);
    }
    return -1;
}

std::optional<int> MainWindow::choose_row(std::string_view title,
                                          const std::vector<std::string>& columns,
                                          const std::vector<std::vector<std::string>>& rows,
                                          std::string_view action) {
    RowChoiceDialog dialog(title, columns, rows, action, this);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.chosen_row();
}

bool MainWindow::lock_folder(const std::string& folder) {
    FolderLock::Result result = FolderLock::Result::held;
    auto lock = FolderLock::acquire(folder, result);
    if (lock) folder_lock_ = std::move(lock);
    // A folder where no lock can be made is said at start as unwritable.
    return result != FolderLock::Result::in_use;
}

}  // namespace veloquin::gui
