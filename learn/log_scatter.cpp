#include "learn/log_scatter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace veloquin {
namespace {

constexpr Rgb kPaper{250, 250, 250};
constexpr Rgb kInk{30, 50, 140};  // the density of points without a colour channel

// The range a channel spans, widened a little so no point sits on the frame.
AxisRange range_of(const std::vector<float>& v) {
    if (v.empty()) return {};
    const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    double a = *lo, b = *hi;
    if (b - a < 1e-9) {
        a -= 1.0;
        b += 1.0;
    }
    const double pad = (b - a) * 0.02;
    return {a - pad, b + pad};
}

std::uint32_t argb(Rgb c) {
    return 0xFF000000U | (std::uint32_t{c.r} << 16) | (std::uint32_t{c.g} << 8) | c.b;
}

// A round step (1, 2 or 5 times a power of ten) giving about `ticks` ticks.
double tick_step(double span, int ticks) {
    const double raw = span / std::max(ticks, 1);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 5.0}) {
        if (m * power >= raw) return m * power;
    }
    return 10.0 * power;
}

std::string tick_text(double v, double step) {
    char text[32];
    const int decimals = step >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(step)));
    std::snprintf(text, sizeof text, "%.*f", decimals, std::fabs(v) < step / 1e6 ? 0.0 : v);
    return text;
}

std::string axis_title(const AnalysisChannel& c) {
    return std::string(c.name()) + (c.unit().empty() ? "" : " [" + std::string(c.unit()) + "]");
}

// Pixel column and row of a point; false outside the plot.
struct Binning {
    float x0, xk, y0, yk;
    int w, h;
    bool at(float x, float y, int& col, int& row) const {
        const float fx = (x - x0) * xk;
        const float fy = (y - y0) * yk;
        if (!(fx >= 0.0F && fy >= 0.0F && fx < static_cast<float>(w) && fy < static_cast<float>(h)))
            return false;
        col = static_cast<int>(fx);
        row = h - 1 - static_cast<int>(fy);
        return true;
    }
};

Binning binning(const ScatterPoints& p, PlotRect plot) {
    return {static_cast<float>(p.x_range.lo),
            static_cast<float>(plot.w / (p.x_range.hi - p.x_range.lo)),
            static_cast<float>(p.y_range.lo),
            static_cast<float>(plot.h / (p.y_range.hi - p.y_range.lo)),
            plot.w,
            plot.h};
}

}  // namespace

ScatterPoints scatter_points(const LogBuffer& log, const ScatterRequest& request,
                             const AfrTarget& target) {
    ScatterPoints p;
    p.request = request;
    const bool afr = request.x.afr_based() || request.y.afr_based() ||
                     (request.color && request.color->afr_based());
    const auto keep =
        analysis_keep(log, request.filters, afr, request.conditions, target, p.left_out);
    const auto samples = log.valid();
    const auto kept = static_cast<std::size_t>(std::count(keep.begin(), keep.end(), 1));
    p.x.reserve(kept);
    p.y.reserve(kept);
    p.sample.reserve(kept);
    if (request.color) p.c.reserve(kept);
    for (std::size_t i = 0; i < keep.size(); ++i) {
        if (keep[i] == 0) continue;
        const auto x = channel_value(request.x, samples[i], target);
        const auto y = channel_value(request.y, samples[i], target);
        const auto c = request.color ? channel_value(*request.color, samples[i], target) : 0.0;
        if (!x || !y || !c) {
            ++p.left_out.no_value;
            continue;
        }
        p.x.push_back(static_cast<float>(*x));
        p.y.push_back(static_cast<float>(*y));
        if (request.color) p.c.push_back(static_cast<float>(*c));
        p.sample.push_back(static_cast<std::int32_t>(i));
    }
    p.x_range = range_of(p.x);
    p.y_range = range_of(p.y);
    p.c_range = range_of(p.c);
    return p;
}

PlotRect scatter_plot_rect(int width, int height) {
    return {70, 10, std::max(width - 80, 1), std::max(height - 80, 1)};
}

void render_scatter(const ScatterPoints& p, PlotRect plot, SampleSpan highlight,
                    ScatterImage& image) {
    const auto n = static_cast<std::size_t>(plot.w) * static_cast<std::size_t>(plot.h);
    image.width = plot.w;
    image.height = plot.h;
    image.counts.assign(n, 0);
    image.marked.assign(n, 0);
    image.colour_sums.assign(p.c.empty() ? 0 : n, 0.0F);
    const Binning b = binning(p, plot);
    const bool coloured = !p.c.empty();
    for (std::size_t i = 0; i < p.x.size(); ++i) {
        int col = 0, row = 0;
        if (!b.at(p.x[i], p.y[i], col, row)) continue;
        const auto k = static_cast<std::size_t>(row) * static_cast<std::size_t>(plot.w) +
                       static_cast<std::size_t>(col);
        ++image.counts[k];
        if (coloured) image.colour_sums[k] += p.c[i];
        if (p.sample[i] >= highlight.first && p.sample[i] <= highlight.last) ++image.marked[k];
    }
    const std::uint32_t most =
        std::max(1U, *std::max_element(image.counts.begin(), image.counts.end()));
    const double log_most = std::log1p(static_cast<double>(most));
    const double c_lo = p.c_range.lo, c_span = p.c_range.hi - p.c_range.lo;
    image.pixels.assign(n, argb(kPaper));
    for (std::size_t k = 0; k < n; ++k) {
        const std::uint32_t count = image.counts[k];
        if (count == 0) continue;
        if (image.marked[k] > 0) {
            image.pixels[k] = argb(kScatterHighlight);
            continue;
        }
        // Logarithmic, so a lone point still shows beside a pile of thousands.
        const double t = 0.35 + 0.65 * std::log1p(static_cast<double>(count)) / log_most;
        Rgb ink = kInk;
        if (coloured) ink = value_scale_color((image.colour_sums[k] / count - c_lo) / c_span);
        image.pixels[k] = argb(mix_color(kPaper, ink, t));
    }
}

void paint_scatter_axes(const ScatterPoints& p, int width, int height,
                        const std::optional<PlotRect>& dragging, PaintModel& m) {
    m.width = width;
    m.height = height;
    const PlotRect r = scatter_plot_rect(width, height);
    m.draw_frame(r.x - 1, r.y - 1, r.x + r.w, r.y + r.h, pens::black);
    const double xs = tick_step(p.x_range.hi - p.x_range.lo, std::max(r.w / 90, 2));
    for (double v = std::ceil(p.x_range.lo / xs) * xs; v <= p.x_range.hi; v += xs) {
        const int x =
            r.x + static_cast<int>((v - p.x_range.lo) / (p.x_range.hi - p.x_range.lo) * r.w);
        m.draw_line(x, r.y + r.h, x, r.y + r.h + 4, pens::black);
        m.draw_text(x, r.y + r.h + 6, tick_text(v, xs), FontId::small, colors::black,
                    Align::center);
    }
    const double ys = tick_step(p.y_range.hi - p.y_range.lo, std::max(r.h / 50, 2));
    for (double v = std::ceil(p.y_range.lo / ys) * ys; v <= p.y_range.hi; v += ys) {
        const int y =
            r.y + r.h - static_cast<int>((v - p.y_range.lo) / (p.y_range.hi - p.y_range.lo) * r.h);
        m.draw_line(r.x - 5, y, r.x - 1, y, pens::black);
        m.draw_text(r.x - 7, y - 8, tick_text(v, ys), FontId::small, colors::black, Align::right);
    }
    m.draw_text(r.x + r.w / 2, r.y + r.h + 24, axis_title(p.request.x), FontId::horizontal,
                colors::black, Align::center);
    m.draw_text(14, r.y + r.h / 2, axis_title(p.request.y), FontId::vertical, colors::black,
                Align::center);
    if (p.request.color) {
        const int left = r.x, bar_w = std::min(r.w / 2, 200), top = height - 18;
        for (int x = 0; x < bar_w; ++x)
            m.fill(left + x, top, 1, 10, value_scale_color(static_cast<double>(x) / bar_w));
        char range[96];
        std::snprintf(range, sizeof range, "%s: %.3g .. %.3g", axis_title(*p.request.color).c_str(),
                      p.c_range.lo, p.c_range.hi);
        m.draw_text(left + bar_w + 8, top - 3, range, FontId::small, colors::black, Align::left);
    }
    if (dragging) {
        const PlotRect& d = *dragging;
        m.draw_frame(d.x, d.y, d.x + d.w, d.y + d.h, Pen{kScatterHighlight, 1});
    }
}

std::vector<std::int32_t> scatter_samples_in(const ScatterPoints& p, PlotRect plot, PlotRect r) {
    std::vector<std::int32_t> out;
    const Binning b = binning(p, plot);
    const int x0 = r.x - plot.x, y0 = r.y - plot.y;
    for (std::size_t i = 0; i < p.x.size(); ++i) {
        int col = 0, row = 0;
        if (!b.at(p.x[i], p.y[i], col, row)) continue;
        if (col >= x0 && col <= x0 + r.w && row >= y0 && row <= y0 + r.h)
            out.push_back(p.sample[i]);
    }
    return out;
}

}  // namespace veloquin
