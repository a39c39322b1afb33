#pragma once
// "Log histogram...": a channel of the loaded log gathered onto a map, shown
// in the map editor's cells on a colour scale, and what applying it would do
// to the map, reviewed over the map as learning is before anything changes.
// The Application applies (application_histogram.cpp); this holds the state
// and what the editors and the window show of it.

#include <string>
#include <vector>

#include "base/paint_model.h"
#include "editors/graph_editors.h"
#include "editors/learn_paint.h"
#include "learn/log_histogram.h"

namespace veloquin {

struct HistogramSettings {
    MapId map = MapId::fuel_correction;
    std::string channel = std::string(kAfrErrorName);
    HistogramStat stat = HistogramStat::mean;
    LearnFilters filters;
    std::vector<std::string> conditions;  // as typed, one a line; blank lines are none
    ApplyMode mode = ApplyMode::add;
};

struct HistogramReview {
    bool active = false;
    HistogramSettings settings;
    Histogram result;
    // A channel or condition refused: said in the window, the grid as it was.
    std::string error;
    // The words applying would write show over the map instead of the values.
    bool reviewing = false;
    MapProposal proposal;
    MapOverlay overlay;
    double scale_lo = 0.0, scale_hi = 0.0;  // the colour scale's ends
    std::uint64_t log_revision = 0;         // of the log it was made from
    int started = 0;                        // moves on with every window opened
    int revision = 0;                       // and with every change it shows
};

// The histogram made anew from the settings against the log and calibration.
void recompute_histogram(HistogramReview& review, const Calibration& cal, const LogBuffer& log);

// Why applying is not offered for the settings as they stand; empty when it is.
std::string histogram_apply_refusal(const HistogramReview& review);

// The histogram's values (or while reviewing, its proposal) over the editor
// of its map.
void add_histogram_view(LearnView& view, const HistogramReview& review, EditorKind kind);

// Cold to hot over 0..1: blue, green, yellow, red.
Rgb histogram_scale_color(double t);

// The legend: the scale's colours from its low to its high end, labelled in
// the channel's unit.
void paint_histogram_legend(const HistogramReview& review, int width, int height, PaintModel& m);

// Samples counted and left out, cells reached and too few.
std::string histogram_summary(const HistogramReview& review);

Page histogram_page(MapId map);

inline constexpr std::string_view kHistogramStepName = "Apply histogram";

}  // namespace veloquin
