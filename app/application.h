#pragma once
// The main window's behaviour without the window: start-up, the page switch,
// the two timers, the keys, the menu commands and the in-place value editor.
// The Qt program forwards its events here and draws what the state holds;
// tests drive it through a fake platform.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/comparison.h"
#include "app/history.h"
#include "app/key_routing.h"
#include "app/learn_review.h"
#include "app/page_controls.h"
#include "app/parameter_fields.h"
#include "app/program_state.h"
#include "app/snapshots.h"
#include "app/startup.h"
#include "app/step_names.h"
#include "app/undo_steps.h"
#include "base/platform.h"
#include "calibration/calibration.h"
#include "datalogs/log_import.h"
#include "datalogs/log_sample.h"
#include "datalogs/log_viewer.h"
#include "device/device_link.h"
#include "device/recording.h"
#include "editors/editor_state.h"

namespace veloquin {

// What a command that would disturb a running recording says instead.
inline constexpr std::string_view kStopRecordingFirst = "Recording: press Enter to stop it first";
// What input the device's work refuses says, held until the next action: a
// key taken in while the calibration came would act on values no longer there.
inline constexpr std::string_view kBusyWithDevice = "Busy with the device - one moment";
inline constexpr std::string_view kDownloadReplacedWork =
    "The device's calibration replaced your work: Edit > Undo or File > History... brings it back";

class Application {
  public:
    Application(Platform& platform, Edition edition);
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    ProgramState& state() { return state_; }
    const ProgramState& state() const { return state_; }
    Platform& platform() { return platform_; }

    // Start-up before the window: working folders (made on disk) and the start
    // files from `working_directory`.
    void start(const WorkingFolders& folders, const std::filesystem::path& working_directory);
    // The same where the program found its files: the installed factory
    // calibration stands in for a missing default.cfg.
    void start(const FileLocations& files);
    // What creating the main window does besides the widgets: the port probe,
    // the first fill of the pages and of the live panel, page 1.
    void create_main_window();

    // The page switch's logic: live modes off, in-place editor closed, every
    // parameter page committed and refilled, then the page is the visible one.
    void select_page(Page page);

    // A page switch while the device has the line: the page is shown, but
    // typed fields are left for the next switch to commit.
    void show_page_while_busy(Page page);

    // Timer 1 (20 ms) and timer 2 (1000 ms). Skipped while a command runs:
    // nothing ever runs inside something else.
    void poll_tick();
    void second_tick();

    // A key press anywhere in the main window. Commands run here; the caller
    // swallows the key unless the result says `pass`.
    KeyRoute key_press(const KeyPress& key, KeyFocus focus);
    KeyRoute key_press(const KeyPress& key, bool main_window_focused) {
        return key_press(key, main_window_focused ? KeyFocus::main_window : KeyFocus::control);
    }

    // A parameter field being typed into, and finished (Enter, Tab, the focus
    // leaving it). A field is committed when it is finished, at a page switch,
    // before any command and at closing, never half-typed by the timer.
    void field_editing(int control);
    void field_finished(int control);
    // Commits what was typed into the visible page's fields.
    void commit_fields();

    // A menu command, accelerator or popup entry.
    void command(int id);
    void connect_pressed();
    // "Serial port...": the port table with each port's state; the port
    // chosen is remembered in the working folder and tried first.
    void choose_serial_port();

    // The in-place value editor of a map editor.
    void open_cell_editor(Page editor_page);
    void commit_cell_editor(std::string_view typed);
    void cancel_cell_editor();

    // Parameter pages.
    void fill_all_pages();
    void commit_and_refresh_all_pages();
    void read_back_page_with_after_steps(Page page, int skip = -1);

    // Files, also reachable from the command line.
    bool open_calibration(const std::string& path);
    bool load_partial_settings(const std::string& path);
    bool save_calibration(const std::string& path);
    bool load_log(const std::string& path);
    bool save_log(const std::string& path);

    // Comparing with a calibration file (the Tools menu, --compare).
    bool compare_with(const std::string& path);
    void stop_comparing();
    // The list made anew if the calibration changed; true when it was.
    bool refresh_comparison();
    // The page and cursor of difference `index` of the list; nullopt (and
    // nothing done) when no page shows it.
    std::optional<DifferenceTarget> go_to_difference(std::size_t index);

    // "workmap.cfg" in the working directory, written atomically, with what
    // was just typed into a field.
    bool write_workmap(std::string* error = nullptr);
    // A normal exit: writes "workmap.cfg"; when it cannot be written, says
    // why and offers "Save As..." first. After exit_at_once (a signal) it
    // only writes.
    // True once the work is safe (or nothing needs saving); false while the
    // program must stay open. Normal exits keep asking.
    bool save_at_exit();
    // While connected, sends the changes the device was not sent yet, within
    // a second; what could not be sent, in words, or empty.
    std::string send_changes_before_exit();
    void exit_at_once() { exit_at_once_ = true; }
    // Shows `text` in the lower status line until the next action.
    void hold_notice(const std::string& text) {
        state_.notice = text;
        platform_.set_lower_status(text);
    }

    bool busy() const { return busy_ > 0; }
    // Input that came while busy: never kept for later, said in the lower line.
    void refuse_input() { hold_notice(std::string(kBusyWithDevice)); }
    // How many times a device's calibration came at connect; input queued
    // before it came was meant for the values it replaced.
    int downloads_taken() const { return downloads_taken_; }
    // Whether a recording may start now (the guard only counts after one ended).
    bool recording_allowed_now();
    // A recording runs from the poll timer; the window stays free meanwhile.
    bool recording() const { return recording_session_.active(); }
    // Ends a running recording as a stop asked for by the user, or because
    // the program is closing; nothing when none runs.
    void stop_recording(RecordingEnd why = RecordingEnd::enter_pressed);
    // The last recording's result (its file, what ended it).
    const RecordingResult& last_recording() const { return last_recording_; }
    // Recordings keep at most this many samples in their file; 0: no limit.
    void set_recording_sample_limit(int samples) { recording_.sample_limit = samples; }

    // "Learn from log..." and the hit counts (application_learn.cpp). The
    // review learns from the loaded log, or from a file asked for when none
    // is loaded; each entry shows the learnt map's page.
    void learn_from_log();
    bool learn_from_file(const std::string& path);
    // "Other log...": a file asked for, whatever is loaded.
    void learn_from_other_log();
    void change_learning(LearnMap map, const LearnFilters& filters);
    // The proposal written into the calibration, all of it or the cells in
    // the editor selection, as one undo step; returns the words changed.
    int apply_learning(bool selection_only);
    void discard_learning();
    // The target AFR file changed: a review under way aims at it anew.
    void reload_learn_targets();
    void toggle_hit_counts();
    void show_learn_hit_numbers(bool on);

    // The window title after its fixed first words: the device's line, the
    // open file's name, and " *" while the calibration differs from what
    // was last opened or saved (application_title.cpp).
    std::string title_line(std::string_view device_line) const;
    // Alarms and markers (application_alarms.cpp). Each live sample, polled
    // or recorded, goes past the rules; `marker_sample` is where a recording
    // keeps it, -1 outside a recording.
    void watch_live_sample(const LogSample& sample, std::int64_t marker_sample);
    void edit_alarms();
    // M: a marker on the newest sample of a recording, or on the viewer's cursor.
    void drop_marker();
    void jump_to_marker(bool forward);
    // What the dashboard and the live panel show red, flashing.
    bool alarm_shown(LogChannel channel) const;
    std::vector<LogChannel> alarmed_channels() const;
    bool alarm_flash_bright() const;
    // Snapshots of the work before it is replaced as a whole, and File >
    // History... putting one back as an undo step (application_history.cpp).
    bool keep_snapshot(const Calibration& cal, SnapshotCause cause);
    void show_history();
    bool restore_snapshot(const Snapshot& snapshot);
    // "Log histogram..." (application_histogram.cpp): a channel of the loaded
    // log onto a map, its grid as text, and applying it as one undo step
    // after the tuner saw what it writes.
    void open_log_histogram();
    void change_histogram(const HistogramSettings& settings);
    // Made anew when the log changed under it (a load, a recording).
    void refresh_histogram();
    // Shows (or hides) over the map what applying would write; refused with
    // the reason where the units do not fit.
    void review_histogram_apply(bool on);
    int apply_histogram();
    void close_histogram();
    bool save_histogram(const std::string& path);
    void save_histogram_as();

    // The scatter plot and a second log in the viewer (application_log_bench.cpp).
    void open_scatter();
    void change_scatter(const ScatterSettings& settings);
    void refresh_scatter();
    // Marks the samples whose points lie in `rect` in the viewer's bands;
    // returns how many.
    int select_in_scatter(PlotRect plot, PlotRect rect);
    void close_scatter();
    // "Compare with log...": a second log drawn in the viewer's bands; the
    // first stays as it is.
    bool compare_with_log(const std::string& path);
    void move_comparison(int samples);
    void stop_comparing_logs();
    // Ctrl+Left and Ctrl+Right move the second log on the viewer; true when taken.
    bool log_bench_key(const KeyPress& key);

    // Undo and redo.
    const CalibrationHistory& history() const { return steps_.history(); }
    // The Edit menu's Undo and Redo texts as they stand now; nullopt for
    // entries whose text never changes.
    std::optional<MenuEntryState> menu_entry_state(int command_id) const;

  private:
    class BusyScope;
    class UserWaitScope;
    void run_command(int id);
    void undo_or_redo(bool undoing);
    bool apply_file(const std::string& path, bool whole_calibration);
    bool read_file_into_calibration(const std::string& path, bool whole_calibration);
    std::optional<std::string> ask_file(int command);
    void record_log(bool pass_mode);
    // A command that would disturb a running stream is refused with a word why.
    bool refused_while_recording(int command);
    void crop_log();
    void update_firmware();
    void report_file_error(const std::string& what, const std::string& why);
    // The port chosen in an earlier run, read from the working folder.
    void remember_chosen_port();
    bool device_connected() const;
    void check_workmap_writable();
    void compare_with_last_file();
    void begin_learning(const std::string& log_name);
    // A CSV or tab-separated log, its unknown columns assigned by the tuner
    // (or as remembered for its header); false when nothing was loaded.
    bool load_log_table(const std::string& path);
    bool assign_unknown_columns(const std::string& path, LogTable& table, std::string& notice);
    void show_loaded_log(const std::string& path, const std::string& notice);
    void read_alarm_rules();
    // The markers beside a log file just written; a failure is said.
    void write_markers_beside(const std::filesystem::path& log_path);
    // A download at connect that changed `seen` (the work, `work`): one undo
    // step said in the lower line, or the work kept for another device.
    void take_in_download(const Calibration& work, CalibrationWords& seen);
    bool ask_keep_work(const std::string& last, const std::string& device);
    // application_work.cpp
    void keep_workmap_current();
    bool keep_asking_until_safe(std::string error);
    void claim_working_folder();
    // 0: send the file to the device, 1: compare it with the device's, -1: neither.
    int ask_send_opened_file(const std::string& path);
    // The AFR protect curve in a file the lite program opened, which its
    // files cannot hold; a full program's file without it keeps the curve.
    void note_afr_protect_section(std::string_view text, const std::string& path);
    bool may_leave_out_afr_protect(const std::string& path);

    Platform& platform_;
    ProgramState state_;
    RecordingContext recording_;
    RecordingSession recording_session_{recording_};
    RecordingResult last_recording_;
    bool recorded_once_ = false;
    int busy_ = 0;
    bool notice_held_ = false;  // at the end of the last poll tick
    int downloads_taken_ = 0;
    // Commands that wait in a dialog; no other command runs meanwhile.
    int waiting_for_user_ = 0;
    UndoSteps steps_{state_};
    ParameterFields fields_{state_, platform_, steps_};
    bool exit_at_once_ = false;
    // The words as the file last opened or saved (or the start) holds them.
    CalibrationWords saved_words_{};
    void remember_saved_words() { saved_words_ = calibration_words(state_.cal); }
    // The words workmap.cfg holds as this program last wrote (or read) it.
    std::optional<CalibrationWords> workmap_words_;
    bool workmap_written_ = true;
};

}  // namespace veloquin
