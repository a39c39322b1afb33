#include "gui/viewer_widgets.h"

#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QWheelEvent>

#include "app/commands.h"
#include "datalogs/dashboard.h"
#include "datalogs/log_markers.h"
#include "datalogs/log_zoom.h"
#include "gui/main_window.h"

namespace veloquin::gui {
namespace {

constexpr QRect kViewerRect{2, 10, 800, 678};
constexpr QRect kMarkerButtonRect{652, 640, 120, 26};
// Qt's wheel delta of one notch, in eighths of a degree.
constexpr double kWheelNotch = 120.0;
// Shift+wheel slides the view by a tenth of the plot per notch.
constexpr double kPanSharePerNotch = 0.1;

}  // namespace

LogViewerWidget::LogViewerWidget(MainWindow& window, QWidget* parent)
    : PaintWidget(parent), window_(window) {
    setObjectName(QStringLiteral("LOGVIEWER"));
    setGeometry(kViewerRect);
    setCursor(Qt::ArrowCursor);
}

LogView LogViewerWidget::view() const {
    LogView v = window_.app().state().log_view;
    v.width = width();
    v.height = height();
    v.decimate = decimate_;
    return v;
}

LogView& LogViewerWidget::zoom_state() {
    LogView& v = window_.app().state().log_view;
    v.width = width();
    v.height = height();
    return v;
}

void LogViewerWidget::build_model(PaintModel& model) {
    ProgramState& s = window_.app().state();
    model = paint_log_viewer(s.log, view(), cache_);
    paint_log_bench_overlay(s.log, view(), s.scatter, s.log_comparison, model);
    draw_log_markers(model, s.log, view());
}

void LogViewerWidget::mousePressEvent(QMouseEvent* event) {
    const int x = static_cast<int>(event->position().x());
    const QPoint global = event->globalPosition().toPoint();
    window_.run_guarded([&] {
        LogBuffer& log = window_.app().state().log;
        if (event->button() == Qt::LeftButton) log_viewer_press(log, view(), x);
        if (event->button() == Qt::RightButton) show_menu(global);
        if (event->button() == Qt::MiddleButton) {
            panning_ = true;
            pan_start_x_ = x;
            pan_from_ = shown_range(view(), log.count);
            setCursor(Qt::ClosedHandCursor);
        }
    });
}

void LogViewerWidget::mouseMoveEvent(QMouseEvent* event) {
    const int x = static_cast<int>(event->position().x());
    window_.run_guarded([&] {
        LogBuffer& log = window_.app().state().log;
        if ((event->buttons() & Qt::LeftButton) != 0) {
            log_viewer_drag(log, view(), x);
        } else if (panning_ && (event->buttons() & Qt::MiddleButton) != 0) {
            pan_log_view(zoom_state(), log.count, pan_from_, x - pan_start_x_);
        }
    });
}

void LogViewerWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::MiddleButton || !panning_) return;
    panning_ = false;
    setCursor(Qt::ArrowCursor);
}

void LogViewerWidget::wheelEvent(QWheelEvent* event) {
    event->accept();
    // A marking drag keeps the view it began in.
    if ((event->buttons() & Qt::LeftButton) != 0 || panning_) return;
    const QPoint angle = event->angleDelta();
    // A sideways wheel, or Shift (which some systems turn sideways), pans.
    const bool pan = (event->modifiers() & Qt::ShiftModifier) != 0 || angle.y() == 0;
    const double notches = (angle.y() != 0 ? angle.y() : angle.x()) / kWheelNotch;
    const int x = static_cast<int>(event->position().x());
    window_.run_guarded([&] {
        const int count = window_.app().state().log.count;
        LogView& v = zoom_state();
        if (pan) {
            const auto dx = static_cast<int>(notches * kPanSharePerNotch * log_plot_width(v));
            pan_log_view(v, count, shown_range(v, count), dx);
        } else {
            zoom_log_view(v, count, x, notches);
        }
    });
}

void LogViewerWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    window_.run_guarded([&] { log_viewer_double_click(window_.app().state().log, view()); });
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
            window_.run_guarded(
                [this, id] { log_viewer_command(window_.app().state().log, view(), id); });
        });
    }
    add_marker_menu(menu);
    menu.exec(global);
}

void LogViewerWidget::add_marker_menu(QMenu& menu) {
    const LogBuffer& log = window_.app().state().log;
    if (log.markers.empty()) return;
    QMenu* list = menu.addMenu(QStringLiteral("Markers\t] ["));
    list->setObjectName(QStringLiteral("LogMarkers"));
    for (std::size_t i = 0; i < log.markers.size(); ++i) {
        const QString text = QString::fromStdString(log_marker_label(log, log.markers[i]));
        connect(list->addAction(text), &QAction::triggered, this, [this, i] {
            window_.run_guarded([this, i] {
                ProgramState& s = window_.app().state();
                if (i < s.log.markers.size()) {
                    put_log_cursor_on(s.log, zoom_state(), s.log.markers[i].sample);
                }
            });
        });
    }
}

DashboardWidget::DashboardWidget(MainWindow& window, QWidget* parent)
    : PaintWidget(parent), window_(window) {
    setObjectName(QStringLiteral("DASHVIEWER"));
    setGeometry(kViewerRect);
    // The tuner's own marker, for "here it hesitated", in the corner the
    // gauges leave free.
    auto* marker = new QPushButton(QStringLiteral("Marker (M)"), parent);
    marker->setObjectName(QStringLiteral("DropMarker"));
    marker->setGeometry(kMarkerButtonRect);
    marker->setFocusPolicy(Qt::NoFocus);
    connect(marker, &QPushButton::clicked, this,
            [this] { window_.run_guarded([this] { window_.app().command(cmd::drop_marker); }); });
}

void DashboardWidget::build_model(PaintModel& model) {
    const ProgramState& s = window_.app().state();
    const DashboardAlarms alarms{window_.app().alarmed_channels(),
                                 window_.app().alarm_flash_bright()};
    model = paint_dashboard(s.link.live, s.cal, s.link.connected, width(), height(), alarms);
}

}  // namespace veloquin::gui
