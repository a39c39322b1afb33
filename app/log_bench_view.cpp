#include "app/log_bench_view.h"

#include <algorithm>
#include <cstdio>

#include "datalogs/log_channels.h"
#include "datalogs/log_zoom.h"

namespace veloquin {
namespace {

struct ShownBand {
    const LogBand* band;
    BandRect rect;
};

std::vector<ShownBand> shown_bands(const LogBuffer& log, const LogViewerLayout& layout) {
    std::vector<ShownBand> shown;
    if (!layout.draws_bands) return shown;
    for (const LogBand& band : log_bands()) {
        if (log.visible(band.channel))
            shown.push_back({&band, log_band_rect(layout, static_cast<int>(shown.size()))});
    }
    return shown;
}

// A tick under every band at the column of each selected sample on view.
void mark_selection(const std::vector<std::int32_t>& selected, const LogViewerLayout& layout,
                    const std::vector<ShownBand>& shown, PaintModel& m) {
    const SampleRange& range = layout.range;
    const auto first = std::lower_bound(selected.begin(), selected.end(), range.first);
    const auto end = std::lower_bound(first, selected.end(), range.first + range.count);
    int last_x = -1;
    for (auto it = first; it != end; ++it) {
        const int x = sample_column(*it - range.first, range.count, layout.plot_width);
        if (x == last_x) continue;
        last_x = x;
        for (const ShownBand& b : shown)
            m.fill(b.rect.x + x, b.rect.y + b.rect.h + 2, 1, 6, kScatterHighlight);
    }
}

// The second log's curve in a band: per pixel column its lowest and highest
// height, on the first log's scale so the two read alike.
void draw_second_curve(const LogBuffer& other, int offset, const LogBand& band,
                       const BandScale& scale, const ShownBand& b, const SampleRange& range,
                       std::vector<PolylineOp>& out) {
    if (band.pixels == PixelRule::switch_rows) return;
    const BandPixels pixels(band, scale, b.rect.h);
    const int first = std::max(range.first - offset, 0);
    const int end = std::min(range.first + range.count - offset, other.count);
    std::vector<Point> points;
    int column = -1, lo = 0, hi = 0;
    const auto flush = [&] {
        if (column < 0) return;
        points.push_back({b.rect.x + column, b.rect.y + b.rect.h - lo});
        if (hi != lo) points.push_back({b.rect.x + column, b.rect.y + b.rect.h - hi});
    };
    for (int j = first; j < end; ++j) {
        const int x = sample_column(j + offset - range.first, range.count, b.rect.w);
        const int h = pixels.height(other.samples[static_cast<std::size_t>(j)]);
        if (x != column) {
            flush();
            column = x;
            lo = hi = h;
        } else {
            lo = std::min(lo, h);
            hi = std::max(hi, h);
        }
    }
    flush();
    if (points.size() >= 2) out.push_back({std::move(points), Pen{kSecondLogColor, 1}});
}

std::string value_text(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", v);
    return text;
}

// Both values under the cursor and their difference, at the band's top right.
void read_out(const LogBuffer& log, const LogComparison& c, const ShownBand& b, PaintModel& m) {
    if (log.cursor_index == 0 || b.band->channel == LogChannel::ls_switches) return;
    const int at = std::clamp(log.cursor_index, 0, log.count - 1);
    const LogChannelInfo& info = log_channel_info(b.band->channel);
    const double mine = log_channel_value(info, log.samples[static_cast<std::size_t>(at)]);
    const int j = at - c.offset;
    std::string text = "2nd: none";
    if (j >= 0 && j < c.other->count) {
        const double theirs =
            log_channel_value(info, c.other->samples[static_cast<std::size_t>(j)]);
        text = value_text(mine) + " / 2nd " + value_text(theirs) + "  diff " +
               value_text(theirs - mine);
    }
    m.draw_text(b.rect.x + b.rect.w - 6, b.rect.y + 4, text, FontId::small, kSecondLogColor,
                Align::right);
}

void draw_comparison(const LogBuffer& log, LogComparison& c, const LogViewerLayout& layout,
                     const std::vector<ShownBand>& shown, PaintModel& m) {
    if (c.scales_revision != log.revision) {
        for (const LogBand& band : log_bands())
            c.scales[static_cast<std::size_t>(band.channel)] = band_scale(band, log);
        c.scales_revision = log.revision;
    }
    const LogComparison::CurvesKey key{log.revision,       c.other->revision,  c.offset,
                                       layout.range.first, layout.range.count, layout.plot_width,
                                       layout.band_height, log.flags};
    if (c.curves_for != key) {
        c.curves.clear();
        for (const ShownBand& b : shown) {
            draw_second_curve(*c.other, c.offset, *b.band,
                              c.scales[static_cast<std::size_t>(b.band->channel)], b, layout.range,
                              c.curves);
        }
        c.curves_for = key;
    }
    for (const PolylineOp& curve : c.curves)
        m.polyline(curve.points, curve.pen);
    for (const ShownBand& b : shown)
        read_out(log, c, b, m);
    // The legend names both files in their colours, above the bands.
    const int y = 0;
    m.fill(kLogPlotLeft, y + 5, 14, 3, colors::blue);
    m.draw_text(kLogPlotLeft + 18, y, c.first_name, FontId::small, colors::blue, Align::left);
    const int second = kLogPlotLeft + 40 + text_width(c.first_name, FontId::small);
    m.fill(second, y + 5, 14, 3, kSecondLogColor);
    char offset[48];
    std::snprintf(offset, sizeof offset, "  (offset %+d samples)", c.offset);
    m.draw_text(second + 18, y, c.other_name + offset, FontId::small, kSecondLogColor, Align::left);
}

}  // namespace

void recompute_scatter(ScatterState& s, const LogBuffer& log, const Calibration& cal,
                       const LearnFilters& learning) {
    ++s.revision;
    s.log_revision = log.revision;
    ScatterRequest r;
    const auto x = find_analysis_channel(s.settings.x);
    const auto y = find_analysis_channel(s.settings.y);
    const auto c = s.settings.color.empty() ? std::optional<AnalysisChannel>{}
                                            : find_analysis_channel(s.settings.color);
    if (!x || !y || (!s.settings.color.empty() && !c)) {
        s.error = "Unknown channel.";
        return;
    }
    r.x = *x;
    r.y = *y;
    r.color = c;
    r.filters = s.settings.learning_filters ? learning : LearnFilters::none();
    for (const std::string& text : s.settings.conditions) {
        if (text.find_first_not_of(" \t") == std::string::npos) continue;
        ConditionParse parsed = parse_condition(text);
        if (!parsed.condition) {
            s.error = parsed.error;
            return;
        }
        r.conditions.push_back(std::move(*parsed.condition));
    }
    s.error.clear();
    s.points = scatter_points(log, r, afr_target_of(cal));
}

SampleSpan viewer_marked_span(const LogBuffer& log) {
    if (std::max(log.anchor_px, log.cursor_px) == 0 || log.sel_last <= log.sel_first) return {};
    return {log.sel_first, log.sel_last};
}

int comparison_key_step(const LogView& view, int log_count) {
    return std::max(1, shown_range(view, log_count).count / 100);
}

int comparison_drag_samples(const LogView& view, int log_count, int dx) {
    const SampleRange range = shown_range(view, log_count);
    const int width = std::max(log_plot_width(view), 1);
    return static_cast<int>(static_cast<long long>(dx) * range.count / width);
}

void paint_log_bench_overlay(const LogBuffer& log, const LogView& view, const ScatterState& scatter,
                             LogComparison& comparison, PaintModel& m) {
    const bool marks = scatter.active && !scatter.selected.empty();
    const bool second = comparison.active && comparison.other;
    if (log.count == 0 || (!marks && !second)) return;
    const LogViewerLayout layout = log_viewer_layout(log, view);
    const std::vector<ShownBand> shown = shown_bands(log, layout);
    if (second) draw_comparison(log, comparison, layout, shown, m);
    if (marks) mark_selection(scatter.selected, layout, shown, m);
}

}  // namespace veloquin
