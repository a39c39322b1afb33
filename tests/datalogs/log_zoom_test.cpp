#include "datalogs/log_zoom.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "datalogs/log_sample.h"
#include "tests/datalogs/log_samples.h"

namespace veloquin {
namespace {

using testing::fill_numbered;
using testing::numbered_sample;

constexpr int kPlot = 740;  // plot width of the 800-pixel viewer

LogBuffer numbered_log(int count) {
    LogBuffer log;
    fill_numbered(log, count);
    log.mark_changed();
    return log;
}

// The sample a click at client x finds in the view.
int sample_under(const LogView& view, int log_count, int x) {
    const SampleRange r = shown_range(view, log_count);
    return r.first + (x - kLogPlotLeft) * r.count / kPlot;
}

std::vector<std::string> time_labels(const PaintModel& m, int y) {
    std::vector<std::string> out;
    for (const TextOp* t : m.texts()) {
        if (t->at.y == y) out.push_back(t->text);
    }
    return out;
}

TEST(LogZoom, WheelKeepsThePointersSampleAndStaysInsideTheLog) {
    const int n = 60000;
    LogView view;
    const int x = kLogPlotLeft + 300;
    const int pinned = sample_under(view, n, x);
    int notches = 0;
    while (zoom_log_view(view, n, x, 1.0)) {
        ++notches;
        EXPECT_EQ(sample_under(view, n, x), pinned) << notches << " notches in";
    }
    EXPECT_EQ(shown_range(view, n).count, kLogMinZoomSamples);
    EXPECT_EQ(notches, 32);  // 60,000 / 1.25^32 falls below 50
    EXPECT_FALSE(zoom_log_view(view, n, x, 0.5)) << "already at the narrowest";

    // Out again by a fine-grained wheel's fractions, then whole: no range left.
    EXPECT_TRUE(zoom_log_view(view, n, x, -0.25));
    EXPECT_GT(shown_range(view, n).count, kLogMinZoomSamples);
    EXPECT_TRUE(zoom_log_view(view, n, x, -100.0));
    EXPECT_EQ(view.range, SampleRange{});

    // Out near an end: the range stops at the log's first or last sample.
    view = {800, 678, {n - 1000, 1000}, true, n};
    EXPECT_TRUE(zoom_log_view(view, n, kLogPlotLeft + 10, -1.0));
    EXPECT_EQ(shown_range(view, n), (SampleRange{n - 1250, 1250}));
    view = {800, 678, {100, 1000}, true, n};
    EXPECT_TRUE(zoom_log_view(view, n, kLogPlotLeft + 730, -1.0));
    EXPECT_EQ(shown_range(view, n), (SampleRange{0, 1250}));

    // A short log zooms only down to itself; an empty one not at all.
    LogView tiny;
    EXPECT_FALSE(zoom_log_view(tiny, 30, x, 3.0));
    EXPECT_FALSE(zoom_log_view(tiny, 0, x, 3.0));
}

TEST(LogZoom, PanSlidesTheRangeAndAnotherLogSizeShowsTheWholeLog) {
    const int n = 10000;
    LogView view;
    EXPECT_FALSE(pan_log_view(view, n, shown_range(view, n), 100)) << "the whole log has no room";
    view.range = {4000, 1480};  // two samples per pixel
    view.zoomed_log_count = n;
    const SampleRange from = shown_range(view, n);
    EXPECT_TRUE(pan_log_view(view, n, from, 100));
    EXPECT_EQ(shown_range(view, n), (SampleRange{3800, 1480}));
    EXPECT_TRUE(pan_log_view(view, n, from, -100));  // one drag: always from where it began
    EXPECT_EQ(shown_range(view, n), (SampleRange{4200, 1480}));
    pan_log_view(view, n, from, 100000);
    EXPECT_EQ(shown_range(view, n), (SampleRange{0, 1480}));
    pan_log_view(view, n, from, -100000);
    EXPECT_EQ(shown_range(view, n), (SampleRange{n - 1480, 1480}));

    // A load, crop or recording changes the size: the whole new log is shown.
    EXPECT_EQ(shown_range(view, n - 1), (SampleRange{0, n - 1}));
    EXPECT_TRUE(reset_log_view_zoom(view));
    EXPECT_EQ(shown_range(view, n), (SampleRange{0, n}));
    EXPECT_FALSE(reset_log_view_zoom(view));
}

TEST(LogViewerZoomed, MouseReadOutsGridAndCurvesUseTheShownSamples) {
    LogBuffer log = numbered_log(6000);
    log.flags.fill(false);
    log.set_visible(LogChannel::rpm, true);
    LogView view;
    view.range = {1000, 370};  // two pixels per sample
    view.zoomed_log_count = log.count;
    ASSERT_TRUE(log_viewer_press(log, view, kLogPlotLeft + 101));
    EXPECT_EQ(log.cursor_index, 1050);

    LogViewerCache cache;
    PaintModel m = paint_log_viewer(log, view, cache);
    EXPECT_EQ(m.texts()[6]->text, "RPM: " + std::to_string(numbered_sample(1050).rpm));
    // Real sample numbers, every 50 samples of the shown range.
    EXPECT_EQ(time_labels(m, 658), (std::vector<std::string>{"1000", "1050", "1100", "1150", "1200",
                                                             "1250", "1300", "1350"}));
    // Fewer samples than pixels: every sample is a point of its own.
    const auto curve_op = std::find_if(m.ops.begin(), m.ops.end(), [](const PaintOp& op) {
        return std::holds_alternative<PolylineOp>(op);
    });
    ASSERT_NE(curve_op, m.ops.end());
    const auto* curve = std::get_if<PolylineOp>(&*curve_op);
    EXPECT_EQ(curve->points.size(), 370U + 1U);
    EXPECT_EQ(curve->points[2].x - curve->points[1].x, 2);

    // The curves follow the range; a cursor move at one zoom reuses them.
    const int builds = cache.curve_builds;
    log_viewer_drag(log, view, kLogPlotLeft + 200);
    paint_log_viewer(log, view, cache);
    EXPECT_EQ(cache.curve_builds, builds);
    zoom_log_view(view, log.count, kLogPlotLeft + 200, 1.0);
    paint_log_viewer(log, view, cache);
    EXPECT_EQ(cache.curve_builds, builds + 1);
}

TEST(LogViewerZoomed, MarkedSamplesSurviveZoomAndPanAndCropKeepsExactlyThem) {
    LogBuffer log = numbered_log(60000);
    LogView view;
    zoom_log_view(view, log.count, kLogPlotLeft + 370, 30.0);  // 74 samples, ten pixels each
    const SampleRange zoomed = shown_range(view, log.count);
    ASSERT_EQ(zoomed.count, 74);
    ASSERT_TRUE(log_viewer_press(log, view, kLogPlotLeft + 123));
    ASSERT_TRUE(log_viewer_drag(log, view, kLogPlotLeft + 456));
    const int first = zoomed.first + 12;
    const int last = zoomed.first + 45;
    ASSERT_EQ(log.sel_first, first);
    ASSERT_EQ(log.sel_last, last);

    // The whole log has 81 samples per pixel, yet the marked samples stay.
    LogViewerCache cache;
    reset_log_view_zoom(view);
    paint_log_viewer(log, view, cache);
    EXPECT_EQ(log.sel_first, first);
    EXPECT_EQ(log.sel_last, last);
    EXPECT_EQ(log.sel_left_px, first * kPlot / 60000);

    // Panned out of sight: kept, not drawn.
    zoom_log_view(view, log.count, kLogPlotLeft + 370, 30.0);
    pan_log_view(view, log.count, shown_range(view, log.count), -2000);
    PaintModel m = paint_log_viewer(log, view, cache);
    EXPECT_TRUE(std::none_of(m.ops.begin(), m.ops.end(), [](const PaintOp& op) {
        return std::holds_alternative<InvertOp>(op);
    }));
    EXPECT_EQ(log.sel_first, first);

    ASSERT_TRUE(log_crop(log));
    EXPECT_EQ(log.count, last - first + 1);
    EXPECT_EQ(log.samples[0].rpm, numbered_sample(first).rpm);
    EXPECT_EQ(log.samples[static_cast<std::size_t>(log.count - 1)].rpm, numbered_sample(last).rpm);
    EXPECT_FALSE(log_view_zoomed(view, log.count));
    EXPECT_EQ(log.sel_last, 0);
}

}  // namespace
}  // namespace veloquin
