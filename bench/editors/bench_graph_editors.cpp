// How long each graph editor takes to compute its paint model at the size
// its page gives it. The widgets repaint the visible page on every poll
// tick, about 50 times a second, so a frame's model must cost well under a
// millisecond; the MAF emulation editor, with 480 cells and two section
// graphs, is the largest.

#include <benchmark/benchmark.h>

#include "calibration/conversions.h"
#include "editors/graph_editors.h"

namespace veloquin {
namespace {

// A calibration with every table filled, so no cell takes a short path.
Calibration filled_calibration() {
    Calibration cal;
    set_start_values(cal);
    derive_map_pressure_limits(cal);
    for (int m = 0; m < kMapCount; ++m) {
        for (int r = 0; r < kMapRows; ++r) {
            for (int c = 0; c < kMapCols; ++c) {
                cal.cell(static_cast<MapId>(m), r, c) =
                    static_cast<std::int16_t>(400 + r * 120 + c * 30);
            }
        }
    }
    for (int k = 0; k < cv::IAT_SENSOR_POINTS; ++k) {
        cal.curve_word(cv::IAT_SENSOR + k) = static_cast<std::int16_t>(120 - 5 * k);
        cal.curve_word(cv::IAT_CORRECTION + k) = static_cast<std::int16_t>(20 - k);
        cal.set_maf_point(k, static_cast<std::uint16_t>(k * 1024));
    }
    for (int k = 0; k < cv::KNOCK_POINTS; ++k)
        cal.curve_word(cv::KNOCK + k) = static_cast<std::int16_t>(300 + 150 * k);
    for (int k = 0; k < cv::AFR_PROTECT_POINTS; ++k)
        cal.curve_word(cv::AFR_PROTECT + k) = 130;
    rebuild_maf_reverse_table(cal);
    return cal;
}

struct Frame {
    Calibration cal = filled_calibration();
    EditorState state;
    LiveRecord live;
    Frame() {
        state.cursor.map_cursor_row = 10;
        state.cursor.map_cursor_col = 8;
        state.cursor.map_anchor_row = 6;
        state.cursor.map_anchor_col = 4;
        state.cursor.curve_anchor = 3;
        state.cursor.curve_cursor = 9;
        live.set_word(2, 3200);
        live.set_word(6, 1500);
        live.set_word(12, 2000);
        live.set_word(14, 2000);
    }
};

// As a widget paints: one model per editor, refilled every frame.
void BM_PaintEditor(benchmark::State& bench) {
    const auto kind = static_cast<EditorKind>(bench.range(0));
    const EditorInfo& info = editor_info(kind);
    Frame f;
    const EditorView view{info.width, info.height, f.cal, f.state, f.live};
    PaintModel model;
    for (auto _ : bench) {
        paint_editor(kind, view, model);
        benchmark::DoNotOptimize(model.ops.data());
    }
    bench.SetLabel(std::string(info.window_class));
    bench.counters["ops"] = static_cast<double>(model.ops.size());
}
BENCHMARK(BM_PaintEditor)->DenseRange(0, kEditorKindCount - 1)->Unit(benchmark::kMicrosecond);

// The MAF emulation editor with a fresh model each frame: the cost of not keeping one.
void BM_PaintMapToMafFreshModel(benchmark::State& bench) {
    const EditorInfo& info = editor_info(EditorKind::map_to_maf);
    Frame f;
    const EditorView view{info.width, info.height, f.cal, f.state, f.live};
    for (auto _ : bench) {
        PaintModel model = paint_editor(EditorKind::map_to_maf, view);
        benchmark::DoNotOptimize(model.ops.data());
    }
}
BENCHMARK(BM_PaintMapToMafFreshModel)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace veloquin

BENCHMARK_MAIN();
