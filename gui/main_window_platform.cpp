// The main window as the core's Platform: waits that keep the window
// painting, status lines, dialogs, the in-place editor.

#include <QApplication>
#include <QAudioDevice>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QLineEdit>
#include <QMediaDevices>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QSoundEffect>
#include <QThread>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <ctime>
#include <memory>

#include "app/commands.h"
#include "app/live_panel.h"
#include "app/startup.h"
#include "editors/editor_mouse.h"
#include "gui/alarm_dialog.h"
#include "gui/column_dialog.h"
#include "gui/editor_widget.h"
#include "gui/learn_review_widget.h"
#include "gui/live_panel_widget.h"
#include "gui/main_window.h"

#include <cstdio>
#include "gui/parameter_pages.h"
#include "gui/serial_port_dialog.h"

namespace veloquin::gui {
namespace {

QString qstr(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

}  // namespace

LocalTime MainWindow::local_time() {
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

std::uint32_t MainWindow::now_ms() {
    const auto t = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(t).count());
}

namespace {

// How often a long wait lets the window paint, and from when on it takes
// input too (refused or, for a page switch, done): a short exchange defers a
// key by a few milliseconds, a long transfer never holds one for later.
constexpr qint64 kPumpEveryMs = 16;
constexpr qint64 kInputAfterMs = 150;
constexpr std::uint32_t kSleepSliceMs = 50;

}  // namespace

QEventLoop::ProcessEventsFlags MainWindow::wait_flags() const {
    return !holding_input_ && entry_clock_.isValid() && entry_clock_.elapsed() >= kInputAfterMs
               ? QEventLoop::AllEvents
               : QEventLoop::ExcludeUserInputEvents;
}

bool MainWindow::keep_window_alive() {
    if (quitting_) return false;
    if (!entry_clock_.isValid()) entry_clock_.start();
    const qint64 now = entry_clock_.elapsed();
    if (now - last_pump_ms_ < kPumpEveryMs) return true;
    last_pump_ms_ = now;
    QApplication::processEvents(wait_flags());
    return !quitting_;
}

void MainWindow::sleep_ms(std::uint32_t ms) {
    // The device wants the pause; the window keeps painting through it, and
    // every tick or command that arrives is refused by the busy guard, so
    // nothing runs inside the wait. A program that is quitting waits no more.
    if (quitting_) return;
    if (ms == 0) {
        QApplication::processEvents(wait_flags());
        return;
    }
    QElapsedTimer waited;
    waited.start();
    for (qint64 left = ms; left > 0 && !quitting_; left = ms - waited.elapsed()) {
        QEventLoop loop;
        QTimer::singleShot(std::chrono::milliseconds(std::min<qint64>(left, kSleepSliceMs)),
                           Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec(wait_flags());
    }
}

SerialOpenResult MainWindow::open_serial(int port_number, TimeoutSet timeouts) {
    if (port_number == 0 || ports_.path(port_number).empty()) {
        // No port opened at start-up: say why for each one the table knows.
        std::string why = ports_.size() == 0 ? "no serial port on this machine" : "";
        for (const auto& [port, error] : open_errors_) {
            if (!why.empty()) why += "; ";
            why += ports_.path(port) + ": " + error;
        }
        return {nullptr, why.empty() ? "no such device" : why};
    }
    SerialOpenResult r = ports_.open(port_number, timeouts, [this] { return keep_window_alive(); });
    if (r.line) {
        open_errors_.erase(port_number);
    } else {
        open_errors_[port_number] = r.error;
    }
    return r;
}

std::string MainWindow::port_name(int port_number) {
    return ports_.display_name(port_number);
}

std::optional<std::vector<SerialPortEntry>> MainWindow::rescan_ports() {
    ports_.rescan();
    open_errors_.clear();  // the numbers may name other ports now
    return ports_.entries();
}

bool MainWindow::serial_ports_changed() {
    return port_watch_ && port_watch_->serial_device_appeared();
}

void MainWindow::set_upper_status(std::string_view text) {
    live_panel_->set_upper_status(qstr(text));
}

void MainWindow::set_lower_status(std::string_view text) {
    live_panel_->set_lower_status(qstr(text));
}

void MainWindow::set_title_line(std::string_view line) {
    holding_input_ = false;  // the device answered: its calibration comes next
    device_line_ = line;
    update_title();
}

void MainWindow::update_title() {
    const QString title = qstr(window_title(app_.title_line(device_line_)));
    if (title != windowTitle()) setWindowTitle(title);
}

MessageAnswer MainWindow::message_box(std::string_view text, std::string_view caption,
                                      MessageButtons buttons) {
    if (unattended_) {
        std::fprintf(stderr, "veloquin: %.*s: %.*s\n", static_cast<int>(caption.size()),
                     caption.data(), static_cast<int>(text.size()), text.data());
        // The answer that changes nothing.
        return buttons == MessageButtons::ok       ? MessageAnswer::ok
               : buttons == MessageButtons::yes_no ? MessageAnswer::no
                                                   : MessageAnswer::cancel;
    }
    QMessageBox box(caption == "Error" ? QMessageBox::Warning : QMessageBox::Information,
                    qstr(caption), qstr(text), QMessageBox::NoButton, this);
    // A command or a path in the text can be copied from it.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    switch (buttons) {
        case MessageButtons::ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case MessageButtons::ok_cancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case MessageButtons::yes_no:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
    }
    switch (box.exec()) {
        case QMessageBox::Cancel:
            return MessageAnswer::cancel;
        case QMessageBox::Yes:
            return MessageAnswer::yes;
        case QMessageBox::No:
            return MessageAnswer::no;
        default:
            return MessageAnswer::ok;
    }
}

bool MainWindow::enter_pressed() {
    // Only a recording without a window asks; the program's recording takes
    // Enter as a key like any other.
    return false;
}

void MainWindow::repaint_page() {
    refresh_screen();
}

void MainWindow::refill_pages() {
    app_.fill_all_pages();
}

void MainWindow::refresh_live_panel() {
    const ProgramState& s = app_.state();
    const bool connected = s.link.connected;
    live_panel_->set_values(live_panel_values(s.cal, s.link.live, connected));
    std::array<bool, kLiveFieldCount> alarmed{};
    for (int i = 0; i < kLiveFieldCount; ++i)
        alarmed[static_cast<std::size_t>(i)] = app_.alarm_shown(live_panel_channel(i));
    live_panel_->set_alarmed(alarmed, app_.alarm_flash_bright());
    if (connected) {
        ++live_records_shown_;
        live_panel_->set_upper_status(QStringLiteral("connected"));
    }
}

void MainWindow::set_connect_enabled(bool enabled) {
    connect_->setEnabled(enabled);
}

void MainWindow::focus_main_window() {
    surface_->setFocus(Qt::OtherFocusReason);
}

void MainWindow::stop_timers() {
    poll_timer_.stop();
    second_timer_.stop();
}

void MainWindow::start_timers() {
    poll_timer_.start();
    second_timer_.start();
}

void MainWindow::show_page(Page page) {
    select_page(page);
}

std::optional<std::string> MainWindow::choose_file(const FileDialogRequest& request) {
    if (unattended_) return std::nullopt;
    if (file_dialog_ == nullptr) {
        file_dialog_ = new QFileDialog(this);
        // Qt's own dialog behaves the same on every desktop and under the tests.
        file_dialog_->setOption(QFileDialog::DontUseNativeDialog);
        // A name typed without extension under "CSV Log" must become a CSV.
        QFileDialog* files = file_dialog_;
        QObject::connect(
            files, &QFileDialog::filterSelected, files, [files](const QString& filter) {
                if (files->defaultSuffix().isEmpty()) return;
                const auto m = QRegularExpression(QStringLiteral(R"(\*\.(\w+)\))")).match(filter);
                if (m.hasMatch()) files->setDefaultSuffix(m.captured(1));
            });
    }
    QFileDialog& dialog = *file_dialog_;
    dialog.setWindowTitle(qstr(request.title));
    dialog.setDirectory(request.folder.empty() ? QDir::currentPath() : qstr(request.folder));
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    QStringList filters;
    for (const auto& [text, pattern] : request.filters) {
        filters << qstr(dialog_filter_label(text, pattern));
    }
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(
        request.default_extension.empty() ? QString() : qstr(request.default_extension).mid(1));
    // The last choice is not offered again unless the command names it.
    dialog.selectFile(qstr(request.name));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().front().toStdString();
}

bool MainWindow::run_with_progress(std::string_view title, const ProgressJob& job) {
    std::atomic<int> permille{0};
    std::atomic<bool> cancelled{false};
    std::unique_ptr<QThread> worker(QThread::create([&] {
        job([&](double done) {
            permille = static_cast<int>(done * 1000.0);
            return !cancelled.load();
        });
    }));
    worker->start();
    // Shown only if the work is still going after a moment: a short file
    // loads without a flash of a dialog.
    QProgressDialog dialog(qstr(std::string(title)), QStringLiteral("Cancel"), 0, 1000, this);
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setMinimumDuration(300);
    dialog.setValue(0);
    while (!worker->wait(QDeadlineTimer(15))) {
        dialog.setValue(std::min(permille.load(), 999));
        QCoreApplication::processEvents(QEventLoop::AllEvents, 15);
        if (dialog.wasCanceled()) cancelled = true;
    }
    return !cancelled;
}

void MainWindow::show_target_afr() {
    learn_review_->open_target_afr();
}

void MainWindow::show_about() {
    QMessageBox::about(this, QStringLiteral("About"),
                       qstr(about_text(VELOQUIN_VERSION, app_.state().files)));
}

void MainWindow::play_alarm_sound() {
    if (!alarm_sound_tried_) {
        alarm_sound_tried_ = true;
        // Without an audio output the alarm is seen, not heard; nothing to report.
        if (QMediaDevices::audioOutputs().isEmpty()) return;
        alarm_sound_ = new QSoundEffect(this);
        alarm_sound_->setSource(QUrl(QStringLiteral("qrc:/sounds/alarm.wav")));
    }
    if (alarm_sound_ != nullptr && !alarm_sound_->isPlaying()) alarm_sound_->play();
}

std::optional<AlarmSettings> MainWindow::edit_alarms(const AlarmSettings& settings) {
    AlarmDialog dialog(settings, this);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.settings();
}

std::optional<int> MainWindow::choose_serial_port(const std::vector<SerialPortChoice>& ports) {
    SerialPortDialog dialog(ports, this);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.chosen_port();
}

std::optional<std::vector<std::size_t>> MainWindow::choose_log_columns(
    const ColumnChoiceRequest& request) {
    ColumnDialog dialog(request, this);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.chosen();
}

void MainWindow::open_cell_editor(Page page, std::string_view typed) {
    close_cell_editor();
    const auto kind = map_editor_of(page);
    EditorWidget* host = kind ? editor(*kind) : nullptr;
    if (host == nullptr) return;
    const auto r = veloquin::cell_editor_rect(*kind, host->width(), host->height(),
                                              app_.state().editor.cursor);
    if (!r) return;
    auto* edit = new QLineEdit(host);
    edit->setObjectName(QStringLiteral("cellEditor"));
    edit->setGeometry(r->x, r->y, r->width, r->height);
    edit->setFrame(true);
    edit->show();
    edit->setFocus(Qt::OtherFocusReason);
    edit->setText(qstr(typed));
    cell_editor_ = edit;
}

void MainWindow::close_cell_editor() {
    if (cell_editor_) {
        QLineEdit* edit = cell_editor_.data();
        cell_editor_.clear();
        edit->hide();
        edit->deleteLater();
    }
}

std::string MainWindow::cell_editor_text() {
    // The original read at most 119 characters of the entry.
    return cell_editor_ ? cell_editor_->text().left(119).toStdString() : std::string();
}

void MainWindow::controls_changed() {
    params_->show_values();
}

void MainWindow::close_main_window() {
    request_close();
}

}  // namespace veloquin::gui
