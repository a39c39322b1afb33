#pragma once
// Two channels of a log against each other, a third as the colour: the
// points the filters and conditions keep, binned to the plot's pixels so a
// million overlapping samples show as density, not one blob, and a redraw
// costs a pass over the points and one over the pixels.

#include <cstdint>
#include <optional>
#include <vector>

#include "base/paint_model.h"
#include "learn/log_analysis.h"

namespace veloquin {

struct ScatterRequest {
    AnalysisChannel x{nullptr}, y{nullptr};
    std::optional<AnalysisChannel> color;  // none: density alone
    LearnFilters filters;
    std::vector<LogCondition> conditions;
};

struct AxisRange {
    double lo = 0.0, hi = 1.0;
};

struct ScatterPoints {
    ScatterRequest request;
    std::vector<float> x, y, c;        // c empty without a colour channel
    std::vector<std::int32_t> sample;  // each point's sample in the log, rising
    AxisRange x_range, y_range, c_range;
    AnalysisCounts left_out;
};

ScatterPoints scatter_points(const LogBuffer& log, const ScatterRequest& request,
                             const AfrTarget& target);

struct PlotRect {
    int x = 0, y = 0, w = 0, h = 0;
};
// The plot inside a widget of `width` x `height`, clear of the axis labels.
PlotRect scatter_plot_rect(int width, int height);

// Pixels of the plot, ARGB, row by row from the top. `highlight` (first and
// last sample, inclusive) marks the points of a range marked in the viewer;
// `selected` (rising samples) those of the scatter's own selection.
struct ScatterImage {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    std::vector<std::uint32_t> counts;  // scratch kept for its capacity
    std::vector<float> colour_sums;
    std::vector<std::uint32_t> marked;
};
struct SampleSpan {
    std::int32_t first = 0, last = -1;
};
void render_scatter(const ScatterPoints& points, PlotRect plot, SampleSpan highlight,
                    ScatterImage& image);

inline constexpr Rgb kScatterHighlight{230, 0, 160};

// The axes round the plot: ticks and labels in the channels' units, the
// colour legend, and the selection rectangle being dragged.
void paint_scatter_axes(const ScatterPoints& points, int width, int height,
                        const std::optional<PlotRect>& dragging, PaintModel& m);

// The samples whose points fall inside `r` (widget pixels), rising.
std::vector<std::int32_t> scatter_samples_in(const ScatterPoints& points, PlotRect plot,
                                             PlotRect r);

}  // namespace veloquin
