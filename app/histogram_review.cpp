#include "app/histogram_review.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <limits>

#include "app/learn_review.h"
#include "learn/learn_maps.h"

namespace veloquin {
namespace {

// How far the pale cells fade towards the window grey.
constexpr double kPale = 0.75;

// The histogram's values as the editor's cells show them; the scale runs over
// the cells with enough samples, so one stray cell does not flatten it.
void make_overlay(HistogramReview& r) {
    const Histogram& h = r.result;
    double lo = std::numeric_limits<double>::infinity();
    double hi = -lo;
    for (int row = 0; row < kMapRows; ++row) {
        for (int col = 0; col < kMapCols; ++col) {
            if (!h.reached(row, col) || h.too_few(row, col)) continue;
            lo = std::min(lo, h.at(row, col));
            hi = std::max(hi, h.at(row, col));
        }
    }
    if (!(lo <= hi)) lo = hi = 0.0;
    r.scale_lo = lo;
    r.scale_hi = hi;
    r.overlay = MapOverlay{};
    r.overlay.map = h.map;
    for (int row = 0; row < kMapRows; ++row) {
        for (int col = 0; col < kMapCols; ++col) {
            if (!h.reached(row, col)) continue;
            MapOverlayCell& cell = r.overlay.cells[static_cast<std::size_t>(row * kMapCols + col)];
            const double t = hi > lo ? (h.at(row, col) - lo) / (hi - lo) : 0.5;
            cell.text = histogram_cell_text(h, row, col);
            cell.shown = true;
            cell.pale = h.too_few(row, col);
            cell.box = histogram_scale_color(std::clamp(t, 0.0, 1.0));
            if (cell.pale) cell.box = mix_color(cell.box, colors::window_grey, kPale);
        }
    }
}

std::string number_text(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3g", v);
    return text;
}

}  // namespace

void recompute_histogram(HistogramReview& review, const Calibration& cal, const LogBuffer& log) {
    ++review.revision;
    const HistogramSettings& s = review.settings;
    HistogramRequest request;
    request.map = s.map;
    request.stat = s.stat;
    request.filters = s.filters;
    const auto channel = find_analysis_channel(s.channel);
    if (!channel) {
        review.error = "Unknown channel '" + s.channel + "'.";
        return;
    }
    request.channel = *channel;
    for (const std::string& text : s.conditions) {
        if (text.find_first_not_of(" \t") == std::string::npos) continue;
        ConditionParse parsed = parse_condition(text);
        if (!parsed.condition) {
            review.error = parsed.error;
            return;
        }
        request.conditions.push_back(std::move(*parsed.condition));
    }
    Histogram h = log_histogram(cal, log, request, afr_target_of(cal));
    if (!h.ok) {
        review.error = h.error;
        return;
    }
    review.error.clear();
    review.result = std::move(h);
    make_overlay(review);
    if (!histogram_apply_refusal(review).empty()) review.reviewing = false;
    if (review.reviewing) review.proposal = histogram_proposal(cal, review.result, s.mode);
}

std::string histogram_apply_refusal(const HistogramReview& review) {
    const auto channel = find_analysis_channel(review.settings.channel);
    if (!channel) return "Choose a channel first.";
    return apply_refusal(review.settings.map, *channel, review.settings.stat, review.settings.mode);
}

void add_histogram_view(LearnView& view, const HistogramReview& review, EditorKind kind) {
    if (!review.active || editor_map(kind) != review.result.map || !review.result.ok) return;
    if (review.reviewing) {
        view.proposal = &review.proposal;
        view.hits = nullptr;
        return;
    }
    view.overlay = &review.overlay;
}

Rgb histogram_scale_color(double t) {
    return value_scale_color(t);
}

void paint_histogram_legend(const HistogramReview& review, int width, int height, PaintModel& m) {
    m.width = width;
    m.height = height;
    const int left = 50, right = width - 50, bar_h = std::max(height - 20, 4);
    for (int x = left; x < right; ++x) {
        const double t = right > left + 1 ? static_cast<double>(x - left) / (right - left - 1) : 0;
        m.fill(x, 0, 1, bar_h, histogram_scale_color(t));
    }
    const auto channel = find_analysis_channel(review.settings.channel);
    std::string unit = channel && review.settings.stat != HistogramStat::count
                           ? std::string(channel->unit())
                           : std::string("samples");
    m.draw_text(left - 4, 0, number_text(review.scale_lo), FontId::small, colors::black,
                Align::right);
    m.draw_text(right + 4, 0, number_text(review.scale_hi), FontId::small, colors::black,
                Align::left);
    m.draw_text(width / 2, bar_h + 2, unit + "; pale: too few samples, empty: none", FontId::small,
                colors::black, Align::center);
}

std::string histogram_summary(const HistogramReview& review) {
    if (!review.error.empty()) return review.error;
    const Histogram& h = review.result;
    if (!h.ok) return {};
    int cells = 0;
    for (const int n : h.hits)
        cells += n > 0 ? 1 : 0;
    const int counted =
        h.left_out.verdicts[0] - h.left_out.conditions - h.left_out.no_value - h.outside;
    std::string text = std::to_string(counted) + " of " + std::to_string(h.samples) +
                       " samples counted in " + std::to_string(cells) + " cells.";
    for (int k = 1; k < kSampleFilterCount; ++k) {
        const int n = h.left_out.verdicts[static_cast<std::size_t>(k)];
        if (n > 0) {
            text += "\nLeft out " + std::to_string(n) + ": " +
                    std::string(sample_filter_name(static_cast<SampleFilter>(k))) + ".";
        }
    }
    if (h.left_out.conditions > 0)
        text += "\nLeft out " + std::to_string(h.left_out.conditions) + " by the conditions.";
    if (h.left_out.no_value > 0)
        text += "\nLeft out " + std::to_string(h.left_out.no_value) + ": no reading.";
    if (h.outside > 0) text += "\nOutside the map: " + std::to_string(h.outside) + ".";
    if (h.too_few_cells > 0) {
        text += "\n" + std::to_string(h.too_few_cells) + " cells with fewer than " +
                std::to_string(h.min_samples) + " samples (pale).";
    }
    return text;
}

Page histogram_page(MapId map) {
    switch (map) {
        case MapId::map_2_maf:
            return Page::maf_emulation;
        case MapId::fuel_correction:
            return Page::fuel_correction;
        case MapId::meth_correction:
            return Page::nos_methanol;
        case MapId::boost_duty:
            return Page::boost_control;
    }
    return Page::fuel_correction;
}

}  // namespace veloquin
