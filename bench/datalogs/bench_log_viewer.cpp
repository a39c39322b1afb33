// The log viewer on a full log (60,000 samples, all sixteen bands), whole and
// zoomed, and the dashboard. The whole paint, model and Qt render, has to stay
// under 5 ms at 800 x 678; the model alone should take a small part of that.

#include <benchmark/benchmark.h>

#include <cmath>

#include "bench/datalogs/busy_log.h"
#include "calibration/calibration.h"
#include "datalogs/dashboard.h"
#include "datalogs/log_sample.h"
#include "datalogs/log_viewer.h"

namespace {

using veloquin::LogBuffer;
using veloquin::LogChannel;
using veloquin::LogSample;
using veloquin::LogView;
using veloquin::LogViewerCache;
using veloquin::bench::fill_busy_log;

std::size_t polyline_points(const veloquin::PaintModel& model) {
    std::size_t points = 0;
    for (const auto& op : model.ops) {
        if (const auto* p = std::get_if<veloquin::PolylineOp>(&op)) points += p->points.size();
    }
    return points;
}

// Everything computed afresh: derived bands, scales, curves, texts.
void BM_LogViewerFullModel(benchmark::State& state) {
    LogBuffer log;
    fill_busy_log(log);
    LogView view;
    view.decimate = state.range(0) != 0;
    std::size_t points = 0;
    for (auto _ : state) {
        LogViewerCache cache;
        const auto model = veloquin::paint_log_viewer(log, view, cache);
        points = polyline_points(model);
        benchmark::DoNotOptimize(model.ops.data());
    }
    state.counters["points"] = static_cast<double>(points);
    state.SetLabel(view.decimate ? "decimated" : "every sample");
}
BENCHMARK(BM_LogViewerFullModel)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

// A cursor drag on a log already painted: only the drawing is redone.
void BM_LogViewerCursorMove(benchmark::State& state) {
    LogBuffer log;
    fill_busy_log(log);
    LogView view;
    view.decimate = state.range(0) != 0;
    LogViewerCache cache;
    veloquin::paint_log_viewer(log, view, cache);
    veloquin::log_viewer_press(log, view, 200);
    int x = 300;
    for (auto _ : state) {
        veloquin::log_viewer_drag(log, view, x);
        x = x == 300 ? 301 : 300;
        const auto model = veloquin::paint_log_viewer(log, view, cache);
        benchmark::DoNotOptimize(model.ops.data());
    }
    state.SetLabel(view.decimate ? "decimated" : "every sample");
}
BENCHMARK(BM_LogViewerCursorMove)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

// A wheel notch or a pan step on the full log zoomed to range(0) samples: the
// curves are rebuilt for the new range, the derived bands and scales are not.
void BM_LogViewerZoomedModel(benchmark::State& state) {
    LogBuffer log;
    fill_busy_log(log);
    LogView view;
    view.range = {20000, static_cast<int>(state.range(0))};
    view.zoomed_log_count = log.count;
    LogViewerCache cache;
    veloquin::paint_log_viewer(log, view, cache);
    std::size_t points = 0;
    for (auto _ : state) {
        view.range.first = view.range.first == 20000 ? 20001 : 20000;
        const auto model = veloquin::paint_log_viewer(log, view, cache);
        points = polyline_points(model);
        benchmark::DoNotOptimize(model.ops.data());
    }
    state.counters["points"] = static_cast<double>(points);
}
BENCHMARK(BM_LogViewerZoomedModel)->Arg(800)->Arg(6000)->Unit(benchmark::kMicrosecond);

// A frame of an hour's log (1.5 million samples, sixteen bands) whose curves
// are built anew, whole (0) or zoomed range(0) times around its middle.
void BM_LogViewerHourFrame(benchmark::State& state) {
    static LogBuffer log;
    static LogViewerCache cache;
    if (log.count == 0) fill_busy_log(log, 1500000);
    LogView view;
    const int zoom = static_cast<int>(state.range(0));
    if (zoom > 1) view.range = {700000, log.count / zoom};
    view.zoomed_log_count = log.count;
    veloquin::paint_log_viewer(log, view, cache);
    for (auto _ : state) {
        view.width = view.width == 800 ? 801 : 800;  // a new rectangle: every curve again
        const auto model = veloquin::paint_log_viewer(log, view, cache);
        benchmark::DoNotOptimize(model.ops.data());
    }
}
BENCHMARK(BM_LogViewerHourFrame)->Arg(1)->Arg(100)->Unit(benchmark::kMillisecond);

void BM_DashboardModel(benchmark::State& state) {
    veloquin::Calibration cal;
    veloquin::set_start_values(cal);
    veloquin::LiveRecord record;
    record.set_word(2, 4500);
    record.set_word(6, 1500);
    for (auto _ : state) {
        const auto model = veloquin::paint_dashboard(record, cal);
        benchmark::DoNotOptimize(model.ops.data());
    }
}
BENCHMARK(BM_DashboardModel)->Unit(benchmark::kMicrosecond);

}  // namespace
