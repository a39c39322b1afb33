#include "datalogs/log_zoom.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace veloquin {

namespace {

// The sample offset under plot pixel `px` of a range of `count` samples, as
// the cursor finds it.
int offset_under(int px, int count, int plot_width) {
    return static_cast<int>(std::int64_t{px} * count / plot_width);
}

bool set_range(LogView& view, int log_count, SampleRange range) {
    const SampleRange before = shown_range(view, log_count);
    if (range.count >= log_count) {
        view.range = {};
    } else {
        view.range = range;
        view.zoomed_log_count = log_count;
    }
    return shown_range(view, log_count) != before;
}

}  // namespace

SampleRange shown_range(const LogView& view, int log_count) {
    if (view.zoomed_log_count != log_count) return resolve_range({}, log_count);
    return resolve_range(view.range, log_count);
}

bool log_view_zoomed(const LogView& view, int log_count) {
    return shown_range(view, log_count).count < log_count;
}

bool zoom_log_view(LogView& view, int log_count, int pointer_x, double notches) {
    const int wp = log_plot_width(view);
    if (wp <= 0 || log_count <= 0) return false;
    const SampleRange r = shown_range(view, log_count);
    const int px = std::clamp(pointer_x - kLogPlotLeft, 0, wp - 1);
    const int under = r.first + offset_under(px, r.count, wp);
    const double scaled = static_cast<double>(r.count) / std::pow(kLogZoomPerNotch, notches);
    const int count = static_cast<int>(std::clamp(
        std::lround(scaled), long{std::min(kLogMinZoomSamples, log_count)}, long{log_count}));
    // The first sample is chosen so that the pointer's pixel finds `under` again.
    const int first = std::clamp(under - offset_under(px, count, wp), 0, log_count - count);
    return set_range(view, log_count, {first, count});
}

bool pan_log_view(LogView& view, int log_count, SampleRange from, int dx) {
    const int wp = log_plot_width(view);
    if (wp <= 0 || log_count <= 0) return false;
    const SampleRange r = resolve_range(from, log_count);
    if (r.count >= log_count) return false;
    const auto shift = static_cast<int>(std::llround(static_cast<double>(dx) * r.count / wp));
    const int first = std::clamp(r.first - shift, 0, log_count - r.count);
    return set_range(view, log_count, {first, r.count});
}

bool reset_log_view_zoom(LogView& view) {
    const bool zoomed = view.range != SampleRange{};
    view.range = {};
    return zoomed;
}

}  // namespace veloquin
