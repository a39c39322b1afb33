// The Application's side of "Learn from log...": where the log comes from,
// what applying makes of the calibration and the undo history, and what the
// screen owes each step.

#include "app/application.h"
#include "app/commands.h"
#include "datalogs/log_import.h"
#include "datalogs/mazda_import.h"
#include "editors/cursor_keys.h"

namespace veloquin {

void Application::learn_from_log() {
    if (state_.log.count > 0) {
        state_.learn.own_log.reset();
        begin_learning("the loaded log");
        return;
    }
    // Nothing loaded to learn from: the tuner picks a recorded drive.
    if (const auto path = ask_file(cmd::learn_from_log)) learn_from_file(*path);
}

void Application::learn_from_other_log() {
    if (const auto path = ask_file(cmd::learn_from_log)) learn_from_file(*path);
}

bool Application::learn_from_file(const std::string& path) {
    auto log = std::make_unique<LogBuffer>();
    const LogReadResult read = load_any_log(*log, path);
    if (!read.ok) {
        report_file_error("The log was not loaded.", read.message);
        return false;
    }
    state_.learn.own_log = std::move(log);
    ++state_.learn.log_generation;
    begin_learning(split_path(path).file);
    return state_.learn.active;
}

void Application::begin_learning(const std::string& log_name) {
    LearnReview& review = state_.learn;
    const TargetAfrRead targets = read_target_afr(state_.working_directory, state_.cal);
    review.targets = targets.table;
    relearn(review, state_.cal, state_.log);
    if (!review.result.ok) {
        review.active = false;
        platform_.message_box(review.result.error, "Learn from log", MessageButtons::ok);
        return;
    }
    review.active = true;
    review.log_name = log_name;
    ++review.started;
    platform_.show_page(learn_page(review.map));
    if (!targets.error.empty()) {
        hold_notice(targets.error + ": the fuel learning aims at the default target AFR table");
    }
    platform_.repaint_page();
}

void Application::change_learning(LearnMap map, const LearnFilters& filters) {
    LearnReview& review = state_.learn;
    if (!review.active) return;
    const bool other_map = map != review.map;
    review.map = map;
    review.filters = filters;
    relearn(review, state_.cal, state_.log);
    if (other_map) platform_.show_page(learn_page(map));
    platform_.repaint_page();
}

int Application::apply_learning(bool selection_only) {
    LearnReview& review = state_.learn;
    if (busy() || !review.active || !review.result.ok) return 0;
    if (state_.cell_editor_open) cancel_cell_editor();
    const Calibration before = state_.cal;
    int changed = 0;
    steps_.undoable(std::string(kLearnStepName), [&] {
        EditorCursor& cursor = state_.editor.cursor;
        update_selection(cursor, state_.cal);
        changed =
            apply_proposal(state_.cal, review.result.proposal, selection_only ? &cursor : nullptr);
    });
    if (changed > 0) {
        frame_applied(review, before, state_.cal);
        keep_snapshot(before, SnapshotCause::learning);
    }
    if (pending_cells(review.result.proposal) == 0) review.active = false;
    ++review.revision;
    platform_.set_lower_status("Learn from log: " + std::to_string(changed) +
                               (changed == 1 ? " cell changed" : " cells changed"));
    platform_.repaint_page();
    return changed;
}

void Application::discard_learning() {
    LearnReview& review = state_.learn;
    if (!review.active) return;
    review.active = false;
    review.own_log.reset();
    ++review.log_generation;
    ++review.revision;
    platform_.repaint_page();
}

void Application::reload_learn_targets() {
    LearnReview& review = state_.learn;
    if (!review.active) return;
    const TargetAfrRead targets = read_target_afr(state_.working_directory, state_.cal);
    review.targets = targets.table;
    if (!targets.error.empty()) {
        hold_notice(targets.error + ": the fuel learning aims at the default target AFR table");
    }
    relearn(review, state_.cal, state_.log);
    platform_.repaint_page();
}

void Application::toggle_hit_counts() {
    LearnReview& review = state_.learn;
    review.show_hits = !review.show_hits;
    if (review.show_hits && state_.log.count == 0 && !review.own_log) {
        platform_.set_lower_status("Hit counts: no log is loaded");
    }
    ++review.revision;
    platform_.repaint_page();
}

void Application::show_learn_hit_numbers(bool on) {
    state_.learn.hit_numbers = on;
    ++state_.learn.revision;
    platform_.repaint_page();
}

}  // namespace veloquin
