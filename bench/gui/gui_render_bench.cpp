// A whole repaint of each custom-painted page as Qt puts it on screen: the
// paint model and QPainter together, through QWidget::render into an image
// the widget's size. The poll repaints the visible one about 50 times a
// second while connected, so each must stay well under 20 ms (aims: 2 ms for
// an editor and the dashboard, 5 ms for the viewer on a full log).

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QImage>
#include <clocale>
#include <memory>

#include "app/commands.h"
#include "app/startup.h"
#include "bench/datalogs/busy_log.h"
#include "bench/gui/gui_bench_support.h"
#include "datalogs/log_viewer.h"
#include "device/port_table.h"
#include "devsim/device_store.h"
#include "editors/graph_editors.h"
#include "gui/editor_widget.h"
#include "gui/main_window.h"
#include "gui/viewer_widgets.h"

namespace veloquin::gui {
namespace {

// One window for every benchmark, with what a connected session shows: the
// simulated device's calibration, a live record at a mid-range point, visit
// and automapping marks, and a selection so the section graphs have segments.
class Session {
  public:
    Session() : window_(std::make_unique<MainWindow>(Edition::full, ports_)) {
        window_->app().start(working_folders(folder_.path().string() + "/"), folder_.path());
        window_->create();
        window_->resize(window_->sizeHint());
        window_->show();
        QCoreApplication::processEvents();
        ProgramState& s = window_->app().state();
        s.cal = devsim::plausible_calibration();
        s.link.live.set_word(2, 4500);  // engine speed
        s.link.live.set_word(6, 1500);
        for (int r = 0; r < kMapRows; r += 3) {
            for (int c = 0; c < kMapCols; c += 2) {
                s.editor.visits.mark(r, c);
                s.editor.automap_cell(r, c).count = r + c;
            }
        }
        s.editor.cursor.map_anchor_row = 4;
        s.editor.cursor.map_anchor_col = 3;
        s.editor.cursor.map_cursor_row = 9;
        s.editor.cursor.map_cursor_col = 12;
        bench::fill_busy_log(s.log);
    }
    MainWindow& window() { return *window_; }

  private:
    ScratchFolder folder_;
    PortTable ports_;
    std::unique_ptr<MainWindow> window_;
};

std::unique_ptr<Session>& session_slot() {
    static std::unique_ptr<Session> s;
    return s;
}

Session& session() {
    std::unique_ptr<Session>& s = session_slot();
    if (!s) s = std::make_unique<Session>();
    return *s;
}

void render_loop(benchmark::State& state, QWidget* widget) {
    QImage image(widget->size(), QImage::Format_RGB32);
    for (auto _ : state) {
        widget->render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["width"] = widget->width();
    state.counters["height"] = widget->height();
}

void BM_RenderEditor(benchmark::State& state) {
    const auto kind = static_cast<EditorKind>(state.range(0));
    const EditorInfo* info = nullptr;
    for (const EditorInfo& e : graph_editors()) {
        if (e.kind == kind) info = &e;
    }
    MainWindow& window = session().window();
    window.app().select_page(info->page);
    state.SetLabel(std::string(info->window_class));
    render_loop(state, window.editor(kind));
}
BENCHMARK(BM_RenderEditor)->DenseRange(0, kEditorKindCount - 1)->Unit(benchmark::kMicrosecond);

// A proposal learnt from the full log under review on the MAF emulation map,
// with the hit shade: each frame builds the model afresh and paints it, as a
// repaint after a change does. Arg 1 shows the hit counts in the cells.
void BM_RenderLearnReview(benchmark::State& state) {
    MainWindow& window = session().window();
    Application& app = window.app();
    app.select_page(Page::maf_emulation);
    app.state().learn.show_hits = true;
    app.command(cmd::learn_from_log);
    app.show_learn_hit_numbers(state.range(0) != 0);
    EditorWidget* editor = window.editor(EditorKind::map_to_maf);
    QImage image(editor->size(), QImage::Format_RGB32);
    for (auto _ : state) {
        editor->refresh();
        editor->render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.SetLabel(app.state().learn.active ? "reviewing" : "no proposal");
    app.discard_learning();
    app.state().learn.show_hits = false;
}
BENCHMARK(BM_RenderLearnReview)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// 60,000 samples, all sixteen bands; the first render builds the cache.
void BM_RenderLogViewer(benchmark::State& state) {
    MainWindow& window = session().window();
    window.app().select_page(Page::log_viewer);
    LogViewerWidget* viewer = window.log_viewer();
    viewer->set_decimate(state.range(0) != 0);
    state.SetLabel(state.range(0) != 0 ? "decimated" : "every sample");
    render_loop(state, viewer);
    viewer->set_decimate(true);
}
BENCHMARK(BM_RenderLogViewer)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

// A drag on the painted full log: the cursor moves, the curves are reused.
void BM_RenderLogViewerCursorMove(benchmark::State& state) {
    MainWindow& window = session().window();
    window.app().select_page(Page::log_viewer);
    LogViewerWidget* viewer = window.log_viewer();
    LogBuffer& log = window.app().state().log;
    log_viewer_press(log, viewer->view(), 200);
    QImage image(viewer->size(), QImage::Format_RGB32);
    int x = 300;
    for (auto _ : state) {
        log_viewer_drag(log, viewer->view(), x);
        x = x == 300 ? 301 : 300;
        viewer->render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
    log_viewer_double_click(log, viewer->view());
}
BENCHMARK(BM_RenderLogViewerCursorMove)->Unit(benchmark::kMicrosecond);

// The full log zoomed to range(0) samples, one sample further at each
// render as a pan does: the curves of the range are rebuilt every time.
void BM_RenderLogViewerZoomed(benchmark::State& state) {
    MainWindow& window = session().window();
    window.app().select_page(Page::log_viewer);
    LogViewerWidget* viewer = window.log_viewer();
    LogView& view = window.app().state().log_view;
    view.range = {20000, static_cast<int>(state.range(0))};
    view.zoomed_log_count = window.app().state().log.count;
    QImage image(viewer->size(), QImage::Format_RGB32);
    for (auto _ : state) {
        view.range.first = view.range.first == 20000 ? 20001 : 20000;
        viewer->render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
    view.range = {};
}
BENCHMARK(BM_RenderLogViewerZoomed)->Arg(800)->Arg(6000)->Unit(benchmark::kMicrosecond);

void BM_RenderDashboard(benchmark::State& state) {
    MainWindow& window = session().window();
    window.app().select_page(Page::dashboard);
    render_loop(state, window.dashboard());
}
BENCHMARK(BM_RenderDashboard)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace veloquin::gui

int main(int argc, char** argv) {
    return veloquin::gui::run_gui_benchmarks(argc, argv,
                                             [] { veloquin::gui::session_slot().reset(); });
}
