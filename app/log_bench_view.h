#pragma once
// The scatter plot's state and the second log drawn beside the first, and
// what both add to the log viewer: the scatter's selected samples marked
// under each band, the second log's curves in a second colour with a legend
// naming both files, and the cursor reading both values and their difference.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/paint_model.h"
#include "datalogs/log_bands.h"
#include "datalogs/log_viewer.h"
#include "learn/log_scatter.h"

namespace veloquin {

struct ScatterSettings {
    std::string x = "RPM";
    std::string y = "BOOST";
    std::string color = "AFR";  // empty: density alone
    bool learning_filters = false;
    std::vector<std::string> conditions;
};

struct ScatterState {
    bool active = false;
    ScatterSettings settings;
    ScatterPoints points;
    std::string error;                   // a channel or condition refused
    std::vector<std::int32_t> selected;  // samples, rising
    std::uint64_t log_revision = 0;
    int started = 0;
    int revision = 0;
};

void recompute_scatter(ScatterState& scatter, const LogBuffer& log, const Calibration& cal,
                       const LearnFilters& learning);
// The viewer's marked range as samples; empty (last before first) when none is marked.
SampleSpan viewer_marked_span(const LogBuffer& log);

inline constexpr Rgb kSecondLogColor{220, 110, 0};

struct LogComparison {
    bool active = false;
    std::unique_ptr<LogBuffer> other;
    std::string first_name;  // of the loaded log, kept by every load
    std::string other_name;
    // The second log's sample j stands under the first log's sample j + offset.
    int offset = 0;
    int revision = 0;
    // The first log's band scales, kept while its revision holds.
    std::uint64_t scales_revision = ~std::uint64_t{0};
    std::array<BandScale, kLogBandCount> scales{};
    // The second log's curves as last drawn, and what they were drawn for:
    // a frame that moved nothing of them costs a copy, not a pass over the log.
    struct CurvesKey {
        std::uint64_t revision = 0, other_revision = 0;
        int offset = 0, first = 0, count = 0, width = 0, height = 0;
        ChannelFlags flags{};
        friend bool operator==(const CurvesKey&, const CurvesKey&) = default;
    };
    std::optional<CurvesKey> curves_for;
    std::vector<PolylineOp> curves;
};

// Samples of the first log the offset moves for one key press, or one pixel
// of a Ctrl+drag in the view on show.
int comparison_key_step(const LogView& view, int log_count);
int comparison_drag_samples(const LogView& view, int log_count, int dx);

// What the log bench adds to the viewer's picture.
void paint_log_bench_overlay(const LogBuffer& log, const LogView& view, const ScatterState& scatter,
                             LogComparison& comparison, PaintModel& m);

}  // namespace veloquin
