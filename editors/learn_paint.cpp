#include "editors/learn_paint.h"

#include <algorithm>
#include <cmath>

#include "calibration/conversions.h"

namespace veloquin {
namespace {

Rgb mix(Rgb from, Rgb to, double t) {
    const auto channel = [t](std::uint8_t a, std::uint8_t b) {
        return static_cast<std::uint8_t>(std::lround(a + (b - a) * t));
    };
    return {channel(from.r, to.r), channel(from.g, to.g), channel(from.b, to.b)};
}

// The faintest move still shows clearly against the window grey.
constexpr double kLeastStrength = 0.3;

}  // namespace

double learn_change_percent(const Calibration& cal, MapId map, int current, int proposed) {
    if (map != MapId::map_2_maf) return proposed - current;
    const int from = maf_counts_to_airflow(cal, current);
    const int to = maf_counts_to_airflow(cal, proposed);
    if (from <= 0) return to > 0 ? 100.0 : 0.0;
    return (static_cast<double>(to) / from - 1.0) * 100.0;
}

Rgb learn_change_color(double change_percent) {
    if (change_percent == 0.0) return colors::learn_same;
    const double t = std::min(std::fabs(change_percent) / kLearnFullColourPercent, 1.0);
    return mix(colors::window_grey, change_percent > 0 ? colors::learn_up : colors::learn_down,
               kLeastStrength + (1.0 - kLeastStrength) * t);
}

Rgb hits_shade(int hits, int most) {
    if (hits <= 0) return colors::window_grey;
    // Logarithmic: a cell visited ten times must stand out from an empty one
    // even when idle piled thousands into another.
    const double t = std::log1p(hits) / std::log1p(std::max(most, 1));
    return mix(colors::window_grey, colors::learn_hits, 0.2 + 0.8 * std::min(t, 1.0));
}

int most_hits(const HitCounts& hits) {
    return std::max(1, *std::max_element(hits.begin(), hits.end()));
}

bool shows_proposal(const LearnView* view, MapId map) {
    return view != nullptr && view->proposal != nullptr && view->proposal->map == map;
}

LearnCellLook learn_cell_look(const LearnView& view, const Calibration& cal, MapId map, int row,
                              int col) {
    LearnCellLook look;
    if (view.overlay != nullptr && view.overlay->map == map) {
        const MapOverlayCell& cell =
            view.overlay->cells[static_cast<std::size_t>(row * kMapCols + col)];
        look.text = cell.text;
        if (cell.shown) look.box = cell.box;
        look.too_few = cell.pale;
        return look;
    }
    if (view.hits != nullptr) look.box = hits_shade(hits_at(*view.hits, row, col), view.most_hits);
    if (!shows_proposal(&view, map)) {
        if (view.hit_numbers && view.hits != nullptr) look.hits = hits_at(*view.hits, row, col);
        return look;
    }
    const CellLearning& cell = view.proposal->at(row, col);
    if (view.hit_numbers) look.hits = cell.hits;
    switch (cell.state) {
        case ProposalCell::no_samples:
        case ProposalCell::applied:
            break;
        case ProposalCell::too_few:
            look.box = colors::learn_too_few;
            look.too_few = true;
            break;
        case ProposalCell::refused:
            // The cell keeps its value: the proposal is not one to take.
            look.box = colors::learn_refused;
            break;
        case ProposalCell::proposed:
            look.value = cell.value;
            look.box = learn_change_color(
                learn_change_percent(cal, map, cal.cell(map, row, col), cell.value));
            break;
    }
    return look;
}

int proposed_word(const LearnView& view, const Calibration& cal, MapId map, int row, int col) {
    if (shows_proposal(&view, map)) {
        const CellLearning& cell = view.proposal->at(row, col);
        if (cell.state == ProposalCell::proposed) return cell.value;
    }
    return cal.cell(map, row, col);
}

}  // namespace veloquin
