#include "gui/target_afr_widget.h"

#include <QKeyEvent>
#include <optional>

#include "editors/graph_editors.h"
#include "gui/main_window.h"
#include "gui/tool_window_placement.h"

namespace veloquin::gui {
namespace {

constexpr const char* kTitle = "Target AFR (tenths: 147 is AFR 14.7)";

std::optional<TargetAfrKey> key_of(const QKeyEvent& e) {
    if (e.matches(QKeySequence::Undo)) return TargetAfrKey::undo;
    switch (e.key()) {
        case Qt::Key_Left:
            return TargetAfrKey::left;
        case Qt::Key_Right:
            return TargetAfrKey::right;
        case Qt::Key_Up:
            return TargetAfrKey::up;
        case Qt::Key_Down:
            return TargetAfrKey::down;
        case Qt::Key_Plus:
            return TargetAfrKey::increase;
        case Qt::Key_Minus:
            return TargetAfrKey::decrease;
        case Qt::Key_PageUp:
            return TargetAfrKey::increase_large;
        case Qt::Key_PageDown:
            return TargetAfrKey::decrease_large;
        case Qt::Key_I:
            return TargetAfrKey::interpolate;
        default:
            return std::nullopt;
    }
}

}  // namespace

TargetAfrWidget::TargetAfrWidget(MainWindow& window) : PaintWidget(&window), window_(window) {
    setWindowFlags(Qt::Tool);
    setObjectName(QStringLiteral("target_afr"));
    setWindowTitle(QString::fromUtf8(kTitle));
    setFocusPolicy(Qt::StrongFocus);
    const EditorInfo& fuel = editor_info(EditorKind::fuel_correction);
    resize(fuel.width, fuel.height);
}

void TargetAfrWidget::open_table() {
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

void TargetAfrWidget::keyPressEvent(QKeyEvent* event) {
    const auto key = key_of(*event);
    if (!key) {
        PaintWidget::keyPressEvent(event);
        return;
    }
    const bool changed = editor_.key(*key, (event->modifiers() & Qt::ShiftModifier) != 0);
    if (changed) {
        show_status(editor_.save_error().empty()
                        ? std::string()
                        : std::string(kTargetAfrFile) + " not written: " + editor_.save_error());
        window_.run_guarded([this] { window_.app().reload_learn_targets(); });
    }
    refresh();
}

void TargetAfrWidget::show_status(const std::string& text) {
    setWindowTitle(text.empty() ? QString::fromUtf8(kTitle)
                                : QString::fromUtf8(kTitle) + QStringLiteral(" - ") +
                                      QString::fromStdString(text));
}

}  // namespace veloquin::gui
