// Learning from a full log (60,000 samples) and the map editor's frame while
// a proposal is under review. A tuner changes a filter and waits for the new
// proposal: both proposals must come in under 10 ms; the review's frame must
// stay within the editors' 2 ms.

#include <benchmark/benchmark.h>

#include <cmath>

#include "calibration/conversions.h"
#include "datalogs/live_sample.h"
#include "editors/graph_editors.h"
#include "editors/learn_paint.h"
#include "learn/learn_maps.h"
#include "tests/editors/editor_fixture.h"

namespace veloquin {
namespace {

Calibration tuned() {
    Calibration cal = testing::tuned_calibration();
    cal.param(hw::O2FB_Target) = 1400;
    cal.param(hw::AFR_0V) = 1000;
    cal.param(hw::AFR_5V) = 2000;
    for (int r = 0; r < kMapRows; ++r) {
        for (int c = 0; c < kMapCols; ++c)
            cal.cell(MapId::map_2_maf, r, c) = static_cast<std::int16_t>(500 + 80 * r + 50 * c);
    }
    return cal;
}

constexpr int kDriveSamples = 60000;

// A recorded drive filling the whole log: every sample reaches the maps.
void fill_drive(LogBuffer& log, const Calibration& cal, int samples = kDriveSamples) {
    log.count = samples;
    log.make_room(log.count);
    for (int i = 0; i < log.count; ++i) {
        const double t = i * 0.002;
        LiveRecord r;
        r.set_word(2, 2500 + static_cast<int>(2200 * std::sin(t)));
        r.set_word(4, 80 + static_cast<int>(30 * std::sin(t * 0.5)));
        r.set_word(6, 1500 + static_cast<int>(900 * std::sin(t * 1.7)));
        r.set_word(8, 1800 + static_cast<int>(1200 * std::sin(t * 1.3)));
        r.set_word(12, 2000 + static_cast<int>(1500 * std::sin(t * 0.9)));
        r.set_word(14, 2000);
        r.set_word(16, 2000 + static_cast<int>(300 * std::sin(t * 2.3)));
        fill_sample_from_live(log.samples[static_cast<std::size_t>(i)], r, cal,
                              static_cast<std::uint32_t>(i) * 2U);
    }
}

struct Drive {
    Calibration cal = tuned();
    LogBuffer log;
    Drive() { fill_drive(log, cal); }
};

void BM_LearnBothProposals(benchmark::State& bench) {
    static const Drive d;
    const LearnFilters filters = bench.range(0) != 0 ? LearnFilters{} : LearnFilters::none();
    for (auto _ : bench) {
        LearnResult maf = learn_from_log(d.cal, d.log, LearnMap::maf, filters);
        LearnResult fuel = learn_from_log(d.cal, d.log, LearnMap::fuel, filters);
        benchmark::DoNotOptimize(maf);
        benchmark::DoNotOptimize(fuel);
    }
    bench.SetItemsProcessed(bench.iterations() * 2 * kDriveSamples);
}
// 0: every sample learnt; 1: the default filters.
BENCHMARK(BM_LearnBothProposals)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// An hour at the stream rate, the default filters, one map.
void BM_LearnHour(benchmark::State& bench) {
    static const Calibration cal = tuned();
    static LogBuffer log;
    if (log.count == 0) fill_drive(log, cal, 1500000);
    for (auto _ : bench) {
        LearnResult fuel = learn_from_log(cal, log, LearnMap::fuel, LearnFilters{});
        benchmark::DoNotOptimize(fuel);
    }
}
BENCHMARK(BM_LearnHour)->Unit(benchmark::kMillisecond);

void BM_HitCountsOfEveryMap(benchmark::State& bench) {
    static const Drive d;
    for (auto _ : bench) {
        MapHitCounts hits = hit_counts(d.cal, d.log, LearnFilters{});
        benchmark::DoNotOptimize(hits);
    }
}
BENCHMARK(BM_HitCountsOfEveryMap)->Unit(benchmark::kMillisecond);

// The MAF emulation editor's model with a proposal over every cell, hit
// counts shaded and shown, and the frames of an earlier apply.
void BM_ReviewFrame(benchmark::State& bench) {
    static const Drive d;
    Calibration cal = d.cal;
    LearnResult learnt = learn_from_log(cal, d.log, LearnMap::maf, LearnFilters::none());
    for (CellLearning& c : learnt.proposal.cells) {
        c.state = ProposalCell::proposed;
        c.value = static_cast<std::int16_t>(c.value + 40);
        c.hits = std::max(c.hits, 1);
    }
    const MapHitCounts hits = hit_counts(cal, d.log, LearnFilters::none());
    Calibration before = cal;
    before.cell(MapId::map_2_maf, 5, 5) += 20;
    LearnView view;
    view.proposal = &learnt.proposal;
    view.hits = &hits[0];
    view.most_hits = most_hits(hits[0]);
    view.hit_numbers = bench.range(0) != 0;
    view.learnt_from = &before;
    EditorState state;
    state.cursor.map_cursor_row = 10;
    state.cursor.map_cursor_col = 8;
    LiveRecord live;
    const EditorInfo& info = editor_info(EditorKind::map_to_maf);
    PaintModel model;
    for (auto _ : bench) {
        paint_editor(EditorKind::map_to_maf,
                     EditorView{info.width, info.height, cal, state, live, nullptr, &view}, model);
        benchmark::DoNotOptimize(model.ops.data());
    }
}
// 0: proposed values; 1: hit counts in the cells.
BENCHMARK(BM_ReviewFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace veloquin

BENCHMARK_MAIN();
