#pragma once
// The program's one top-level window: the navigation column, the live-values
// panel, the "Connect" button and the pages. It is also the program's
// Platform: the core reaches timers, status lines, dialogs and repaints
// through it. Behaviour lives in Application; this class draws and forwards.

#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <array>
#include <functional>
#include <map>
#include <string>

#include "app/application.h"
#include "calfile/folder_lock.h"
#include "device/port_table.h"
#include "device/port_watch.h"
#include "editors/graph_editors.h"

class QFileDialog;
class QGroupBox;

class QPushButton;
class QSoundEffect;

namespace veloquin::gui {

class EditorWidget;
class KeyFilter;
class LogViewerWidget;
class DashboardWidget;
class DifferencesWidget;
class LearnReviewWidget;
class LogBench;
class LivePanelWidget;
class ParameterPages;

// The size of the area below the menu bar; every position inside is fixed.
inline constexpr int kSurfaceWidth = 1014;
inline constexpr int kSurfaceHeight = 708;

class MainWindow : public QMainWindow, public Platform {
    Q_OBJECT
  public:
    // A table that discovers the machine's ports is made anew by the
    // connection search, and its device folder is watched for new ports.
    MainWindow(Edition edition, PortTable& ports);
    ~MainWindow() override;

    Application& app() { return app_; }
    Edition edition() const { return app_.state().edition; }

    // Start-up after construction: the core's creation steps, page 1, timers.
    void create();
    // The full page switch: the core's steps, then buttons, pages and focus.
    void select_page(Page page);

    QWidget* surface() const { return surface_; }
    QWidget* page_widget(Page page) const;
    QPushButton* nav_button(Page page) const;
    QPushButton* connect_button() const { return connect_; }
    LivePanelWidget* live_panel() const { return live_panel_; }
    ParameterPages* parameter_pages() const { return params_; }
    QLineEdit* cell_editor() const { return cell_editor_; }
    QTimer& poll_timer() { return poll_timer_; }
    QTimer& second_timer() { return second_timer_; }

    // Whether the keyboard focus is on the window itself rather than on a
    // field, list or check box of a page (or the in-place editor).
    bool main_window_focused() const;

    // Runs an entry into the core unless one is running, then honours a close
    // that was asked for meanwhile.
    void run_guarded(const std::function<void()>& work);
    EditorWidget* editor(EditorKind kind) const;
    LogViewerWidget* log_viewer() const { return log_viewer_; }
    DashboardWidget* dashboard() const { return dashboard_; }
    DifferencesWidget* differences() const { return differences_; }
    LearnReviewWidget* learn_review() const { return learn_review_; }
    LogBench* log_bench() const { return log_bench_; }

    // Brings every shown painted widget up to date with the program's state.
    void refresh_screen();

    // A key pressed in the window; true when it was taken (not for the focused control).
    bool handle_key(const KeyPress& key);

    // A quit asked for by a signal, the session or the close button while a
    // command runs: the window closes once it has ended.
    void request_close();
    // A quit signal: the device work under way gives up its waits, a
    // recording is ended, "workmap.cfg" is written and every event loop
    // (a dialog's too) ends at once.
    void quit_now();
    bool quitting() const { return quitting_; }
    // A run that asks nothing of a person (--screenshots): message boxes go
    // to stderr and take their default, file dialogs are cancelled.
    void set_unattended(bool on) { unattended_ = on; }
    // Whether input must be refused now: an entry into the core has held the
    // line long enough for the window to take input again meanwhile.
    bool refusing_input() const { return app_.busy() || refusing_queued_; }
    // Says that the input was refused, and why.
    void refuse_input();
    bool is_nav_button(const QWidget* w) const;
    // Called by the serial line before each of its waits and between the
    // device's pauses: keeps the window painting and answering while the
    // core waits for the device. False once the program is quitting.
    bool keep_window_alive();

    // Platform
    std::uint32_t now_ms() override;
    LocalTime local_time() override;
    void sleep_ms(std::uint32_t ms) override;
    SerialOpenResult open_serial(int port_number, TimeoutSet timeouts) override;
    std::string port_name(int port_number) override;
    std::optional<std::vector<SerialPortEntry>> rescan_ports() override;
    bool serial_ports_changed() override;
    void set_upper_status(std::string_view text) override;
    void set_lower_status(std::string_view text) override;
    void set_title_line(std::string_view line) override;
    MessageAnswer message_box(std::string_view text, std::string_view caption,
                              MessageButtons buttons) override;
    bool enter_pressed() override;
    void repaint_page() override;
    void refill_pages() override;
    void refresh_live_panel() override;
    void set_connect_enabled(bool enabled) override;
    void focus_main_window() override;
    void stop_timers() override;
    void start_timers() override;
    void show_page(Page page) override;
    std::optional<std::string> choose_file(const FileDialogRequest& request) override;
    void show_about() override;
    void show_target_afr() override;
    bool run_with_progress(std::string_view title, const ProgressJob& job) override;
    std::optional<int> choose_serial_port(const std::vector<SerialPortChoice>& ports) override;
    std::optional<std::vector<std::size_t>> choose_log_columns(
        const ColumnChoiceRequest& request) override;
    void open_cell_editor(Page page, std::string_view typed) override;
    void close_cell_editor() override;
    std::string cell_editor_text() override;
    void controls_changed() override;
    void close_main_window() override;
    void play_alarm_sound() override;
    std::optional<AlarmSettings> edit_alarms(const AlarmSettings& settings) override;
    int ask(std::string_view text, std::string_view caption,
            const std::vector<std::string>& choices) override;
    std::optional<int> choose_row(std::string_view title, const std::vector<std::string>& columns,
                                  const std::vector<std::vector<std::string>>& rows,
                                  std::string_view action) override;
    bool lock_folder(const std::string& folder) override;

    // Live records shown since start while connected (the screenshots wait for a few).
    int live_records_shown() const { return live_records_shown_; }
    // Frames the painted widgets have drawn since start (the benchmarks'
    // frame rate; VELOQUIN_FRAME_STATS=FILE writes it there every second).
    long long frames_painted() const;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void build_menus();
    void build_navigation();
    void build_pages();
    void after_entry();
    // The buttons, the page and the focus of the page the core now shows.
    void show_selected_page(Page page);
    QEventLoop::ProcessEventsFlags wait_flags() const;
    void update_editor_buttons();

    Application app_;
    PortTable& ports_;
    std::unique_ptr<SerialDeviceWatch> port_watch_;
    std::map<int, std::string> open_errors_;
    QWidget* surface_ = nullptr;
    std::map<Page, QGroupBox*> pages_;
    std::map<Page, QPushButton*> nav_;
    std::map<EditorKind, EditorWidget*> editors_;
    LivePanelWidget* live_panel_ = nullptr;
    LogViewerWidget* log_viewer_ = nullptr;
    DashboardWidget* dashboard_ = nullptr;
    DifferencesWidget* differences_ = nullptr;
    LearnReviewWidget* learn_review_ = nullptr;
    LogBench* log_bench_ = nullptr;
    QPushButton* connect_ = nullptr;
    ParameterPages* params_ = nullptr;
    KeyFilter* key_filter_ = nullptr;
    QPointer<QLineEdit> cell_editor_;
    QTimer poll_timer_;
    QTimer second_timer_;
    bool close_pending_ = false;
    bool closing_ = false;
    bool refusing_queued_ = false;  // input queued during a download is being refused
    bool holding_input_ = false;    // a search for the device is under way
    // Set when the program is to end: the device's waits give up at once.
    bool quitting_ = false;
    bool unattended_ = false;
    // The device's line of the title; the file's name and mark follow it.
    std::string device_line_;
    void update_title();
    // Time since the current entry into the core began, and its last pump.
    QElapsedTimer entry_clock_;
    qint64 last_pump_ms_ = 0;
    int live_records_shown_ = 0;
    QTimer frame_stats_timer_;
    // Made at the first alarm, and only when the machine has an audio output.
    QSoundEffect* alarm_sound_ = nullptr;
    bool alarm_sound_tried_ = false;
    std::unique_ptr<FolderLock> folder_lock_;  // held to the end of the program
    // One file dialog for every file command: a dialog made afresh each time
    // leaves tens of kilobytes behind in Qt's file system model.
    QFileDialog* file_dialog_ = nullptr;
};

}  // namespace veloquin::gui
