#pragma once
// "Learn from log...": the review of a map learnt from a recorded log before
// anything changes, the hit counts of the maps, and the frames round the
// cells the last "Apply" changed. The Application applies and discards
// (application_learn.cpp); this holds the state and what the editors and the
// review window show of it.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/step_names.h"
#include "datalogs/log_sample.h"
#include "editors/graph_editors.h"
#include "editors/learn_paint.h"
#include "learn/learn_maps.h"

namespace veloquin {

// What the hit counts were made from; they are made anew when any of it changes.
struct HitCountsSource {
    const LogBuffer* log = nullptr;
    std::uint64_t log_revision = 0;
    int log_generation = 0;
    LearnFilters filters;
    std::array<std::int16_t, 9> axis_words{};
    friend bool operator==(const HitCountsSource&, const HitCountsSource&) = default;
};

struct LearnReview {
    bool active = false;
    LearnMap map = LearnMap::maf;
    LearnFilters filters;
    // What the fuel learning aims at: the target AFR file, read as each review begins.
    TargetAfrTable targets;
    // A log file read for the review alone; null while it learns from the loaded log.
    std::unique_ptr<LogBuffer> own_log;
    int log_generation = 0;  // moves on with every own log read
    std::string log_name;
    LearnResult result;
    bool hit_numbers = false;
    // Move on with every review begun (the window shows itself) and with
    // every change of what it shows.
    int started = 0;
    int revision = 0;

    // "Show hit counts": every map shaded by the samples per cell.
    bool show_hits = false;
    MapHitCounts hits{};
    std::optional<HitCountsSource> hits_made_from;

    // The last learning applied, framed until the learnt map changes again.
    bool framed = false;
    MapId framed_map = MapId::map_2_maf;
    Calibration learnt_from;
    Map framed_words{};
};

// The log the review learns from: its own, or the loaded one.
const LogBuffer& review_log(const LearnReview& review, const LogBuffer& loaded);

// Learns the review's map anew from its log, against the calibration as it is.
void relearn(LearnReview& review, const Calibration& cal, const LogBuffer& loaded);

// The hit counts of the review's log (the loaded log outside a review), made
// anew when the log, the filters or the calibration's axes changed.
const MapHitCounts& current_hit_counts(LearnReview& review, const Calibration& cal,
                                       const LogBuffer& loaded);

// Frames the cells `after` changed from `before` on the learnt map; an apply
// while the frames of the last one still show adds its cells to them.
void frame_applied(LearnReview& review, const Calibration& before, const Calibration& after);
// Whether the frames still show; they end for good once the learnt map changes.
bool frames_showing(LearnReview& review, const Calibration& cal);

// The map an editor shows, for the map editors.
std::optional<MapId> editor_map(EditorKind kind);
// What the editor of `kind` draws of the learning; empty for the curve editors.
LearnView learn_view(LearnReview& review, const Calibration& cal, const LogBuffer& loaded,
                     EditorKind kind);

// The page that shows the learnt map.
Page learn_page(LearnMap map);

// The review window's summary: samples used and left out by each filter,
// cells proposed, changed and left alone.
std::string learn_summary(const LearnReview& review);

// "Show hit counts" reads "Hide hit counts" while they show; nullopt for
// other commands.
std::optional<MenuEntryState> learn_menu_entry(int command_id, const LearnReview& review);

inline constexpr std::string_view kLearnStepName = "Learn from log";
// Why a cell of the fuel map is refused.
inline constexpr std::string_view kLeanerThanProtect = "leaner than AFR protect";

}  // namespace veloquin
