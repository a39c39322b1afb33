// Curves drawn from the min/max summaries against curves through every
// sample: the same pixels at any zoom.

#include "datalogs/log_summary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <variant>
#include <vector>

#include "datalogs/log_viewer.h"

namespace veloquin {
namespace {

// What a polyline covers in each pixel column when all of a column's points
// share its x: where it enters and leaves the column and its span there.
struct ColumnCover {
    int first, last, top, bottom;
    friend bool operator==(const ColumnCover&, const ColumnCover&) = default;
};

std::vector<std::map<int, ColumnCover>> covers(const PaintModel& m) {
    std::vector<std::map<int, ColumnCover>> out;
    for (const PaintOp& op : m.ops) {
        const auto* line = std::get_if<PolylineOp>(&op);
        if (line == nullptr) continue;
        auto& columns = out.emplace_back();
        for (const Point p : line->points) {
            auto [it, fresh] = columns.try_emplace(p.x, ColumnCover{p.y, p.y, p.y, p.y});
            ColumnCover& c = it->second;
            c.last = p.y;
            c.top = std::min(c.top, p.y);
            c.bottom = std::max(c.bottom, p.y);
        }
    }
    return out;
}

TEST(LogSummary, ExtremesOfAnyStretchMatchEverySampleAndSkipGaps) {
    std::mt19937 rng(11);
    std::vector<float> v(100000);
    for (float& x : v)
        x = static_cast<float>(rng() % 1000);
    for (std::size_t i = 40000; i < 40100; ++i)
        v[i] = std::nanf("");
    MinMaxSummary<float> s;
    auto get = [&v](std::size_t i) { return v[i]; };
    s.build(v.size(), get);
    for (int k = 0; k < 2000; ++k) {
        const std::size_t a = rng() % v.size();
        const std::size_t b = a + 1 + rng() % (v.size() - a);
        float lo = 0;
        float hi = 0;
        const bool any = s.range(a, b, get, lo, hi);
        float want_lo = INFINITY;
        float want_hi = -INFINITY;
        for (std::size_t i = a; i < b; ++i) {
            if (std::isnan(v[i])) continue;
            want_lo = std::min(want_lo, v[i]);
            want_hi = std::max(want_hi, v[i]);
        }
        ASSERT_EQ(any, want_lo <= want_hi) << a << " " << b;
        if (any) {
            ASSERT_EQ(lo, want_lo) << a << " " << b;
            ASSERT_EQ(hi, want_hi) << a << " " << b;
        }
    }
}

// One spike among a million flat samples must reach the screen, whole or zoomed.
TEST(LogSummary, FramesFromTheSummariesCoverTheSamePixelsAsEverySample) {
    LogBuffer log;
    log.count = 1000000;
    log.make_room(log.count);
    for (int i = 0; i < log.count; ++i) {
        LogSample& s = log.samples[static_cast<std::size_t>(i)];
        s.rpm = 3000;
        s.boost = 0.5F;
        s.afr = 14.0F + static_cast<float>(i % 7) * 0.1F;
    }
    log.samples[777777].rpm = 9000;
    log.samples[123456].boost = 1.5F;
    for (int i = 500000; i < 500200; ++i)
        log.samples[static_cast<std::size_t>(i)].afr = std::nanf("");
    log.flags.fill(false);
    for (const LogChannel c : {LogChannel::rpm, LogChannel::boost, LogChannel::afr})
        log.set_visible(c, true);
    for (const SampleRange range : {SampleRange{0, 0}, SampleRange{400000, 500000},
                                    SampleRange{777000, 9000}, SampleRange{499000, 1300}}) {
        LogView view;
        view.range = range;
        view.zoomed_log_count = log.count;
        LogViewerCache summed_cache;
        LogViewerCache every_cache;
        const PaintModel summed = paint_log_viewer(log, view, summed_cache);
        view.decimate = false;
        const PaintModel every = paint_log_viewer(log, view, every_cache);
        const auto want = covers(every);
        ASSERT_EQ(covers(summed), want) << range.first;
        if (range.first == 0) {
            const auto& rpm = want.front();
            EXPECT_TRUE(std::any_of(rpm.begin(), rpm.end(), [&](const auto& c) {
                return c.second.top < rpm.begin()->second.top;
            })) << "the spike is drawn";
        }
    }
}

}  // namespace
}  // namespace veloquin
