#include "datalogs/log_viewer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "datalogs/log_zoom.h"

namespace veloquin {

namespace {

using C = LogChannel;

// Left of the plot are the grid labels, right of it a margin of ten pixels.
constexpr int kPlotMargins = 60;
constexpr int kTopMargin = 10;
// Under each band a gap for the band below's read-out.
constexpr int kBandGap = 20;
constexpr int kGridLines = 6;
// Label tops closer than this run the digits of the small font into each
// other (their cells overlap a little sooner, but the cells' blank edges
// may).
constexpr int kLabelTextHeight = 11;

int visible_band_count(const LogBuffer& log) {
    return static_cast<int>(std::count(log.flags.begin(), log.flags.end(), true));
}

// The derived values depend only on other fields of the log, so they are
// computed again only after the log changed. Computing one does not touch
// the inputs of the other, so a fresh one stays fresh.
void refresh_derived_values(LogBuffer& log, LogViewerCache& cache) {
    const bool pulse_fresh = cache.has_inj_pulse && cache.inj_pulse_revision == log.revision;
    const bool ratio_fresh =
        cache.has_rpm_per_speed && cache.rpm_per_speed_revision == log.revision;
    const bool pulse = log.visible(C::inj_pulse) && !pulse_fresh;
    const bool ratio = log.visible(C::rpm_per_speed) && !ratio_fresh;
    if (pulse) compute_inj_pulse(log);
    if (ratio) compute_rpm_per_speed(log);
    if (pulse || pulse_fresh) {
        cache.has_inj_pulse = true;
        cache.inj_pulse_revision = log.revision;
    }
    if (ratio || ratio_fresh) {
        cache.has_rpm_per_speed = true;
        cache.rpm_per_speed_revision = log.revision;
    }
}

// The smoothed columns follow the log; the derived values are written first.
void refresh_smoothing(const LogBuffer& log, LogViewerCache& cache) {
    if (cache.has_smoothed && cache.smoothed_revision == log.revision) return;
    smooth_log_columns(log.valid(), cache.smoothed);
    cache.has_smoothed = true;
    cache.smoothed_revision = log.revision;
}

const BandScale& cached_scale(LogViewerCache::Band& c, const LogBand& band, const LogBuffer& log) {
    if (!c.has_scale || c.scale_revision != log.revision) {
        c.scale = band_scale(band, log);
        c.has_scale = true;
        c.scale_revision = log.revision;
    }
    return c.scale;
}

// Row `row` of the LS switches band, a little inside its share of the band.
BandRect switch_row_rect(const BandRect& band, int row) {
    const int top = band.y + (row * band.h) / kSwitchRows;
    const int bottom = band.y + ((row + 1) * band.h) / kSwitchRows;
    return {band.x, top + 1, band.w, std::max(bottom - top - 2, 0)};
}

struct ShownBand {
    const LogBand* band;
    BandRect rect;
};

bool curves_fresh(const LogViewerCache::Band& c, const LogBuffer& log, const BandRect& rect,
                  SampleRange range, bool decimate) {
    return c.has_curves && c.curve_revision == log.revision && c.range == range && c.rect == rect &&
           c.decimate == decimate;
}

void keep_curves(LogViewerCache::Band& c, const LogBuffer& log, const BandRect& rect,
                 SampleRange range, bool decimate) {
    c.has_curves = true;
    c.curve_revision = log.revision;
    c.range = range;
    c.rect = rect;
    c.decimate = decimate;
}

void build_switch_curves(LogViewerCache& cache, LogViewerCache::Band& c,
                         std::span<const LogSample> samples, const BandRect& rect, bool decimate) {
    cache.heights.resize(samples.size());
    c.curves.resize(kSwitchRows);
    for (int row = 0; row < kSwitchRows; ++row) {
        const BandRect row_rect = switch_row_rect(rect, row);
        std::transform(samples.begin(), samples.end(), cache.heights.begin(),
                       [&](const LogSample& s) { return switch_on(s, row) ? row_rect.h : 0; });
        build_band_curve(c.curves[static_cast<std::size_t>(row)], cache.heights, row_rect,
                         decimate);
    }
}

// A band whose curve is being rebuilt: its values are the log's, or the
// smoothed column the viewer draws instead.
struct CurveBuild {
    const LogBand* band;
    BandPixels pixels;
    std::vector<std::vector<Point>>* curves;
    int bottom;
    const std::int32_t* smoothed_int;
    const float* smoothed_real;
    const MinMaxSummary<std::int32_t>* int_summary;
    const MinMaxSummary<float>* real_summary;
    int offset;  // the first sample on view
    bool in_gap = false;
};

// A column this wide takes its extremes from the summaries.
constexpr int kSummedColumn = 48;

// A wide column from the summaries: its first and last samples and the
// heights of its extremes, which cover the same pixels as every sample of
// it would (all points of a column share its x).
template <typename T, typename Value, typename HeightOf>
void add_summed_column(std::vector<Point>& out, const MinMaxSummary<T>& summary, int offset,
                       int first, int last, int x, int bottom, const Value& value,
                       const HeightOf& height_of) {
    T lo{};
    T hi{};
    auto global = [&](std::size_t g) { return value(static_cast<int>(g) - offset); };
    summary.range(static_cast<std::size_t>(first + offset),
                  static_cast<std::size_t>(last + 1 + offset), global, lo, hi);
    for (const T v : {value(first), lo, hi, value(last)})
        out.push_back({x, bottom - height_of(v)});
}

// Points of one pixel column. Gaps (values that are not numbers) are left
// out; a column of nothing but gaps ends the polyline, and the next column
// with a value starts a new one.
void add_band_column(CurveBuild& b, std::span<const LogSample> samples, int start, int end, int x,
                     bool decimate) {
    auto at = [samples](int i) -> const LogSample& { return samples[static_cast<std::size_t>(i)]; };
    if (b.band->int_field != nullptr) {
        const auto field = b.band->int_field;
        const std::int32_t* smoothed = b.smoothed_int;
        auto value = [&](int i) { return smoothed != nullptr ? smoothed[i] : at(i).*field; };
        auto height_of = [&](std::int32_t v) {
            LogSample s;
            s.*field = v;
            return b.pixels.height(s);
        };
        auto height = [&](int i) { return height_of(value(i)); };
        if (decimate && end - start > kSummedColumn && !b.int_summary->empty()) {
            add_summed_column(b.curves->back(), *b.int_summary, b.offset, start, end - 1, x,
                              b.bottom, value, height_of);
            return;
        }
        add_column_points(b.curves->back(), start, end, x, b.bottom, decimate, value, height);
        return;
    }
    const auto field = b.band->real_field;
    const float* smoothed = b.smoothed_real;
    auto value = [&](int i) { return smoothed != nullptr ? smoothed[i] : at(i).*field; };
    auto height_of = [&](float v) {
        LogSample s;
        s.*field = v;
        return b.pixels.height(s);
    };
    auto height = [&](int i) { return height_of(value(i)); };
    int first = start;
    int last = end - 1;
    while (first <= last && std::isnan(value(first)))
        ++first;
    while (last > first && std::isnan(value(last)))
        --last;
    if (first > last) {
        b.in_gap = b.in_gap || !b.curves->back().empty();
        return;
    }
    if (b.in_gap) b.curves->emplace_back();
    b.in_gap = false;
    if (decimate && last - first > kSummedColumn && !b.real_summary->empty()) {
        add_summed_column(b.curves->back(), *b.real_summary, b.offset, first, last, x, b.bottom,
                          value, height_of);
        return;
    }
    add_column_points(b.curves->back(), first, last + 1, x, b.bottom, decimate, value, height);
}

// The smoothed column a band draws, offset to the first sample on view;
// nullptr where the band draws the log's own values.
template <typename T>
const T* smoothed_column(const std::vector<T>& column, SampleRange range) {
    return column.empty() ? nullptr : column.data() + range.first;
}

// The band's summaries follow the log, over the values it draws.
void refresh_summary(LogViewerCache::Band& c, const LogBand& band, const LogBuffer& log,
                     const SmoothedColumns& sm) {
    if (c.has_summary && c.summary_revision == log.revision) return;
    c.has_summary = true;
    c.summary_revision = log.revision;
    const auto samples = log.valid();
    const auto n = samples.size();
    const LogChannel ch = band.channel;
    if (band.int_field != nullptr) {
        const auto field = band.int_field;
        const bool smoothed = ch == C::speed && sm.speed.size() == n;
        c.int_summary.build(
            n, [&](std::size_t i) { return smoothed ? sm.speed[i] : samples[i].*field; });
        return;
    }
    const auto field = band.real_field;
    const std::vector<float>* column = ch == C::boost          ? &sm.boost
                                       : ch == C::inj_duty     ? &sm.inj_duty
                                       : ch == C::ecu_ignition ? &sm.ecu_ignition
                                                               : nullptr;
    if (column != nullptr && column->size() != n) column = nullptr;
    c.real_summary.build(
        n, [&](std::size_t i) { return column != nullptr ? (*column)[i] : samples[i].*field; });
}

// Rebuilds the curves of every shown band whose log, range, rectangle or
// decimation changed. A band's pixel height rises or falls with its value,
// so the extremes of a column are found on the values and only the few
// points kept are turned into pixels. The bands go through the log together,
// one pixel column at a time: a full log is bigger than the processor's near
// caches, and a pass per band would fetch it sixteen times.
void refresh_curves(LogViewerCache& cache, const LogBuffer& log, std::span<const ShownBand> shown,
                    SampleRange range, bool decimate) {
    const auto samples = log.valid().subspan(static_cast<std::size_t>(range.first),
                                             static_cast<std::size_t>(range.count));
    std::vector<CurveBuild> builds;
    for (const ShownBand& b : shown) {
        LogViewerCache::Band& c = cache.bands[static_cast<std::size_t>(b.band->channel)];
        if (curves_fresh(c, log, b.rect, range, decimate)) continue;
        keep_curves(c, log, b.rect, range, decimate);
        ++cache.curve_builds;
        if (b.band->pixels == PixelRule::switch_rows) {
            build_switch_curves(cache, c, samples, b.rect, decimate);
            continue;
        }
        c.curves.resize(1);
        c.curves[0].clear();
        c.curves[0].push_back({b.rect.x, b.rect.y + b.rect.h});
        const SmoothedColumns& sm = cache.smoothed;
        const LogChannel ch = b.band->channel;
        const std::int32_t* smooth_int =
            ch == C::speed ? smoothed_column(sm.speed, range) : nullptr;
        const float* smooth_real = ch == C::boost          ? smoothed_column(sm.boost, range)
                                   : ch == C::inj_duty     ? smoothed_column(sm.inj_duty, range)
                                   : ch == C::ecu_ignition ? smoothed_column(sm.ecu_ignition, range)
                                                           : nullptr;
        refresh_summary(c, *b.band, log, cache.smoothed);
        builds.push_back({b.band, BandPixels(*b.band, cached_scale(c, *b.band, log), b.rect.h),
                          &c.curves, b.rect.y + b.rect.h, smooth_int, smooth_real, &c.int_summary,
                          &c.real_summary, range.first});
    }
    if (builds.empty()) return;

    // Every band lies across the whole plot, so one column walk serves them all.
    const int n = range.count;
    const int left = shown.front().rect.x;
    const int w = shown.front().rect.w;
    for (int start = 0; start < n;) {
        const int end = column_end(start, n, w);
        const int x = left + sample_column(start, n, w);
        for (CurveBuild& b : builds)
            add_band_column(b, samples, start, end, x, decimate);
        start = end;
    }
}

// Which of a column of labels (text tops in `text_y`) can be drawn without
// touching each other: the first and the last, then those between that
// fit, so a short band keeps its ends readable instead of a smudge.
template <std::size_t N>
std::vector<int> labels_that_fit(const std::array<int, N>& text_y) {
    std::vector<int> order{0, static_cast<int>(N) - 1};
    for (int k = 1; k + 1 < static_cast<int>(N); ++k)
        order.push_back(k);
    std::vector<int> drawn;
    for (const int k : order) {
        const int y = text_y[static_cast<std::size_t>(k)];
        const bool clear = std::none_of(drawn.begin(), drawn.end(), [&](int other) {
            return std::abs(text_y[static_cast<std::size_t>(other)] - y) < kLabelTextHeight;
        });
        if (clear) drawn.push_back(k);
    }
    std::sort(drawn.begin(), drawn.end());
    return drawn;
}

void draw_value_grid(PaintModel& m, const LogBand& band, const BandScale& scale,
                     const BandRect& r) {
    const std::array<std::string, kGridLines> labels = band_labels(band, scale);
    std::array<int, kGridLines> text_y{};
    for (int k = 0; k < kGridLines; ++k) {
        const int line_y = r.y + r.h - (k * r.h) / 5;
        m.draw_line(r.x, line_y, r.x + r.w, line_y, pens::grey);
        text_y[static_cast<std::size_t>(k)] =
            band.labels_on_lines ? line_y - 6 : r.y + r.h - (k * (r.h - 9)) / 5 - 11;
    }
    for (const int k : labels_that_fit(text_y)) {
        m.draw_text(r.x - 4, text_y[static_cast<std::size_t>(k)],
                    labels[static_cast<std::size_t>(k)], FontId::small, colors::label_grey,
                    Align::right);
    }
}

void draw_switch_grid(PaintModel& m, const BandRect& r) {
    std::array<int, kSwitchRows> text_y{};
    for (int row = 0; row < kSwitchRows; ++row) {
        const int top = r.y + (row * r.h) / kSwitchRows;
        const int bottom = r.y + ((row + 1) * r.h) / kSwitchRows;
        if (row > 0) m.draw_line(r.x, top, r.x + r.w, top, pens::grey);
        text_y[static_cast<std::size_t>(row)] = (top + bottom) / 2 - 7;
    }
    for (const int row : labels_that_fit(text_y)) {
        m.draw_text(r.x - 4, text_y[static_cast<std::size_t>(row)],
                    std::string(1, static_cast<char>('A' + row)), FontId::small, colors::label_grey,
                    Align::right);
    }
}

void draw_band(PaintModel& m, const LogBuffer& log, const LogBand& band, const BandRect& r,
               const LogViewerLayout& layout, LogViewerCache& cache) {
    LogViewerCache::Band& cached = cache.bands[static_cast<std::size_t>(band.channel)];
    if (band.pixels == PixelRule::switch_rows) {
        draw_switch_grid(m, r);
    } else {
        draw_value_grid(m, band, cached_scale(cached, band, log), r);
    }
    for (const LogViewerLayout::Tick& tick : layout.ticks) {
        if (tick.sample == layout.range.first) continue;  // the frame is there
        const int x =
            r.x + sample_column(tick.sample - layout.range.first, layout.range.count, r.w);
        m.draw_line(x, r.y, x, r.y + r.h, pens::grey);
    }
    for (const auto& curve : cached.curves)
        m.polyline(curve, pens::blue);

    const int at = std::clamp(log.cursor_index, 0, log.count - 1);
    const std::string text =
        log.cursor_index != 0
            ? band_readout(band,
                           cache.smoothed.drawn(log.samples[static_cast<std::size_t>(at)],
                                                static_cast<std::size_t>(at)),
                           log.mazda_log)
            : band_title(band, log.mazda_log);
    m.draw_text(r.x + 11, r.y + 5, text, FontId::small, colors::white, Align::left);
    m.draw_text(r.x + 10, r.y + 4, text, FontId::small, colors::black, Align::left);

    // A selection outside the zoomed view is kept but not shown.
    const bool marked = std::max(log.anchor_px, log.cursor_px) != 0;
    if (marked && log.sel_right_px >= 0 && log.sel_left_px <= r.w) {
        // Held inside the band: a window made narrower since the mouse set
        // the selection must not invert beyond it.
        const int left = r.x + std::clamp(log.sel_left_px, 0, r.w);
        const int right = r.x + std::clamp(log.sel_right_px, 0, r.w);
        m.invert(left, r.y, right - left + 1, r.h);
    }
    m.draw_frame(r.x, r.y, r.x + r.w, r.y + r.h, pens::black);
}

void draw_time_labels(PaintModel& m, const LogViewerLayout& layout) {
    for (const LogViewerLayout::Tick& tick : layout.ticks) {
        const int x = kLogPlotLeft + sample_column(tick.sample - layout.range.first,
                                                   layout.range.count, layout.plot_width);
        // Centred under their grid lines, so the last one stays inside the window.
        m.draw_text(x, layout.usable_height - 10, tick.label, FontId::small, colors::label_grey,
                    Align::center);
    }
}

// The small font's digits are about this wide; labels keep a gap of two digits.
constexpr int kLabelDigitWidth = 7;

std::uint32_t time_after_first(const LogBuffer& log, int sample) {
    return log.samples[static_cast<std::size_t>(sample)].time_ms - log.samples[0].time_ms;
}

// "12", "12.5", "1:05", "1:05.25": seconds, with the decimals the step needs.
std::string seconds_label(std::int64_t ms, std::int64_t step_ms) {
    const int decimals = step_ms >= 1000 ? 0 : step_ms >= 100 ? 1 : step_ms >= 10 ? 2 : 3;
    const std::int64_t whole = ms / 1000;
    std::string text = ms >= 60000 ? std::to_string(whole / 60) + ":" +
                                         (whole % 60 < 10 ? "0" : "") + std::to_string(whole % 60)
                                   : std::to_string(whole);
    if (decimals > 0) {
        std::string fraction = std::to_string(1000 + ms % 1000).substr(1);
        text += "." + fraction.substr(0, static_cast<std::size_t>(decimals));
    }
    return text;
}

}  // namespace

std::int64_t nice_step(double least) {
    std::int64_t power = 1;
    for (;;) {
        for (const std::int64_t m : {1, 2, 5}) {
            if (static_cast<double>(m * power) >= least) return m * power;
        }
        power *= 10;
    }
}

std::vector<LogViewerLayout::Tick> time_ticks(const LogBuffer& log, SampleRange range,
                                              int plot_width) {
    std::vector<LogViewerLayout::Tick> ticks;
    if (range.count <= 0 || plot_width <= 0) return ticks;
    const int last = range.first + range.count - 1;
    const double width = plot_width;
    if (!log.has_times) {
        const auto digits = static_cast<int>(std::to_string(last + 1).size());
        const std::int64_t step = nice_step((digits + 2) * kLabelDigitWidth * range.count / width);
        for (std::int64_t s = (range.first + step - 1) / step * step;
             s <= range.first + range.count; s += step)
            ticks.push_back({static_cast<int>(s), std::to_string(s)});
        return ticks;
    }
    const std::int64_t t0 = time_after_first(log, range.first);
    const std::int64_t t1 = time_after_first(log, last);
    const double span_ms = std::max<double>(1.0, static_cast<double>(t1 - t0));
    // "12:34.56" is the longest label a drive of under an hour gets.
    std::int64_t step = nice_step(10 * kLabelDigitWidth * span_ms / width);
    const int chars = static_cast<int>(seconds_label(t1, step).size());
    step = nice_step((chars + 2) * kLabelDigitWidth * span_ms / width);
    const auto valid = log.valid();
    auto sample_at = [&](std::int64_t t) {
        const auto it = std::partition_point(
            valid.begin() + range.first, valid.begin() + last + 1, [&](const LogSample& s) {
                return static_cast<std::int64_t>(s.time_ms - valid.front().time_ms) < t;
            });
        return static_cast<int>(it - valid.begin());
    };
    for (std::int64_t t = (t0 + step - 1) / step * step; t <= t1; t += step)
        ticks.push_back({sample_at(t), seconds_label(t, step)});
    return ticks;
}

int log_plot_width(const LogView& view) {
    return view.width - kPlotMargins;
}

LogViewerLayout log_viewer_layout(const LogBuffer& log, const LogView& view) {
    LogViewerLayout layout;
    layout.plot_width = log_plot_width(view);
    layout.usable_height = view.height - kTopMargin;
    layout.band_count = visible_band_count(log);
    if (layout.band_count > 0) {
        layout.pitch = layout.usable_height / layout.band_count;
        layout.band_height = layout.pitch - kBandGap;
    }
    layout.range = shown_range(view, log.count);
    layout.ticks = time_ticks(log, layout.range, layout.plot_width);
    // A window too small for a band of one pixel shows none rather than
    // bands turned inside out.
    layout.draws_bands = log.count >= kLogMinSamplesForBands && layout.band_count > 0 &&
                         layout.plot_width >= 1 && layout.band_height >= 1;
    return layout;
}

BandRect log_band_rect(const LogViewerLayout& layout, int j) {
    return {kLogPlotLeft, kTopMargin + j * layout.pitch, layout.plot_width, layout.band_height};
}

PaintModel paint_log_viewer(LogBuffer& log, const LogView& view, LogViewerCache& cache) {
    derive_log_cursor(log, view);
    PaintModel m;
    m.width = view.width;
    m.height = view.height;
    m.background = colors::white;
    if (log.count == 0) {
        m.draw_text(view.width / 2, view.height / 2 - 8, std::string(kEmptyLogViewerText),
                    FontId::horizontal, colors::text_grey, Align::center);
        return m;
    }

    const LogViewerLayout layout = log_viewer_layout(log, view);
    if (layout.draws_bands) {
        refresh_derived_values(log, cache);
        refresh_smoothing(log, cache);
        std::vector<ShownBand> shown;
        for (const LogBand& band : log_bands()) {
            if (log.visible(band.channel)) {
                shown.push_back({&drawn_band(band, log.mazda_log),
                                 log_band_rect(layout, static_cast<int>(shown.size()))});
            }
        }
        refresh_curves(cache, log, shown, layout.range, view.decimate);
        for (const ShownBand& b : shown)
            draw_band(m, log, *b.band, b.rect, layout, cache);
    }
    draw_time_labels(m, layout);
    return m;
}

}  // namespace veloquin
