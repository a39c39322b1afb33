#include "gui/target_afr_widget.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>

#include "editors/graph_editors.h"
#include "gui/editor_widget.h"
#include "gui/key_filter.h"
#include "gui/main_window.h"
#include "gui/tool_window_placement.h"

namespace veloquin::gui {
namespace {

constexpr const char* kTitle = "Target AFR (tenths: 147 is AFR 14.7)";

}  // namespace

TargetAfrWidget::TargetAfrWidget(MainWindow& window) : PaintWidget(&window), window_(window) {
    setWindowFlags(Qt::Tool);
    setObjectName(QStringLiteral("target_afr"));
    setWindowTitle(QString::fromUtf8(kTitle));
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::ArrowCursor);
    const EditorInfo& fuel = editor_info(EditorKind::fuel_correction);
    resize(fuel.width, fuel.height);
}

void TargetAfrWidget::open_table() {
    close_entry();
    const ProgramState& state = window_.app().state();
    const TargetAfrRead read = editor_.open(state.working_directory, state.cal);
    show_status(read.error.empty() ? std::string()
                                   : read.error + ": the default target AFR table is shown");
    refresh();
    if (!isVisible()) place_beside(*this, window_);
    show();
    raise();
    activateWindow();
}

void TargetAfrWidget::build_model(PaintModel& model) {
    editor_.paint(width(), height(), model);
}

void TargetAfrWidget::act(const TargetAfrOutcome& out) {
    if (out.close_entry) close_entry();
    if (out.commit_entry) {
        const std::string typed = entry_ ? entry_->text().left(119).toStdString() : std::string();
        act(editor_.enter(typed));
        return;
    }
    if (out.open_entry) open_entry(out.typed);
    if (out.changed) {
        window_.run_guarded([this] { window_.app().reload_learn_targets(); });
    }
    // The window's own line says what the main window's lower line says: the
    // tuner looks at one or the other.
    std::string status = out.note;
    if (out.changed && !editor_.save_error().empty()) {
        status = std::string(kTargetAfrFile) + " not written: " + editor_.save_error();
    }
    if (out.changed || !status.empty()) {
        show_status(status);
        if (!status.empty()) window_.app().hold_notice(status);
    }
    if (out.repaint || out.changed) refresh();
}

void TargetAfrWidget::keyPressEvent(QKeyEvent* event) {
    const TargetAfrOutcome out = editor_.key(key_press_from(*event), entry_ != nullptr, window_);
    if (!out.commit_entry && !out.close_entry && !out.open_entry && !out.repaint) {
        PaintWidget::keyPressEvent(event);
        return;
    }
    act(out);
}

// The in-place entry's Enter and Escape are the editor's; every other key types.
bool TargetAfrWidget::eventFilter(QObject* watched, QEvent* event) {
    if (watched != entry_.data() || event->type() != QEvent::KeyPress) {
        return PaintWidget::eventFilter(watched, event);
    }
    const TargetAfrOutcome out =
        editor_.key(key_press_from(*static_cast<QKeyEvent*>(event)), true, window_);
    if (!out.commit_entry && !out.close_entry) return false;
    act(out);
    return true;
}

MouseEvent TargetAfrWidget::mouse_event(const QMouseEvent& e) const {
    return editor_mouse_event(*this, e, entry_ != nullptr);
}

void TargetAfrWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    setFocus(Qt::MouseFocusReason);
    act(editor_.left_down(mouse_event(*event)));
}

void TargetAfrWidget::mouseMoveEvent(QMouseEvent* event) {
    act(editor_.mouse_move(mouse_event(*event)));
}

void TargetAfrWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    act(editor_.double_click(mouse_event(*event)));
}

void TargetAfrWidget::open_entry(const std::string& typed) {
    close_entry();
    const auto r =
        cell_editor_rect(EditorKind::fuel_correction, width(), height(), editor_.state().cursor);
    if (!r) return;
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QStringLiteral("targetEntry"));
    edit->setGeometry(r->x, r->y, r->width, r->height);
    edit->installEventFilter(this);
    edit->setText(QString::fromStdString(typed));
    edit->show();
    edit->setFocus(Qt::OtherFocusReason);
    entry_ = edit;
}

void TargetAfrWidget::close_entry() {
    if (!entry_) return;
    QLineEdit* edit = entry_.data();
    entry_.clear();
    edit->removeEventFilter(this);
    edit->hide();
    edit->deleteLater();
    setFocus(Qt::OtherFocusReason);
}

void TargetAfrWidget::show_status(const std::string& text) {
    setWindowTitle(text.empty() ? QString::fromUtf8(kTitle)
                                : QString::fromUtf8(kTitle) + QStringLiteral(" - ") +
                                      QString::fromStdString(text));
}

}  // namespace veloquin::gui
