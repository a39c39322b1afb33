// The log viewer on a full log (60,000 samples, all sixteen bands) and the
// dashboard. The whole paint, model and Qt render, has to stay under 5 ms at
// 800 x 678; the model alone should take a small part of that.

#include <benchmark/benchmark.h>

#include <cmath>

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

// Signals that move on every sample, so each pixel column has real extremes.
void fill_busy_log(LogBuffer& log) {
    log.count = veloquin::LOG_CAPACITY;
    for (int i = 0; i < log.count; ++i) {
        LogSample& s = log.samples[static_cast<std::size_t>(i)];
        const double t = i * 0.01;
        s.rpm = 3500 + static_cast<int>(2500 * std::sin(t)) + (i * 37) % 200;
        s.speed = 60 + static_cast<int>(50 * std::sin(t * 0.3)) + i % 3;
        s.boost = static_cast<float>(0.3 + 0.9 * std::sin(t * 1.7) + 0.01 * (i % 5));
        s.throttle = static_cast<float>(50 + 50 * std::sin(t * 2.1));
        s.maf_in = static_cast<float>(2.5 + 2.4 * std::sin(t * 0.9));
        s.maf_out = static_cast<float>(2.5 + 2.4 * std::cos(t * 0.9));
        s.temperature = 30 + (i / 500) % 40;
        s.afr = static_cast<float>(13 + 3 * std::sin(t * 1.3));
        s.inj_duty = static_cast<float>(40 + 40 * std::sin(t * 0.7));
        s.wg_duty = static_cast<float>(i % 90);
        s.fuel_corr = static_cast<float>(i % 200 - 100);
        s.knock = static_cast<float>((i * 13) % 500) * 0.01F;
        s.ecu_load = 100 + (i * 7) % 90;
        s.ecu_ignition = static_cast<float>(20 + 15 * std::sin(t * 3.1));
    }
    log.flags.fill(true);
    log.set_visible(LogChannel::ls_switches, false);
    log.mark_changed();
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
        points = 0;
        for (const auto& op : model.ops) {
            if (const auto* p = std::get_if<veloquin::PolylineOp>(&op)) points += p->points.size();
        }
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
