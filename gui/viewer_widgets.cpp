#include "gui/viewer_widgets.h"

#include <QMenu>
#include <QMouseEvent>

#include "datalogs/dashboard.h"
#include "gui/main_window.h"

namespace veloquin::gui {
namespace {

constexpr QRect kViewerRect{2, 10, 800, 678};

}  // namespace

LogViewerWidget::LogViewerWidget(MainWindow& window, QWidget* parent)
    : PaintWidget(parent), window_(window) {
    setObjectName(QStringLiteral("LOGVIEWER"));
    setGeometry(kViewerRect);
    setCursor(Qt::ArrowCursor);
}

LogView LogViewerWidget::view() const {
    LogView v;
    v.width = width();
    v.height = height();
    v.decimate = decimate_;
    return v;
}

PaintModel LogViewerWidget::model() {
    return paint_log_viewer(window_.app().state().log, view(), cache_);
}

void LogViewerWidget::mousePressEvent(QMouseEvent* event) {
    const int x = static_cast<int>(event->position().x());
    const QPoint global = event->globalPosition().toPoint();
    window_.run_guarded([&] {
        LogBuffer& log = window_.app().state().log;
        if (event->button() == Qt::LeftButton && log_viewer_press(log, view(), x)) update();
        if (event->button() == Qt::RightButton) show_menu(global);
    });
}

void LogViewerWidget::mouseMoveEvent(QMouseEvent* event) {
    if ((event->buttons() & Qt::LeftButton) == 0) return;
    const int x = static_cast<int>(event->position().x());
    window_.run_guarded([&] {
        if (log_viewer_drag(window_.app().state().log, view(), x)) update();
    });
}

void LogViewerWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    window_.run_guarded([&] {
        log_viewer_double_click(window_.app().state().log, view());
        update();
    });
}

void LogViewerWidget::show_menu(const QPoint& global) {
    LogBuffer& log = window_.app().state().log;
    const LogMenu entries = log_viewer_menu(log, view());
    QMenu menu(this);
    menu.setObjectName(
        QString::fromUtf8(entries.name.data(), static_cast<int>(entries.name.size())));
    for (const LogMenuEntry& e : entries.entries) {
        if (e.separator) {
            menu.addSeparator();
            continue;
        }
        QAction* a =
            menu.addAction(QString::fromUtf8(e.text.data(), static_cast<int>(e.text.size())));
        a->setCheckable(true);
        a->setChecked(e.checked);
        const int id = e.command_id;
        connect(a, &QAction::triggered, this, [this, id] {
            if (log_viewer_command(window_.app().state().log, view(), id)) window_.repaint_page();
        });
    }
    menu.exec(global);
}

DashboardWidget::DashboardWidget(MainWindow& window, QWidget* parent)
    : PaintWidget(parent), window_(window) {
    setObjectName(QStringLiteral("DASHVIEWER"));
    setGeometry(kViewerRect);
}

PaintModel DashboardWidget::model() {
    const ProgramState& s = window_.app().state();
    return paint_dashboard(s.link.live, s.cal, width(), height());
}

}  // namespace veloquin::gui
