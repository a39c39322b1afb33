#include "gui/key_filter.h"

#include <QApplication>
#include <QKeyEvent>

#include "gui/main_window.h"

namespace veloquin::gui {
namespace {

int key_code(int key) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return 'A' + (key - Qt::Key_A);
    // Keypad digits type digits too: a tuner entering values uses them.
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return '0' + (key - Qt::Key_0);
    switch (key) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return keycode::enter;
        case Qt::Key_Escape:
            return keycode::escape;
        case Qt::Key_PageUp:
            return keycode::page_up;
        case Qt::Key_PageDown:
            return keycode::page_down;
        case Qt::Key_Home:
            return keycode::home;
        case Qt::Key_Left:
            return keycode::left;
        case Qt::Key_Up:
            return keycode::up;
        case Qt::Key_Right:
            return keycode::right;
        case Qt::Key_Down:
            return keycode::down;
        case Qt::Key_Delete:
            return keycode::delete_key;
        case Qt::Key_F7:
            return keycode::f7;
        case Qt::Key_F8:
            return keycode::f8;
        default:
            return 0;
    }
}

bool is_input_event(QEvent::Type t) {
    switch (t) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
            return true;
        default:
            return false;
    }
}

}  // namespace

KeyPress key_press_from(const QKeyEvent& event) {
    KeyPress k;
    const Qt::KeyboardModifiers m = event.modifiers();
    k.code = key_code(event.key());
    k.text = event.text().toStdString();
    k.ctrl = (m & Qt::ControlModifier) != 0;
    k.shift = (m & Qt::ShiftModifier) != 0;
    k.alt = (m & Qt::AltModifier) != 0;
    return k;
}

bool KeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (!watched->isWidgetType()) return false;
    auto* widget = static_cast<QWidget*>(watched);
    if (window_.refusing_input() && is_input_event(event->type()) && widget->window() == &window_) {
        // The device has the line for a while: input is never kept for
        // later. A page switch is done at once; anything else is refused
        // with a word why.
        if (window_.is_nav_button(widget)) return false;
        const auto t = event->type();
        if (t == QEvent::KeyPress || t == QEvent::MouseButtonPress ||
            t == QEvent::MouseButtonDblClick || t == QEvent::Wheel) {
            window_.refuse_input();
        }
        return true;
    }
    if (event->type() != QEvent::KeyPress) return false;
    // Keys of dialogs and popup menus are theirs; and a key travelling up
    // from the focused widget to its parents is routed once, at its first stop.
    if (widget->window() != &window_) return false;
    QWidget* first = QApplication::focusWidget();
    if (first == nullptr) first = &window_;
    if (widget != first) return false;
    return window_.handle_key(key_press_from(*static_cast<QKeyEvent*>(event)));
}

}  // namespace veloquin::gui
