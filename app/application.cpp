#include "app/application.h"

#include <algorithm>

#include "app/commands.h"
#include "app/port_choice.h"
#include "calfile/atomic_file.h"
#include "calfile/calibration_file.h"
#include "calibration/conversions.h"
#include "datalogs/log_file.h"
#include "datalogs/log_zoom.h"
#include "datalogs/mazda_import.h"
#include "device/connection.h"
#include "device/firmware.h"
#include "device/serial_access.h"
#include "editors/cursor_keys.h"
#include "editors/editor_commands.h"
#include "editors/page_rules.h"
#include "editors/trace_automap.h"

namespace veloquin {

// Marks a command or tick as running; a tick or command arriving meanwhile
// (from a wait's nested event loop, a dialog's loop, a message box) is dropped.
class Application::BusyScope {
  public:
    explicit BusyScope(Application& app) : app_(app) { ++app_.busy_; }
    ~BusyScope() { --app_.busy_; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

  private:
    Application& app_;
};

// While a command waits for the tuner in a dialog at a point where nothing of
// it is half done, the poll and the one-second read-back may run: the line
// is not in use, and the command goes on only once the dialog is closed.
class Application::UserWaitScope {
  public:
    explicit UserWaitScope(Application& app) : app_(app), held_(app.busy_) {
        app_.busy_ = 0;
        ++app_.waiting_for_user_;
    }
    ~UserWaitScope() {
        app_.busy_ = held_;
        --app_.waiting_for_user_;
    }
    UserWaitScope(const UserWaitScope&) = delete;
    UserWaitScope& operator=(const UserWaitScope&) = delete;

  private:
    Application& app_;
    int held_;
};

namespace {

constexpr int kMapFuelCorrectionMin = -75;
constexpr int kMapFuelCorrectionMax = 200;
constexpr int kBoostDutyMax = 100;
constexpr int kEraseAfterEditor = 2;
constexpr std::string_view kStopRecordingFirst = "Recording: press Enter to stop it first";
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

// The typed value of an in-place entry as the visible page stores it; nullopt
// on a page without a map.
std::optional<int> cell_value(Page page, std::string_view typed) {
    switch (page) {
        case Page::maf_emulation:
            return volts_to_counts(parse_c_number(typed));
        case Page::fuel_correction:
        case Page::nos_methanol:
            return static_cast<int>(std::clamp(parse_c_integer(typed), long{kMapFuelCorrectionMin},
                                               long{kMapFuelCorrectionMax}));
        case Page::boost_control:
            return static_cast<int>(std::clamp(parse_c_integer(typed), 0L, long{kBoostDutyMax}));
        default:
            return std::nullopt;
    }
}

}  // namespace

Application::Application(Platform& platform, Edition edition)
    : platform_(platform),
      state_(edition),
      recording_{.platform = platform,
                 .link = state_.link,
                 .calibration = state_.cal,
                 .log = state_.log,
                 .edition = edition} {}

void Application::start(const WorkingFolders& folders,
                        const std::filesystem::path& working_directory) {
    FileLocations files;
    files.start_folder = working_directory;
    files.folders = folders;
    start(files);
}

void Application::start(const FileLocations& files) {
    state_.files = files;
    state_.folders = files.folders;
    state_.working_directory = files.start_folder;
    create_working_folders(files.folders);
    load_start_files(state_.cal, files.start_folder, state_.edition, files.factory_calibration);
    derive_pressure_counts(state_.cal);
    history_.reset(state_.cal);
    check_workmap_writable();
}

void Application::check_workmap_writable() {
    std::string error;
    if (check_writable_folder(state_.working_directory, error)) return;
    hold_notice(std::string(kWorkmapFile) + " cannot be written (" + error +
                "): use Save As... to keep this session's changes");
}

void Application::hold_notice(const std::string& text) {
    state_.notice = text;
    platform_.set_lower_status(text);
}

void Application::create_main_window() {
    remember_chosen_port();
    start_search(state_.link, platform_);
    platform_.set_title_line("");
    fill_all_pages();
    platform_.refresh_live_panel();
    select_page(Page::parameters);
    // What the first fill and commit settle is where undoing stops.
    history_.reset(state_.cal);
}

void Application::select_page(Page page) {
    state_.notice.clear();
    state_.edited_control = -1;
    collapse_selection(state_.editor.cursor);
    stop_live_modes(state_.editor);
    cancel_cell_editor();
    commit_typed_fields([this] { commit_and_refresh_all_pages(); });
    state_.main_page = page;
    limit_curve_for_page(state_.editor.cursor, page, state_.editor.active_temp_curve);
}

void Application::show_page_while_busy(Page page) {
    collapse_selection(state_.editor.cursor);
    stop_live_modes(state_.editor);
    cancel_cell_editor();
    state_.main_page = page;
    limit_curve_for_page(state_.editor.cursor, page, state_.editor.active_temp_curve);
}

void Application::poll_tick() {
    if (busy()) return;
    BusyScope scope(*this);
    if (recording()) {
        // The stream has the line: the tick takes what arrived instead of polling.
        RecordingEnd why = RecordingEnd::stream_silent;
        if (!recording_session_.take_arrived(why)) stop_recording(why);
        return;
    }
    if (!state_.editor.automapping) record_automapping_run();
    CalibrationWords seen = calibration_words(state_.cal);
    PollHooks hooks;
    hooks.automapping_on = [this] { return state_.editor.automapping; };
    hooks.process_live_data = [this, &seen] {
        take_in_poll_changes(seen, false);
        process_live_data(state_.editor, state_.cal, state_.link.live, state_.main_page, platform_,
                          state_.cell_editor_open);
        take_in_poll_changes(seen, state_.editor.automapping);
    };
    // A notice dismissed since the last tick gives the lines back to the search.
    if (notice_held_ && state_.notice.empty()) show_search_state_again(state_.link, platform_);
    veloquin::poll_tick(state_.link, state_.cal, platform_, state_.edition, hooks);
    take_in_poll_changes(seen, false);
    // Port errors and transfer texts of the tick do not replace a notice.
    if (!state_.notice.empty()) platform_.set_lower_status(state_.notice);
    notice_held_ = !state_.notice.empty();
}

void Application::second_tick() {
    if (busy() || state_.editor.automapping) return;
    BusyScope scope(*this);
    const Page page = state_.main_page;
    if (!has_controls(page) || !fields_touched(page)) return;
    const int skip = state_.edited_control;
    commit_typed_fields([this, page, skip] { read_back_page_with_after_steps(page, skip); }, skip);
    platform_.controls_changed();
}

void Application::field_editing(int control) {
    state_.edited_control = control;
}

void Application::field_finished(int control) {
    if (state_.edited_control == control) state_.edited_control = -1;
    // Inside a command the next second's read-back takes it.
    if (busy()) return;
    BusyScope scope(*this);
    commit_fields();
}

void Application::commit_fields() {
    state_.edited_control = -1;
    const Page page = state_.main_page;
    if (!has_controls(page) || !fields_touched(page)) return;
    commit_typed_fields([this, page] { read_back_page_with_after_steps(page); });
    platform_.controls_changed();
}

bool Application::fields_touched(Page page) const {
    const auto table = control_table();
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (table[i].page == page && state_.controls.values[i].touched()) return true;
    }
    return false;
}

KeyRoute Application::key_press(const KeyPress& key, KeyFocus focus) {
    if (busy()) return {};
    // Enter stops a recording however briefly it is pressed, and Escape too,
    // wherever the focus is.
    if (recording() && (key.code == keycode::enter || key.code == keycode::escape)) {
        stop_recording();
        return {KeyAction::command, 0};
    }
    state_.notice.clear();
    // Undo and redo are the field's own while it is being typed into; once
    // it is finished they undo the tuner's steps, whatever has the focus.
    const bool history_key = key.ctrl && (key.code == 'Z' || key.code == 'Y');
    if (focus == KeyFocus::text_field && history_key && state_.edited_control < 0) {
        focus = KeyFocus::control;
    }
    const KeyRoute route = route_key(key, state_.main_page, focus, state_.cell_editor_open);
    switch (route.action) {
        case KeyAction::pass:
            break;
        case KeyAction::command:
            command(route.command);
            break;
        case KeyAction::commit_edit:
            commit_cell_editor(platform_.cell_editor_text());
            break;
        case KeyAction::cancel_edit:
            cancel_cell_editor();
            break;
        case KeyAction::open_cell_editor:
            state_.pending_key = key.code == keycode::delete_key ? "" : key.text;
            open_cell_editor(state_.main_page);
            break;
    }
    return route;
}

void Application::command(int id) {
    if (busy() || waiting_for_user_ > 0) return;
    BusyScope scope(*this);
    state_.notice.clear();
    commit_fields();
    if (id == cmd::undo || id == cmd::redo) {
        undo_or_redo(id == cmd::undo);
        return;
    }
    undoable(command_step_name(id, state_.main_page), [this, id] { run_command(id); });
}

void Application::run_command(int id) {
    if (refused_while_recording(id)) return;
    switch (id) {
        case cmd::open_calibration:
        case cmd::load_partial_settings:
            if (const auto path = ask_file(id)) apply_file(*path, id == cmd::open_calibration);
            return;
        case cmd::save:
            if (!state_.calibration_path.empty()) {
                save_calibration(state_.calibration_path);
                return;
            }
            [[fallthrough]];
        case cmd::save_as:
            if (const auto path = ask_file(cmd::save_as)) save_calibration(*path);
            return;
        case cmd::update_firmware:
            update_firmware();
            return;
        case cmd::exit:
            platform_.close_main_window();
            return;
        case cmd::stop_recording:
            stop_recording();
            return;
        case cmd::start_log_record:
        case cmd::start_record_pass:
            // F7 or F8 while recording stops it, as Enter does.
            if (recording()) {
                stop_recording();
                return;
            }
            // Without a device a recording would only empty the log and
            // write that emptiness over default.log.
            if (!device_connected()) {
                hold_notice("Not connected: no log recorded");
                return;
            }
            if (recording_allowed_now()) record_log(id == cmd::start_record_pass);
            return;
        case cmd::load_log_file:
            if (const auto path = ask_file(id)) load_log(*path);
            return;
        case cmd::save_log_as:
            if (const auto path = ask_file(id)) save_log(*path);
            return;
        case cmd::crop_log_file:
            crop_log();
            return;
        case cmd::whole_log_view:
            if (reset_log_view_zoom(state_.log_view)) platform_.repaint_page();
            return;
        case cmd::calibrate_knock_by_log: {
            const int set = calibrate_knock_by_log(state_.cal, state_.log, platform_);
            hold_notice(set == 0 ? std::string("Calibrate Knock by Log: no sample of the log lies "
                                               "on the knock curve; nothing was set")
                                 : "Calibrate Knock by Log: " + std::to_string(set) + " of " +
                                       std::to_string(cv::KNOCK_POINTS + 1) +
                                       " knock points set from the log");
            return;
        }
        case cmd::about:
            platform_.show_about();
            return;
        case cmd::serial_port:
            choose_serial_port();
            return;
        case cmd::serial_port_access:
            platform_.message_box(serial_access_text(query_serial_access()), "Serial port access",
                                  MessageButtons::ok);
            return;
        case cmd::compare_with_calibration:
            if (const auto path = ask_file(id)) compare_with(*path);
            return;
        case cmd::compare_with_last_file:
            compare_with_last_file();
            return;
        case cmd::stop_comparing:
            stop_comparing();
            return;
        case cmd::learn_from_log:
            learn_from_log();
            return;
        case cmd::show_hit_counts:
            toggle_hit_counts();
            return;
        case cmd::open_cell_editor:
            // The editor of the map on show: one on a hidden page took the
            // next keys and stored nothing.
            if (page_rules(state_.main_page).kind == TableKind::map) {
                open_cell_editor(state_.main_page);
            }
            return;
        default:
            break;
    }
    if (const auto editing = editor_command_for_id(id)) {
        apply_editor_command(state_.editor, state_.cal, *editing, state_.main_page, platform_);
    }
}

void Application::connect_pressed() {
    state_.notice.clear();
    if (recording()) {
        hold_notice(std::string(kStopRecordingFirst));
        return;
    }
    connect_button_pressed(state_.link, platform_);
}

void Application::remember_chosen_port() {
    if (const auto chosen = read_chosen_port(state_.working_directory)) {
        state_.link.search.chosen_port = port_identity(*chosen);
    }
}

void Application::choose_serial_port() {
    const std::vector<SerialPortChoice> ports = list_serial_ports(state_.link, platform_);
    std::optional<int> number;
    {
        // The live values go on while the tuner reads the list.
        const UserWaitScope waiting(*this);
        number = platform_.choose_serial_port(ports);
    }
    const auto chosen = std::find_if(ports.begin(), ports.end(), [&](const SerialPortChoice& p) {
        return number && p.number == *number;
    });
    if (chosen == ports.end()) return;
    choose_port(state_.link, platform_, *chosen);
    std::string error;
    if (!write_chosen_port(state_.working_directory, chosen->port, &error)) {
        hold_notice("The chosen port is not remembered: " + error);
    }
}

bool Application::device_connected() const {
    const DeviceLink& link = state_.link;
    return link.connected && link.is_open();
}

void Application::open_cell_editor(Page editor_page) {
    cancel_cell_editor();
    state_.cell_editor_open = true;
    platform_.open_cell_editor(editor_page, state_.pending_key);
    state_.pending_key.clear();
}

void Application::commit_cell_editor(std::string_view typed) {
    if (!state_.cell_editor_open) return;
    const Page page = state_.main_page;
    if (const auto value = cell_value(page, typed)) {
        undoable(cell_edit_step_name(page), [this, page, value] {
            EditorCursor& c = state_.editor.cursor;
            update_selection(c, state_.cal);
            const MapId map = page_rules(page).map;
            for (int row = c.first_row; row <= c.last_row; ++row) {
                for (int col = c.first_col; col <= c.last_col; ++col) {
                    state_.cal.cell(map, row, col) = static_cast<std::int16_t>(*value);
                }
            }
        });
    }
    cancel_cell_editor();
}

void Application::cancel_cell_editor() {
    platform_.close_cell_editor();
    state_.erase_allowance = kEraseAfterEditor;
    state_.cell_editor_open = false;
    platform_.repaint_page();
    platform_.focus_main_window();
}

void Application::fill_all_pages() {
    for (Page p : {Page::parameters, Page::nos_methanol, Page::boost_control, Page::ls_switches}) {
        fill_page(state_.controls, state_.cal, p);
    }
    committed_controls_ = state_.controls;
    platform_.controls_changed();
}

void Application::commit_and_refresh_all_pages() {
    read_back_page_with_after_steps(Page::parameters);
    fill_page(state_.controls, state_.cal, Page::parameters);
    read_back_page_with_after_steps(Page::nos_methanol);
    read_back_page_with_after_steps(Page::boost_control);
    read_back_page_with_after_steps(Page::ls_switches);
    recompute_derived_values(state_.cal, state_.edition);
    fill_page(state_.controls, state_.cal, Page::nos_methanol);
    fill_page(state_.controls, state_.cal, Page::boost_control);
    fill_page(state_.controls, state_.cal, Page::ls_switches);
    committed_controls_ = state_.controls;
    platform_.controls_changed();
}

void Application::read_back_page_with_after_steps(Page page, int skip) {
    Calibration& cal = state_.cal;
    const int lo = cal.param(hw::METH_BAR_LO);
    const int hi = cal.param(hw::METH_BAR_HI);
    read_back_page(state_.controls, cal, page, skip);
    if (page == Page::parameters) return;
    recompute_derived_values(cal, state_.edition);
    // The methanol map's row axis moved: its editor must be drawn anew.
    if (page == Page::nos_methanol &&
        (cal.param(hw::METH_BAR_LO) != lo || cal.param(hw::METH_BAR_HI) != hi)) {
        state_.erase_allowance = 1;
        platform_.repaint_page();
    }
}

bool Application::open_calibration(const std::string& path) {
    return apply_file(path, true);
}

bool Application::load_partial_settings(const std::string& path) {
    return apply_file(path, false);
}

bool Application::apply_file(const std::string& path, bool whole_calibration) {
    bool applied = false;
    const int command = whole_calibration ? cmd::open_calibration : cmd::load_partial_settings;
    undoable(command_step_name(command, state_.main_page),
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
    history_.forget_log_steps();
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

bool Application::recording_allowed_now() {
    return !recorded_once_ || recording_allowed(platform_.now_ms(), recording_.last_end_ms);
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

void Application::crop_log() {
    auto before = std::make_shared<LogSnapshot>(take_log_snapshot(state_.log, state_.log_view));
    if (!log_crop(state_.log)) {
        hold_notice("Crop Log File: mark at least two samples first (drag across the log)");
        return;
    }
    pending_log_ = std::move(before);
    platform_.repaint_page();
}

void Application::record_log(bool pass_mode) {
    recording_.logs_folder = state_.folders.logs;
    if (!recording_session_.start(pass_mode)) {
        hold_notice("The device did not take the stream command: no log recorded");
        return;
    }
    history_.forget_log_steps();
    reset_log_view_zoom(state_.log_view);
    platform_.repaint_page();
}

void Application::stop_recording(RecordingEnd why) {
    if (!recording()) return;
    last_recording_ = recording_session_.finish(why);
    recorded_once_ = true;
    reset_log_view_zoom(state_.log_view);
}

bool Application::refused_while_recording(int command) {
    if (!recording()) return false;
    switch (command) {
        case cmd::update_firmware:
        case cmd::load_log_file:
        case cmd::crop_log_file:
        case cmd::calibrate_knock_by_log:
        case cmd::serial_port:  // its probe and choice would take the stream's line
            hold_notice(std::string(kStopRecordingFirst));
            return true;
        default:
            return false;
    }
}

void Application::update_firmware() {
    DeviceLink& link = state_.link;
    link.timeouts = TimeoutSet::firmware;
    if (const auto path = ask_file(cmd::update_firmware)) {
        update_firmware_from_file(link, platform_, *path);
        return;
    }
    // A cancelled dialog sent nothing: the connection stays as it was.
    link.timeouts = TimeoutSet::normal;
}

void Application::report_file_error(const std::string& what, const std::string& why) {
    const UserWaitScope waiting(*this);
    platform_.message_box(what + "\n\n" + why, "Error", MessageButtons::ok);
}

}  // namespace veloquin
