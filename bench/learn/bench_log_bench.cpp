// The log bench on a drive of 1.5 million samples: the histogram of a
// channel onto a map (under 50 ms), a redraw of the scatter plot (under
// 30 ms), and a viewer frame with a second log of the same length (under
// 10 ms).

#include <benchmark/benchmark.h>

#include "app/log_bench_view.h"
#include "bench/datalogs/busy_log.h"
#include "datalogs/log_zoom.h"
#include "learn/log_histogram.h"
#include "learn/log_scatter.h"
#include "tests/learn/learn_logs.h"

namespace veloquin {
namespace {

constexpr int kSamples = 1'500'000;

// The busy log's signals repeated to 1.5 million samples.
const LogBuffer& long_log() {
    static const LogBuffer log = [] {
        LogBuffer one;
        bench::fill_busy_log(one);
        LogBuffer out;
        out.samples.resize(kSamples);
        for (int i = 0; i < kSamples; ++i)
            out.samples[static_cast<std::size_t>(i)] =
                one.samples[static_cast<std::size_t>(i % one.count)];
        out.count = kSamples;
        out.flags = one.flags;
        out.mark_changed();
        return out;
    }();
    return log;
}

void BM_HistogramOfAfrErrorOntoTheFuelMap(benchmark::State& state) {
    const Calibration cal = testing::learning_calibration();
    HistogramRequest r;
    r.map = MapId::fuel_correction;
    r.channel = AnalysisChannel{nullptr};
    r.filters = LearnFilters::none();
    r.conditions.push_back(*parse_condition("THROTTLE > 5").condition);
    for (auto _ : state)
        benchmark::DoNotOptimize(log_histogram(cal, long_log(), r, afr_target_of(cal)));
}
BENCHMARK(BM_HistogramOfAfrErrorOntoTheFuelMap)->Unit(benchmark::kMillisecond);

void BM_ScatterRedraw(benchmark::State& state) {
    ScatterRequest r;
    r.x = *find_analysis_channel("RPM");
    r.y = *find_analysis_channel("BOOST");
    r.color = find_analysis_channel("AFR");
    r.filters = LearnFilters::none();
    const ScatterPoints points =
        scatter_points(long_log(), r, [](const LogSample&) { return 14.7; });
    const PlotRect plot = scatter_plot_rect(800, 600);
    ScatterImage image;
    for (auto _ : state) {
        render_scatter(points, plot, {1000, 5000}, image);
        benchmark::DoNotOptimize(image.pixels.data());
    }
}
BENCHMARK(BM_ScatterRedraw)->Unit(benchmark::kMillisecond);

void BM_ViewerOverlayOfASecondLog(benchmark::State& state) {
    const LogBuffer& log = long_log();
    LogComparison c;
    c.active = true;
    c.other = std::make_unique<LogBuffer>(log);
    c.offset = 1234;
    c.first_name = "first.log";
    c.other_name = "second.log";
    const ScatterState scatter;
    const LogView view;
    PaintModel m;
    paint_log_bench_overlay(log, view, scatter, c, m);  // the scales, once per log
    for (auto _ : state) {
        m.ops.clear();
        paint_log_bench_overlay(log, view, scatter, c, m);
        benchmark::DoNotOptimize(m.ops.data());
    }
}
BENCHMARK(BM_ViewerOverlayOfASecondLog)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace veloquin

BENCHMARK_MAIN();
