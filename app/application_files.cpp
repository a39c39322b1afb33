// The Application's file commands: calibrations and partial settings in
// and out, logs, comparing with a file, "workmap.cfg", and the file dialogs
// and error messages they show.

#include <cstdio>

#include "app/application.h"
#include "app/application_scopes.h"
#include "app/column_choices.h"
#include "app/commands.h"
#include "calfile/atomic_file.h"
#include "calfile/calibration_file.h"
#include "calibration/conversions.h"
#include "datalogs/log_exchange.h"
#include "datalogs/log_file.h"
#include "datalogs/log_import.h"
#include "datalogs/log_markers.h"
#include "datalogs/log_zoom.h"
#include "datalogs/mazda_import.h"

namespace veloquin {

namespace {

constexpr int kEraseAfterFile = 2;

std::string& folder_of(WorkingFolders& folders, FolderId id) {
    switch (id) {
        case FolderId::maps:
            return folders.maps;
        case FolderId::settings:
            return folders.settings;
        case FolderId::logs:
            return folders.logs;
        case FolderId::firmware:
            break;
    }
    return folders.firmware;
}

}  // namespace

bool Application::open_calibration(const std::string& path) {
    return apply_file(path, true);
}

bool Application::load_partial_settings(const std::string& path) {
    return apply_file(path, false);
}

bool Application::apply_file(const std::string& path, bool whole_calibration) {
    // A whole calibration sent while the engine may be running is the
    // tuner's choice, never a side effect of looking at a file.
    if (whole_calibration && device_connected()) {
        const int choice = ask_send_opened_file(path);
        if (choice == 1) return compare_with(path);
        if (choice != 0) return false;
    }
    bool applied = false;
    const int command = whole_calibration ? cmd::open_calibration : cmd::load_partial_settings;
    steps_.undoable(command_step_name(command, state_.main_page),
                    [&] { applied = read_file_into_calibration(path, whole_calibration); });
    return applied;
}

bool Application::read_file_into_calibration(const std::string& path, bool whole_calibration) {
    std::string text;
    std::string error;
    if (!load_calibration_text(path, text, error)) {
        report_file_error("The calibration was not loaded.", error);
        return false;
    }
    if (!holds_calibration(text, state_.edition)) {
        report_file_error("The calibration was not loaded.", "No calibration found in " + path);
        return false;
    }
    if (const std::string problem = calibration_text_problem(text, state_.edition);
        !problem.empty()) {
        report_file_error("The calibration was not loaded.", path + ": " + problem);
        return false;
    }
    if (whole_calibration) {
        note_afr_protect_section(text, path);
        keep_snapshot(state_.cal, SnapshotCause::open_file);
        state_.calibration_path = path;
        state_.calibration_name = split_path(path).file;
        state_.cal.param(hw::MAP_BAR_LO) = 0;
        state_.cal.param(hw::MAP_BAR_HI) = 0;
    }
    read_calibration_text(state_.cal, text, state_.edition);
    derive_pressure_counts(state_.cal);
    fill_all_pages();
    if (whole_calibration) remember_saved_words();
    state_.erase_allowance = kEraseAfterFile;
    platform_.repaint_page();
    return true;
}

bool Application::save_calibration(const std::string& path) {
    if (!may_leave_out_afr_protect(path)) return false;
    std::string error;
    if (!write_calibration_file(state_.cal, path, state_.edition, &error)) {
        report_file_error("The calibration was not saved to " + path + ".", error);
        return false;
    }
    state_.calibration_path = path;
    state_.calibration_name = split_path(path).file;
    remember_saved_words();
    return true;
}

bool Application::load_log(const std::string& path) {
    if (log_format_of(path) != LogFormat::log) return load_log_table(path);
    // Read into a log of its own, away from the window where the platform
    // can: a cancel or a refusal leaves the loaded log as it was.
    LogBuffer loaded;
    loaded.flags = state_.log.flags;
    LogReadResult result;
    const bool finished = platform_.run_with_progress(
        "Loading " + split_path(path).file,
        [&](const auto& progress) { result = load_log_by_name(loaded, path, progress); });
    if (!finished || result.cancelled) {
        hold_notice("Loading " + path + " was cancelled; the log is as it was");
        return false;
    }
    if (!result.ok) {
        report_file_error("The log was not loaded.", result.message);
        return false;
    }
    LogBuffer& log = state_.log;
    log.samples.swap(loaded.samples);
    log.count = loaded.count;
    log.flags = loaded.flags;
    log.mazda_log = loaded.mazda_log;
    log.has_times = loaded.has_times;
    log.markers = std::move(loaded.markers);
    log.mark_changed();
    show_loaded_log(path, result.message);
    return true;
}

void Application::show_loaded_log(const std::string& path, const std::string& notice) {
    steps_.forget_log_steps();
    state_.log_comparison.first_name = split_path(path).file;
    if (!notice.empty()) hold_notice(notice);
    reset_log_view_zoom(state_.log_view);  // a new log is shown whole
    platform_.show_page(Page::log_viewer);
    platform_.repaint_page();
}

bool Application::load_log_table(const std::string& path) {
    std::string bytes;
    std::string error;
    bool cut = false;
    std::optional<LogTable> table;
    if (read_log_table_bytes(path, bytes, error, cut)) table = read_log_table_layout(bytes, error);
    if (!table) {
        report_file_error("The log was not loaded.", path + ": " + error);
        return false;
    }
    std::string notice;
    if (!assign_unknown_columns(path, *table, notice)) {
        hold_notice("The log was not loaded: its columns were not assigned");
        return false;
    }
    const LogTableResult result = read_log_table(state_.log, bytes, *table);
    if (!result.ok) {
        report_file_error("The log was not loaded.", path + ": " + result.message);
        return false;
    }
    std::string message = result.message;
    auto add = [&message](const std::string& note) {
        if (note.empty()) return;
        if (!message.empty()) message += "; ";
        message += note;
    };
    add(notice);
    if (cut) add("the file is too large for a log; only its first part was read");
    show_loaded_log(path, message);
    return true;
}

bool Application::assign_unknown_columns(const std::string& path, LogTable& table,
                                         std::string& notice) {
    const std::vector<std::size_t> unknown = unmatched_columns(table);
    if (unknown.empty()) return true;
    const std::string key = log_table_key(table);
    if (const auto remembered = read_column_choices(state_.working_directory, key)) {
        for (const auto& [title, label] : *remembered) {
            for (const std::size_t c : unknown) {
                if (table.columns[c].title == title) assign_column(table, c, label);
            }
        }
        return true;
    }
    ColumnChoiceRequest request{split_path(path).file, {}, column_target_labels()};
    for (const std::size_t c : unknown)
        request.columns.push_back(table.columns[c].title);
    std::optional<std::vector<std::size_t>> chosen;
    {
        const UserWaitScope waiting(*this);
        chosen = platform_.choose_log_columns(request);
    }
    if (!chosen || chosen->size() != unknown.size()) return false;
    std::vector<ColumnChoice> choices;
    for (std::size_t i = 0; i < unknown.size(); ++i) {
        const std::size_t pick = (*chosen)[i] < request.choices.size() ? (*chosen)[i] : 0;
        assign_column(table, unknown[i], request.choices[pick]);
        choices.emplace_back(request.columns[i], request.choices[pick]);
    }
    std::string error;
    if (!write_column_choices(state_.working_directory, key, choices, &error)) {
        notice = "the columns' assignment is not remembered: " + error;
    }
    return true;
}

bool Application::save_log(const std::string& path) {
    const LogWriteResult result = write_log_as(state_.log, path, platform_.local_time());
    if (!result.ok) {
        report_file_error("The log was not saved to " + path + ".", result.message);
        return false;
    }
    return true;
}

bool Application::compare_with(const std::string& path) {
    std::string error;
    if (!begin_comparison(state_.comparison, path, state_.edition, error)) {
        report_file_error("The calibration was not loaded.", error);
        return false;
    }
    refresh_comparison();
    platform_.repaint_page();
    platform_.controls_changed();
    return true;
}

void Application::compare_with_last_file() {
    if (state_.calibration_path.empty()) {
        platform_.message_box("No calibration file was opened or saved yet.",
                              "Compare with last file", MessageButtons::ok);
        return;
    }
    compare_with(state_.calibration_path);
}

void Application::stop_comparing() {
    if (!state_.comparison.active) return;
    end_comparison(state_.comparison);
    platform_.repaint_page();
    platform_.controls_changed();
}

bool Application::refresh_comparison() {
    return refresh_differences(state_.comparison, state_.cal, state_.edition);
}

std::optional<DifferenceTarget> Application::go_to_difference(std::size_t index) {
    const Comparison& c = state_.comparison;
    if (!c.active || index >= c.differences.size()) return std::nullopt;
    const auto target = difference_target(c.differences[index], state_.edition);
    if (!target) return std::nullopt;
    platform_.show_page(target->page);
    place_cursor(state_.editor, *target);
    platform_.repaint_page();
    return target;
}

bool Application::write_workmap(std::string* error) {
    if (!busy()) {
        BusyScope scope(*this);
        commit_fields();
    }
    if (state_.read_only) {
        if (error != nullptr) *error = "a read-only view writes nothing in its working folder";
        return false;
    }
    return write_calibration_file(state_.cal, state_.working_directory / kWorkmapFile,
                                  state_.edition, error);
}

bool Application::save_at_exit() {
    if (const std::string unsent = send_changes_before_exit(); !unsent.empty()) {
        if (exit_at_once_) {
            std::fprintf(stderr, "veloquin: %s\n", unsent.c_str());
        } else {
            const UserWaitScope waiting(*this);
            platform_.message_box(unsent, "Device", MessageButtons::ok);
        }
    }
    std::string error;
    if (state_.read_only && workmap_words_ == calibration_words(state_.cal)) return true;
    if (write_workmap(&error) || exit_at_once_ || busy()) return true;
    BusyScope scope(*this);
    return keep_asking_until_safe(error);
}

void Application::check_workmap_writable() {
    if (state_.read_only) return;
    std::string error;
    if (check_writable_folder(state_.working_directory, error)) return;
    hold_notice(std::string(kWorkmapFile) + " cannot be written (" + error +
                "): use Save As... to keep this session's changes");
}

std::optional<std::string> Application::ask_file(int command) {
    const FileDialogInfo* dialog = file_dialog_for(command);
    if (dialog == nullptr) return std::nullopt;
    std::string& folder = folder_of(state_.folders, dialog->folder);
    FileDialogRequest request;
    request.save = dialog->kind == FileDialogKind::save;
    request.title = dialog->title;
    for (const FileFilter& f : dialog->filters)
        request.filters.emplace_back(f.text, f.pattern);
    request.default_extension = dialog->default_extension;
    request.folder = folder;
    if (command == cmd::save_as) request.name = state_.calibration_name;
    std::optional<std::string> chosen;
    {
        // The dialog is a safe point: the device's poll and the live values
        // go on while the tuner looks for a file.
        const UserWaitScope waiting(*this);
        chosen = platform_.choose_file(request);
    }
    if (!chosen || chosen->empty()) return std::nullopt;
    if (request.save) *chosen = add_default_extension(*chosen, dialog->default_extension);
    folder = split_path(*chosen).folder;
    return chosen;
}

void Application::report_file_error(const std::string& what, const std::string& why) {
    const UserWaitScope waiting(*this);
    platform_.message_box(what + "\n\n" + why, "Error", MessageButtons::ok);
}

}  // namespace veloquin
