#include "gui/differences_widget.h"

#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

#include "gui/main_window.h"
#include "gui/parameter_pages.h"
#include "gui/tool_window_placement.h"

namespace veloquin::gui {
namespace {

constexpr std::uint32_t kRefreshEveryMs = 250;

}  // namespace

DifferencesWidget::DifferencesWidget(MainWindow& window)
    : QWidget(&window, Qt::Tool), window_(window) {
    setObjectName(QStringLiteral("differences"));
    setWindowTitle(QStringLiteral("Differences"));
    resize(560, 420);
    auto* layout = new QVBoxLayout(this);
    summary_ = new QLabel(this);
    list_ = new QListWidget(this);
    list_->setUniformItemSizes(true);  // a whole map of differences stays quick to fill
    layout->addWidget(summary_);
    layout->addWidget(list_);
    connect(list_, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { go_to(list_->row(item)); });
}

void DifferencesWidget::sync() {
    const Comparison& c = window_.app().state().comparison;
    // Automapping changes the calibration at every 20 ms tick; a list of a
    // thousand lines made that often would eat the event loop (the editors'
    // frames are painted from the calibration itself and never lag).
    const std::uint32_t now = window_.now_ms();
    const bool begun_or_ended = c.started != started_seen_ || c.active != list_active_;
    if (!begun_or_ended && now - refreshed_ms_ < kRefreshEveryMs) return;
    refreshed_ms_ = now;
    window_.app().refresh_comparison();
    list_active_ = c.active;
    if (c.started == started_seen_ && c.revision == revision_seen_) return;
    const bool begun = c.started != started_seen_;
    started_seen_ = c.started;
    revision_seen_ = c.revision;
    fill();
    window_.parameter_pages()->mark_differences(differing_controls(window_.app().state().cal, c));
    if (!c.active) {
        hide();
    } else if (begun) {
        place_beside(*this, window_);
        show();
        raise();
    }
}

void DifferencesWidget::fill() {
    const Comparison& c = window_.app().state().comparison;
    const int keep = list_->currentRow();
    list_->clear();
    if (!c.active) return;
    const QString name = QString::fromStdString(c.name);
    const auto n = static_cast<int>(c.differences.size());
    summary_->setText(n == 0 ? QStringLiteral("No differences from %1").arg(name)
                             : QStringLiteral("%1 difference%2 from %3 (file -> program)")
                                   .arg(n)
                                   .arg(n == 1 ? "" : "s")
                                   .arg(name));
    setWindowTitle(QStringLiteral("Differences - %1").arg(name));
    QStringList lines;
    lines.reserve(n);
    for (const CalibrationDifference& d : c.differences)
        lines << QString::fromStdString(d.text);
    list_->addItems(lines);
    if (keep >= 0 && keep < n) list_->setCurrentRow(keep);
}

void DifferencesWidget::go_to(int row) {
    if (row < 0) return;
    window_.run_guarded([this, row] {
        const auto target = window_.app().go_to_difference(static_cast<std::size_t>(row));
        if (!target) return;
        window_.activateWindow();
        if (target->control >= 0) {
            window_.parameter_pages()->widget(target->control)->setFocus(Qt::OtherFocusReason);
        }
    });
}

}  // namespace veloquin::gui
