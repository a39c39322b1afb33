#pragma once
// What the map editors draw of a map learnt from a log: each proposed cell's
// box in a colour by how far and which way it would move, cells with too few
// samples pale and left alone, refused ones (leaner than AFR protect) purple,
// hit counts as text on request or as a shade of every map, the proposed
// curve in the section graphs, and frames round the cells the last "Apply"
// changed.

#include <array>
#include <optional>
#include <string>

#include "base/paint_model.h"
#include "calibration/calibration.h"
#include "editors/map_proposal.h"

namespace veloquin {

// Values of the tuner's choosing standing in a map's cells (a log histogram):
// per cell a text and its box, pale where too few samples stand behind it.
struct MapOverlayCell {
    std::string text;  // empty: nothing reached the cell, so nothing stands there
    Rgb box = colors::window_grey;
    bool shown = false;
    bool pale = false;
};
struct MapOverlay {
    MapId map = MapId::map_2_maf;
    std::array<MapOverlayCell, kMapCells> cells{};
};

struct LearnView {
    const HitCounts* hits = nullptr;           // shade by samples per cell; null: no shade
    int most_hits = 1;                         // of `hits`, the shade's full strength
    const MapProposal* proposal = nullptr;     // the review's proposal, drawn on its own map only
    bool hit_numbers = false;                  // the cells read their hit counts
    const Calibration* learnt_from = nullptr;  // cells that differ from it are framed
    const MapOverlay* overlay = nullptr;       // in place of the words, on its own map
};

namespace colors {
inline constexpr Rgb learn_up{214, 64, 40};         // more airflow, more fuel
inline constexpr Rgb learn_down{40, 96, 214};       // less
inline constexpr Rgb learn_same{168, 204, 168};     // proposed as it is: the log agrees
inline constexpr Rgb learn_too_few{212, 212, 212};  // reached, but too few samples to trust
inline constexpr Rgb learn_hits{236, 184, 32};      // the most visited cell's shade
inline constexpr Rgb learn_refused{176, 64, 192};   // leaner than AFR protect: never applied
inline constexpr Rgb learnt_frame{0, 150, 150};
}  // namespace colors
namespace pens {
inline constexpr Pen learn_proposed{colors::learn_down, 2};
}  // namespace pens

// A move of this many percent (of airflow, or points of fuel correction)
// shows the full colour; smaller ones are paler.
inline constexpr double kLearnFullColourPercent = 10.0;

// How far a cell would move, in percent: of its airflow on MAP-2-MAF (100
// from an empty cell), in points of correction on the other maps.
double learn_change_percent(const Calibration& cal, MapId map, int current, int proposed);
Rgb learn_change_color(double change_percent);
Rgb hits_shade(int hits, int most_hits);

// How one cell looks under the learning; nullopt fields leave the editor's own.
struct LearnCellLook {
    std::optional<Rgb> box;
    std::optional<int> value;         // the proposed word, shown in place of the current one
    std::optional<int> hits;          // shown in place of the value when hit numbers are on
    std::optional<std::string> text;  // an overlay's text in place of the value
    bool too_few = false;             // the text is greyed: the cell is left alone
};
LearnCellLook learn_cell_look(const LearnView& view, const Calibration& cal, MapId map, int row,
                              int col);

// The largest hit count of a map (at least 1).
int most_hits(const HitCounts& hits);

// The word a section curve shows for a cell: the proposed one where there is one.
int proposed_word(const LearnView& view, const Calibration& cal, MapId map, int row, int col);
bool shows_proposal(const LearnView* view, MapId map);

}  // namespace veloquin
