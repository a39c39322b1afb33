#include "gui/log_bench.h"

#include <QMouseEvent>

#include "gui/histogram_widget.h"
#include "gui/main_window.h"
#include "gui/scatter_widget.h"
#include "gui/viewer_widgets.h"

namespace veloquin::gui {

LogBench::LogBench(MainWindow& window) : QObject(&window), window_(window) {
    histogram_ = new HistogramWidget(window);
    scatter_ = new ScatterWidget(window);
    window.log_viewer()->installEventFilter(this);
}

void LogBench::sync() {
    histogram_->sync();
    scatter_->sync();
}

bool LogBench::eventFilter(QObject* watched, QEvent* event) {
    const auto type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove &&
        type != QEvent::MouseButtonRelease) {
        return QObject::eventFilter(watched, event);
    }
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const int x = static_cast<int>(mouse->position().x());
    Application& app = window_.app();
    if (type == QEvent::MouseButtonPress) {
        const bool ctrl = (mouse->modifiers() & Qt::ControlModifier) != 0;
        if (!ctrl || mouse->button() != Qt::LeftButton || !app.state().log_comparison.active)
            return false;
        dragging_ = true;
        drag_from_x_ = x;
        drag_moved_ = 0;
        return true;
    }
    if (!dragging_) return false;
    const LogView view = window_.log_viewer()->view();
    const int wanted = comparison_drag_samples(view, app.state().log.count, x - drag_from_x_);
    const int step = wanted - drag_moved_;
    drag_moved_ = wanted;
    window_.run_guarded([&app, step] { app.move_comparison(step); });
    if (type == QEvent::MouseButtonRelease) dragging_ = false;
    return true;
}

}  // namespace veloquin::gui
