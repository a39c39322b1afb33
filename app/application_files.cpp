// The Application's file commands: calibrations and partial settings in
// and out, logs, comparing with a file, "workmap.cfg", and the file dialogs
// and error messages they show.

#include "app/application.h"
#include "app/application_scopes.h"
#include "app/commands.h"
#include "calfile/atomic_file.h"
#include "calfile/calibration_file.h"
#include "calibration/conversions.h"
#include "datalogs/log_file.h"
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
    if (whole_calibration) {
        state_.calibration_path = path;
        state_.calibration_name = split_path(path).file;
        state_.cal.param(hw::MAP_BAR_LO) = 0;
        state_.cal.param(hw::MAP_BAR_HI) = 0;
    }
    read_calibration_text(state_.cal, text, state_.edition);
    derive_pressure_counts(state_.cal);
    fill_all_pages();
    state_.erase_allowance = kEraseAfterFile;
    platform_.repaint_page();
    return true;
}

bool Application::save_calibration(const std::string& path) {
    std::string error;
    if (!write_calibration_file(state_.cal, path, state_.edition, &error)) {
        report_file_error("The calibration was not saved to " + path + ".", error);
        return false;
    }
    state_.calibration_path = path;
    state_.calibration_name = split_path(path).file;
    return true;
}

bool Application::load_log(const std::string& path) {
    const LogReadResult result = load_log_by_name(state_.log, path);
    if (!result.ok) {
        report_file_error("The log was not loaded.", result.message);
        return false;
    }
    steps_.forget_log_steps();
    state_.log_comparison.first_name = split_path(path).file;
    if (!result.message.empty()) hold_notice(result.message);
    reset_log_view_zoom(state_.log_view);  // a new log is shown whole
    platform_.show_page(Page::log_viewer);
    platform_.repaint_page();
    return true;
}

bool Application::save_log(const std::string& path) {
    const LogWriteResult result = log_write_file(state_.log, path);
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
    return write_calibration_file(state_.cal, state_.working_directory / kWorkmapFile,
                                  state_.edition, error);
}

void Application::save_at_exit() {
    std::string error;
    if (write_workmap(&error) || exit_at_once_ || busy()) return;
    BusyScope scope(*this);
    const MessageAnswer answer = platform_.message_box(
        std::string(kWorkmapFile) + " could not be written: " + error +
            "\n\nThis session's changes are lost unless you save them elsewhere. Save the "
            "calibration with \"Save As...\" before quitting?",
        "Error", MessageButtons::yes_no);
    if (answer != MessageAnswer::yes) return;
    if (const auto path = ask_file(cmd::save_as)) save_calibration(*path);
}

void Application::check_workmap_writable() {
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
