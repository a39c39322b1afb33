#include "app/application.h"

#include <algorithm>

#include "app/application_scopes.h"
#include "app/commands.h"
#include "app/port_choice.h"
#include "app/typed_entry.h"
#include "calibration/conversions.h"
#include "datalogs/live_sample.h"
#include "datalogs/log_zoom.h"
#include "device/connection.h"
#include "device/firmware.h"
#include "device/serial_access.h"
#include "editors/cursor_keys.h"
#include "editors/editor_commands.h"
#include "editors/map_operations.h"
#include "editors/page_rules.h"
#include "editors/trace_automap.h"

namespace veloquin {

namespace {

constexpr int kEraseAfterEditor = 2;
// An undo can move any map, so the editors are erased and drawn afresh as
// after a file was opened.
constexpr int kEraseAfterUndo = 2;

}  // namespace

Application::Application(Platform& platform, Edition edition)
    : platform_(platform),
      state_(edition),
      recording_{.platform = platform,
                 .link = state_.link,
                 .calibration = state_.cal,
                 .log = state_.log,
                 .edition = edition,
                 .on_sample = [this](const LogSample& sample, std::int64_t index) {
                     watch_live_sample(sample, index);
                 }} {}

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
    claim_working_folder();
    create_working_folders(files.folders);
    const std::string notice =
        load_start_files(state_.cal, files.start_folder, state_.edition, files.factory_calibration);
    if (!notice.empty()) hold_notice(notice);
    derive_pressure_counts(state_.cal);
    steps_.reset();
    workmap_words_ = calibration_words(state_.cal);
    check_workmap_writable();
    read_alarm_rules();
}

void Application::create_main_window() {
    remember_chosen_port();
    start_search(state_.link, platform_);
    platform_.set_title_line("");
    fill_all_pages();
    platform_.refresh_live_panel();
    // The first page is no action of the tuner's: a start notice outlives it.
    const std::string start_notice = state_.notice;
    select_page(Page::parameters);
    if (!start_notice.empty()) hold_notice(start_notice);
    if (!state_.alarm_settings_message.empty()) hold_notice(state_.alarm_settings_message);
    // What the first fill and commit settle is where undoing stops.
    steps_.reset();
    remember_saved_words();
}

void Application::select_page(Page page) {
    state_.notice.clear();
    state_.edited_control = -1;
    collapse_selection(state_.editor.cursor);
    stop_live_modes(state_.editor);
    cancel_cell_editor();
    fields_.commit_typed([this] { commit_and_refresh_all_pages(); });
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
    if (!state_.editor.automapping) steps_.record_automapping_run();
    CalibrationWords seen = calibration_words(state_.cal);
    // A connection made on this tick brings the device's calibration.
    std::optional<Calibration> work;
    if (!state_.link.connected) work.emplace(state_.cal);
    const auto take_download = [this, &work, &seen] {
        if (!work || !state_.link.connected) return;
        take_in_download(*work, seen);
        work.reset();
    };
    PollHooks hooks;
    hooks.automapping_on = [this] { return state_.editor.automapping; };
    hooks.process_live_data = [this, &seen, &take_download] {
        take_download();
        steps_.take_in_poll_changes(seen, false);
        process_live_data(state_.editor, state_.cal, state_.link.live, state_.main_page, platform_,
                          state_.cell_editor_open);
        steps_.take_in_poll_changes(seen, state_.editor.automapping);
        LogSample sample;
        fill_sample_from_live(sample, state_.link.live, state_.cal, platform_.now_ms());
        watch_live_sample(sample, -1);
    };
    // A notice dismissed since the last tick gives the lines back to the search.
    if (notice_held_ && state_.notice.empty()) show_search_state_again(state_.link, platform_);
    const bool was_connected = state_.link.connected;
    veloquin::poll_tick(state_.link, state_.cal, platform_, state_.edition, hooks);
    take_download();
    // A device lost is newer news than what the lines held.
    if (was_connected && !state_.link.connected) state_.notice.clear();
    steps_.take_in_poll_changes(seen, false);
    // Port errors and transfer texts of the tick do not replace a notice.
    if (!state_.notice.empty()) platform_.set_lower_status(state_.notice);
    notice_held_ = !state_.notice.empty();
}

void Application::second_tick() {
    if (busy()) return;
    BusyScope scope(*this);
    // A kill or a power cut loses at most the last second of work.
    keep_workmap_current();
    if (state_.editor.automapping) return;
    const Page page = state_.main_page;
    if (!has_controls(page) || !fields_.touched(page)) return;
    const int skip = state_.edited_control;
    fields_.commit_typed([this, page, skip] { read_back_page_with_after_steps(page, skip); }, skip);
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
    if (!has_controls(page) || !fields_.touched(page)) return;
    fields_.commit_typed([this, page] { read_back_page_with_after_steps(page); });
    platform_.controls_changed();
}

KeyRoute Application::key_press(const KeyPress& key, KeyFocus focus) {
    if (busy()) {
        refuse_input();
        return {KeyAction::command, 0};
    }
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
    if (focus != KeyFocus::text_field && log_bench_key(key)) return {KeyAction::command, 0};
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
    steps_.undoable(command_step_name(id, state_.main_page), [this, id] { run_command(id); });
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
            if (const std::string refused = knock_log_refusal(state_.log); !refused.empty()) {
                hold_notice("Calibrate Knock by Log: " + refused);
                return;
            }
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
        case cmd::target_afr:
            platform_.show_target_afr();
            return;
        case cmd::serial_port:
            choose_serial_port();
            return;
        case cmd::alarms:
            edit_alarms();
            return;
        case cmd::drop_marker:
            drop_marker();
            return;
        case cmd::next_marker:
        case cmd::previous_marker:
            jump_to_marker(id == cmd::next_marker);
            return;
        case cmd::history:
            show_history();
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
        case cmd::log_histogram:
            open_log_histogram();
            return;
        case cmd::scatter_plot:
            open_scatter();
            return;
        case cmd::compare_with_log:
            if (const auto path = ask_file(id)) compare_with_log(*path);
            return;
        case cmd::stop_comparing_logs:
            stop_comparing_logs();
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
        const std::string note =
            apply_editor_command(state_.editor, state_.cal, *editing, state_.main_page, platform_);
        if (!note.empty()) hold_notice(note);
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
    const CellEntry entry = cell_entry(page, typed);
    if (!entry.note.empty()) hold_notice(entry.note);
    if (const auto value = entry.value) {
        steps_.undoable(cell_edit_step_name(page), [this, page, value] {
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
    fields_.fill_all();
}

void Application::commit_and_refresh_all_pages() {
    fields_.commit_and_refresh_all();
}

void Application::read_back_page_with_after_steps(Page page, int skip) {
    fields_.read_back(page, skip);
}

void Application::undo_or_redo(bool undoing) {
    if (state_.cell_editor_open) cancel_cell_editor();
    // A value typed a moment ago is the newest change: it is committed so the
    // undo takes it back rather than the refill dropping it. Untouched fields
    // are not read back: the refill after the undo shows the words anew.
    const std::string typed = fields_.typed_step_name();
    if (!typed.empty() && has_controls(state_.main_page)) {
        steps_.undoable(typed, [this] { read_back_page_with_after_steps(state_.main_page); });
    }
    if (!steps_.step(undoing)) return;
    fill_all_pages();
    state_.erase_allowance = kEraseAfterUndo;
    platform_.repaint_page();
}

std::optional<MenuEntryState> Application::menu_entry_state(int command_id) const {
    if (auto learn = learn_menu_entry(command_id, state_.learn)) return learn;
    if (command_id == cmd::stop_recording) {
        return MenuEntryState{"Stop recording\tEnter", recording()};
    }
    return steps_.edit_menu_entry(command_id);
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

}  // namespace veloquin
