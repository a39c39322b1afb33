#include "app/learn_review.h"

#include <cstdio>

#include "app/commands.h"

namespace veloquin {
namespace {

HitCountsSource source_of(const LearnReview& review, const Calibration& cal, const LogBuffer& log) {
    HitCountsSource s;
    s.log = &log;
    s.log_revision = log.revision;
    s.log_generation = review.log_generation;
    s.filters = review.filters;
    std::size_t i = 0;
    for (const int word :
         {hw::MAP_LO, hw::MAP_HI, hw::MAP_05V, hw::MAP_00V, hw::THROTTLE_LO, hw::THROTTLE_HI,
          hw::FLM_LOAD, hw::METH_BAR_LO_counts, hw::METH_BAR_HI_counts}) {
        s.axis_words[i++] = cal.param(word);
    }
    return s;
}

std::string plural(int n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

const LogBuffer& review_log(const LearnReview& review, const LogBuffer& loaded) {
    return review.own_log ? *review.own_log : loaded;
}

void relearn(LearnReview& review, const Calibration& cal, const LogBuffer& loaded) {
    review.result = learn_from_log(cal, review_log(review, loaded), review.map, review.filters,
                                   &review.targets);
    ++review.revision;
}

const MapHitCounts& current_hit_counts(LearnReview& review, const Calibration& cal,
                                       const LogBuffer& loaded) {
    const LogBuffer& log = review.active ? review_log(review, loaded) : loaded;
    const HitCountsSource now = source_of(review, cal, log);
    if (review.hits_made_from != now) {
        review.hits = hit_counts(cal, log, review.filters);
        review.hits_made_from = now;
    }
    return review.hits;
}

void frame_applied(LearnReview& review, const Calibration& before, const Calibration& after) {
    const MapId map = learnt_map(review.map);
    if (!frames_showing(review, before) || review.framed_map != map) review.learnt_from = before;
    review.framed = true;
    review.framed_map = map;
    review.framed_words = after.map(map);
}

bool frames_showing(LearnReview& review, const Calibration& cal) {
    if (review.framed && cal.map(review.framed_map) != review.framed_words) review.framed = false;
    return review.framed;
}

std::optional<MapId> editor_map(EditorKind kind) {
    switch (kind) {
        case EditorKind::map_to_maf:
            return MapId::map_2_maf;
        case EditorKind::fuel_correction:
            return MapId::fuel_correction;
        case EditorKind::meth_correction:
            return MapId::meth_correction;
        case EditorKind::boost_duty:
            return MapId::boost_duty;
        default:
            return std::nullopt;
    }
}

LearnView learn_view(LearnReview& review, const Calibration& cal, const LogBuffer& loaded,
                     EditorKind kind) {
    LearnView view;
    const auto map = editor_map(kind);
    if (!map) return view;
    if (review.show_hits) {
        view.hits = &current_hit_counts(review, cal, loaded)[static_cast<std::size_t>(*map)];
        view.most_hits = most_hits(*view.hits);
        view.hit_numbers = review.hit_numbers;
    }
    if (review.active && review.result.ok && review.result.proposal.map == *map) {
        view.proposal = &review.result.proposal;
        view.hit_numbers = review.hit_numbers;
    }
    if (frames_showing(review, cal) && review.framed_map == *map)
        view.learnt_from = &review.learnt_from;
    return view;
}

Page learn_page(LearnMap map) {
    return map == LearnMap::maf ? Page::maf_emulation : Page::fuel_correction;
}

std::string learn_summary(const LearnReview& review) {
    const LearnResult& r = review.result;
    if (!r.ok) return r.error;
    const LearnSummary& s = r.summary;
    std::string text = std::to_string(s.used) + " of " + plural(s.samples, "sample", "samples") +
                       " taught the map.";
    for (int k = 1; k < kSampleFilterCount; ++k) {
        const int n = s.verdicts[static_cast<std::size_t>(k)];
        if (n == 0) continue;
        text += "\nLeft out " + std::to_string(n) + ": " +
                std::string(sample_filter_name(static_cast<SampleFilter>(k))) + ".";
    }
    if (s.outside > 0) {
        text += "\nLeft out " + std::to_string(s.outside) + ": outside the map's axes.";
    }
    text += "\n" + plural(s.proposed_cells, "cell", "cells") + " proposed, " +
            std::to_string(s.changed_cells) + " of them changed; " +
            plural(s.too_few_cells, "cell", "cells") + " with too few samples left alone.";
    if (s.refused_cells > 0) {
        text += "\n" + plural(s.refused_cells, "cell", "cells") + " refused (" +
                std::string(kLeanerThanProtect) + "): never applied.";
    }
    const int waiting = pending_cells(r.proposal);
    if (waiting != s.proposed_cells) text += "\n" + std::to_string(waiting) + " still to apply.";
    return text;
}

std::optional<MenuEntryState> learn_menu_entry(int command_id, const LearnReview& review) {
    if (command_id != cmd::show_hit_counts) return std::nullopt;
    return MenuEntryState{review.show_hits ? "Hide hit counts" : "Show hit counts", true};
}

}  // namespace veloquin
