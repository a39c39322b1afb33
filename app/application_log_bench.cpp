// The Application's side of the scatter plot and of a second log drawn in
// the viewer: which logs they read, the selection passed to the viewer, the
// offset moved by keys and Ctrl+drag.

#include "app/application.h"
#include "app/commands.h"
#include "datalogs/log_file.h"
#include "datalogs/mazda_import.h"

namespace veloquin {

void Application::open_scatter() {
    if (state_.log.count == 0) {
        if (const auto path = ask_file(cmd::load_log_file)) load_log(*path);
        if (state_.log.count == 0) return;
    }
    ScatterState& s = state_.scatter;
    s.active = true;
    s.selected.clear();
    ++s.started;
    recompute_scatter(s, state_.log, state_.cal, state_.learn.filters);
    platform_.repaint_page();
}

void Application::change_scatter(const ScatterSettings& settings) {
    ScatterState& s = state_.scatter;
    if (!s.active) return;
    s.settings = settings;
    s.selected.clear();
    recompute_scatter(s, state_.log, state_.cal, state_.learn.filters);
    platform_.repaint_page();
}

void Application::refresh_scatter() {
    ScatterState& s = state_.scatter;
    if (s.active && s.log_revision != state_.log.revision) change_scatter(s.settings);
}

int Application::select_in_scatter(PlotRect plot, PlotRect rect) {
    ScatterState& s = state_.scatter;
    if (!s.active) return 0;
    s.selected = scatter_samples_in(s.points, plot, rect);
    ++s.revision;
    const auto n = static_cast<int>(s.selected.size());
    platform_.set_lower_status("Scatter: " + std::to_string(n) + (n == 1 ? " sample" : " samples") +
                               " marked in the log viewer");
    if (n > 0) platform_.show_page(Page::log_viewer);
    platform_.repaint_page();
    return n;
}

void Application::close_scatter() {
    ScatterState& s = state_.scatter;
    s.active = false;
    s.selected.clear();
    ++s.revision;
    platform_.repaint_page();
}

bool Application::compare_with_log(const std::string& path) {
    if (state_.log.count == 0) {
        platform_.set_lower_status("Compare with log: load the first log first");
        return false;
    }
    auto other = std::make_unique<LogBuffer>();
    const LogReadResult read = load_log_by_name(*other, path);
    if (!read.ok) {
        report_file_error("The log was not loaded.", read.message);
        return false;
    }
    // The bands read these fields; the first log's viewer fills its own.
    compute_inj_pulse(*other);
    compute_rpm_per_speed(*other);
    LogComparison& c = state_.log_comparison;
    c.other = std::move(other);
    c.active = true;
    c.offset = 0;
    if (c.first_name.empty()) c.first_name = "the recording";
    c.other_name = split_path(path).file;
    ++c.revision;
    platform_.show_page(Page::log_viewer);
    platform_.repaint_page();
    return true;
}

void Application::move_comparison(int samples) {
    LogComparison& c = state_.log_comparison;
    if (!c.active || samples == 0) return;
    c.offset += samples;
    ++c.revision;
    platform_.repaint_page();
}

void Application::stop_comparing_logs() {
    LogComparison& c = state_.log_comparison;
    if (!c.active) return;
    c.active = false;
    c.other.reset();
    ++c.revision;
    platform_.repaint_page();
}

bool Application::log_bench_key(const KeyPress& key) {
    if (!state_.log_comparison.active || state_.main_page != Page::log_viewer) return false;
    if (!key.ctrl || (key.code != keycode::left && key.code != keycode::right)) return false;
    const int step = comparison_key_step(state_.log_view, state_.log.count);
    move_comparison(key.code == keycode::right ? step : -step);
    return true;
}

}  // namespace veloquin
