#include "datalogs/log_curve.h"

#include <algorithm>

namespace veloquin {

SampleRange resolve_range(SampleRange range, int log_count) {
    if (log_count <= 0) return {0, 0};
    const int first = std::clamp(range.first, 0, log_count - 1);
    const int left = log_count - first;
    const int count = range.count <= 0 ? left : std::min(range.count, left);
    return {first, count};
}

int sample_column(int offset, int count, int width) {
    if (count <= 0) return 0;
    return static_cast<int>(std::int64_t{offset} * width / count);
}

int column_end(int offset, int count, int width) {
    if (width <= 0) return offset + 1;
    // The first offset of the next column: ceil((column + 1) × count / width).
    const std::int64_t next = std::int64_t{sample_column(offset, count, width) + 1} * count;
    return std::min(count, static_cast<int>((next + width - 1) / width));
}

void build_band_curve(std::vector<Point>& out, std::span<const std::int32_t> heights,
                      const BandRect& rect, bool decimate) {
    out.clear();
    const int n = static_cast<int>(heights.size());
    const int bottom = rect.y + rect.h;
    auto height = [&heights](int i) { return heights[static_cast<std::size_t>(i)]; };
    out.push_back({rect.x, bottom});
    for (int i = 0; i < n;) {
        const int end = column_end(i, n, rect.w);
        add_column_points(out, i, end, rect.x + sample_column(i, n, rect.w), bottom, decimate,
                          height, height);
        i = end;
    }
}

}  // namespace veloquin
