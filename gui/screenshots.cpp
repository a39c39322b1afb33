#include "gui/screenshots.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QScreen>
#include <QWindow>
#include <cmath>
#include <cstdio>

#include "app/cli.h"
#include "app/commands.h"
#include "editors/pages.h"
#include "gui/alarm_dialog.h"
#include "gui/differences_widget.h"
#include "gui/histogram_widget.h"
#include "gui/learn_review_widget.h"
#include "gui/log_bench.h"
#include "gui/main_window.h"
#include "gui/scatter_widget.h"

namespace veloquin::gui {
namespace {

constexpr int kPollMs = 50;
constexpr int kDeviceWaitMs = 5000;
constexpr int kLiveRecordsWanted = 5;

}  // namespace

QImage on_screen(QWidget* w) {
    for (int i = 0; i < 3; ++i) {
        QApplication::sendPostedEvents();
        QApplication::processEvents();
    }
    QWidget* top = w->window();
    const QImage whole = top->screen()->grabWindow(top->winId()).toImage();
    QImage part = whole.copy(QRect(w->mapTo(top, QPoint(0, 0)), w->size()))
                      .convertToFormat(QImage::Format_RGB32);
    part.setDevicePixelRatio(1.0);
    return part;
}

Screenshots::Screenshots(MainWindow& window, QString folder, bool wait_for_device, bool record)
    : window_(window),
      folder_(std::move(folder)),
      wait_for_device_(wait_for_device),
      record_(record) {
    timer_.setInterval(kPollMs);
    connect(&timer_, &QTimer::timeout, this, &Screenshots::poll);
}

// The run ends without asking anyone: workmap.cfg is written or the reason
// goes to stderr, never into a Save As dialog that nobody sees.
void Screenshots::finish() {
    window_.app().exit_at_once();
    window_.request_close();
}

void Screenshots::start() {
    if (!QDir().mkpath(folder_)) {
        std::fprintf(stderr, "veloquin: cannot create %s\n", qPrintable(folder_));
        failed_ = true;
        finish();
        return;
    }
    timer_.start();
}

void Screenshots::poll() {
    waited_ms_ += kPollMs;
    // The recording runs from the poll; the pages are taken once it has
    // ended by itself and the log viewer shows the whole log.
    if (recording_started_) {
        if (window_.app().recording()) return;
        timer_.stop();
        take_all();
        return;
    }
    const bool ready = !wait_for_device_ || (window_.app().state().link.connected &&
                                             window_.live_records_shown() >= kLiveRecordsWanted);
    if (!ready && waited_ms_ < kDeviceWaitMs) return;
    if (!ready)
        std::fprintf(stderr, "veloquin: the device did not answer; pages taken without it\n");
    if (ready && record_) {
        window_.run_guarded([this] { window_.app().command(cmd::start_log_record); });
        recording_started_ = window_.app().recording();
        if (recording_started_) return;
    }
    timer_.stop();
    take_all();
}

void Screenshots::save(const QImage& image, const std::string& name) {
    const QString path = QDir(folder_).filePath(QString::fromStdString(name));
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "veloquin: cannot write %s\n", qPrintable(path));
        failed_ = true;
    }
}

QImage Screenshots::page_image(Page page) {
    window_.select_page(page);
    return on_screen(window_.surface());
}

// A review under way: both maps' proposals, their hit counts and the window.
void Screenshots::take_learning() {
    Application& app = window_.app();
    // The cursor on the cell the log moves most, so the sections show the proposal.
    const MapProposal& p = app.state().learn.result.proposal;
    double largest = 0.0;
    for (int k = 0; k < kMapCells; ++k) {
        const CellLearning& cell = p.cells[static_cast<std::size_t>(k)];
        const int now = app.state().cal.map(p.map)[static_cast<std::size_t>(k)];
        const double moved =
            std::abs(learn_change_percent(app.state().cal, p.map, now, cell.value));
        if (cell.state != ProposalCell::proposed || moved <= largest) continue;
        largest = moved;
        EditorCursor& c = app.state().editor.cursor;
        c.map_cursor_row = c.map_anchor_row = k / kMapCols;
        c.map_cursor_col = c.map_anchor_col = k % kMapCols;
    }
    save(page_image(Page::maf_emulation), "learn-maf-emulation.png");
    window_.run_guarded([&app] { app.show_learn_hit_numbers(true); });
    save(page_image(Page::maf_emulation), "learn-hit-counts.png");
    window_.run_guarded([&app] { app.show_learn_hit_numbers(false); });
    save(on_screen(window_.learn_review()), "learn-review.png");
    window_.run_guarded([&app] { app.change_learning(LearnMap::fuel, app.state().learn.filters); });
    save(page_image(Page::fuel_correction), "learn-fuel-correction.png");
    finish();
}

// The "Alarms..." dialog as it opens, and the log viewer on the first marker.
void Screenshots::take_alarms() {
    AlarmDialog dialog(window_.app().state().alarm_settings, &window_);
    dialog.show();
    QElapsedTimer waited;
    waited.start();
    while (!(dialog.windowHandle() != nullptr && dialog.windowHandle()->isExposed()) &&
           waited.elapsed() < kDeviceWaitMs) {
        QApplication::processEvents(QEventLoop::AllEvents, kPollMs);
    }
    save(on_screen(&dialog), "alarm-dialog.png");
    dialog.close();
    window_.select_page(Page::log_viewer);
    window_.run_guarded([this] { window_.app().command(cmd::next_marker); });
    save(on_screen(window_.surface()), "log-markers.png");
}

void Screenshots::take_log_bench() {
    Application& app = window_.app();
    save(page_image(histogram_page(app.state().histogram.settings.map)), "bench-histogram.png");
    save(on_screen(window_.log_bench()->histogram()), "bench-histogram-window.png");
    save(on_screen(window_.log_bench()->scatter()), "bench-scatter.png");
    save(page_image(Page::log_viewer), "bench-compare.png");
    window_.request_close();
}

void Screenshots::take_all() {
    if (window_.app().state().learn.active) {
        take_learning();
        return;
    }
    if (window_.app().state().histogram.active) {
        take_log_bench();
        return;
    }
    const Edition edition = window_.edition();
    // Pages taken while comparing show the marks; their own names keep them
    // apart from the plain set.
    const bool comparing = window_.app().state().comparison.active;
    for (const Page page : page_order(edition)) {
        save(page_image(page), comparing ? comparison_screenshot_file_name(page)
                                         : screenshot_file_name(page, edition));
    }
    if (comparing) save(on_screen(window_.differences()), "compare-differences.png");
    // A recording that caught alarms (the simulated device's events) shows them.
    if (!comparing && !window_.app().state().log.markers.empty()) take_alarms();
    finish();
}

}  // namespace veloquin::gui
