#pragma once
// The curve of one log-viewer band as polyline points. A log has up to
// 60,000 samples and a band is a few hundred pixels wide, so the decimated
// curve keeps, per pixel column, only the first and last sample of the column
// and its lowest and highest point, in the order they come: the joined points
// cover exactly the pixels the full curve covers, at a few points per column.

#include <cstdint>
#include <span>
#include <vector>

#include "base/paint_model.h"

namespace veloquin {

// Which samples the time axis spans. A count of 0 means the whole log; zoom
// and pan only change this range.
struct SampleRange {
    int first = 0;
    int count = 0;
    friend constexpr bool operator==(SampleRange, SampleRange) = default;
};

// The range held inside a log of `log_count` samples: at least one sample
// when the log has any, none when it is empty.
SampleRange resolve_range(SampleRange range, int log_count);

// The band rectangle a curve is drawn in.
struct BandRect {
    int x = 0, y = 0, w = 0, h = 0;
    friend constexpr bool operator==(BandRect, BandRect) = default;
};

// Pixel column of the sample `offset` places into a range of `count` samples
// spread over `width` pixels: offset × width / count in integers.
int sample_column(int offset, int count, int width);

// One past the last sample offset that falls into the same pixel column as
// `offset`.
int column_end(int offset, int count, int width);

// Adds the points of samples [start, end), which share the pixel column x:
// all of them, or when decimating the first, the lowest and the highest in
// the order they come, and the last. `value(i)` orders the samples; the
// pixel height `height(i)` must rise (or fall) with it, so that the extremes
// of the values are the extremes of the heights.
template <typename Value, typename Height>
void add_column_points(std::vector<Point>& out, int start, int end, int x, int bottom,
                       bool decimate, const Value& value, const Height& height) {
    auto add = [&](int i) { out.push_back({x, bottom - height(i)}); };
    if (!decimate || end - start <= 2) {
        for (int i = start; i < end; ++i)
            add(i);
        return;
    }
    int lowest = start;
    int highest = start;
    auto low = value(start);
    auto high = low;
    // Selects rather than branches: on a noisy signal the branches would
    // mispredict at every other sample.
    for (int k = start + 1; k < end; ++k) {
        const auto v = value(k);
        const bool below = v < low;
        const bool above = high < v;
        lowest = below ? k : lowest;
        low = below ? v : low;
        highest = above ? k : highest;
        high = above ? v : high;
    }
    // The path through first, extremes and last stays within the column's
    // span and reaches both ends of it, as the path through every sample does.
    const int last = end - 1;
    const int a = lowest < highest ? lowest : highest;
    const int b = lowest < highest ? highest : lowest;
    add(start);
    if (a != start && a != last) add(a);
    if (b != a && b != start && b != last) add(b);
    add(last);
}

// A whole curve from pixel heights (0 to h above the bottom edge): from the
// band's bottom-left corner through sample i at column sample_column(i, n, w).
void build_band_curve(std::vector<Point>& out, std::span<const std::int32_t> heights,
                      const BandRect& rect, bool decimate);

}  // namespace veloquin
