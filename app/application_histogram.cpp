// The Application's side of "Log histogram...": which log it reads, applying
// what it shows onto its map as one undo step, and its grid as a file.

#include "app/application.h"
#include "app/commands.h"
#include "calfile/atomic_file.h"

namespace veloquin {

void Application::open_log_histogram() {
    // Nothing loaded to gather: the tuner picks a recorded drive.
    if (state_.log.count == 0) {
        if (const auto path = ask_file(cmd::load_log_file)) load_log(*path);
        if (state_.log.count == 0) return;
    }
    HistogramReview& review = state_.histogram;
    review.active = true;
    review.reviewing = false;
    ++review.started;
    recompute_histogram(review, state_.cal, state_.log);
    review.log_revision = state_.log.revision;
    platform_.show_page(histogram_page(review.settings.map));
    platform_.repaint_page();
}

void Application::change_histogram(const HistogramSettings& settings) {
    HistogramReview& review = state_.histogram;
    if (!review.active) return;
    const bool other_map = settings.map != review.settings.map;
    review.settings = settings;
    recompute_histogram(review, state_.cal, state_.log);
    review.log_revision = state_.log.revision;
    if (other_map) platform_.show_page(histogram_page(settings.map));
    platform_.repaint_page();
}

void Application::refresh_histogram() {
    HistogramReview& review = state_.histogram;
    if (!review.active || review.log_revision == state_.log.revision) return;
    change_histogram(review.settings);
}

void Application::review_histogram_apply(bool on) {
    HistogramReview& review = state_.histogram;
    if (!review.active) return;
    const std::string refusal = histogram_apply_refusal(review);
    if (on && !refusal.empty()) {
        platform_.set_lower_status(refusal);
        return;
    }
    review.reviewing = on && review.result.ok;
    recompute_histogram(review, state_.cal, state_.log);
    platform_.show_page(histogram_page(review.result.map));
    platform_.repaint_page();
}

int Application::apply_histogram() {
    HistogramReview& review = state_.histogram;
    if (busy() || !review.active || !review.reviewing || !review.result.ok) return 0;
    if (!histogram_apply_refusal(review).empty()) return 0;
    if (state_.cell_editor_open) cancel_cell_editor();
    int changed = 0;
    steps_.undoable(std::string(kHistogramStepName), [&] {
        // Made anew from the calibration as it is now: the tuner may have
        // edited the map since the review began.
        review.proposal = histogram_proposal(state_.cal, review.result, review.settings.mode);
        changed = apply_proposal(state_.cal, review.proposal, nullptr);
    });
    review.reviewing = false;
    recompute_histogram(review, state_.cal, state_.log);
    platform_.set_lower_status("Log histogram: " + std::to_string(changed) +
                               (changed == 1 ? " cell changed" : " cells changed"));
    platform_.repaint_page();
    return changed;
}

void Application::close_histogram() {
    HistogramReview& review = state_.histogram;
    if (!review.active) return;
    review.active = false;
    review.reviewing = false;
    ++review.revision;
    platform_.repaint_page();
}

bool Application::save_histogram(const std::string& path) {
    const HistogramReview& review = state_.histogram;
    if (!review.result.ok) return false;
    std::string error;
    if (!write_file_atomically(path, histogram_grid_text(review.result, ',', false), &error)) {
        report_file_error("The histogram was not saved.", error);
        return false;
    }
    platform_.set_lower_status("Histogram saved to " + path);
    return true;
}

void Application::save_histogram_as() {
    if (const auto path = ask_file(cmd::save_histogram)) save_histogram(*path);
}

}  // namespace veloquin
