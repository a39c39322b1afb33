// The Application's side of the alarms and the log markers: the rules read
// at start and edited in "Alarms...", each live sample watched, the markers
// a recording or the tuner drops, and their companion file beside a log.

#include "app/application.h"
#include "app/application_scopes.h"
#include "datalogs/log_markers.h"

namespace veloquin {

namespace {

// Half a second red, half a second redder: the gauge stays red throughout,
// so it reads as alarmed in any frame, and the change catches the eye.
constexpr std::uint32_t kFlashHalfPeriodMs = 500;
constexpr std::string_view kHandMarkerText = "Marked";

}  // namespace

void Application::read_alarm_rules() {
    AlarmSettingsRead read = read_alarm_settings(state_.working_directory);
    state_.alarm_settings = std::move(read.settings);
    state_.alarm_settings_message = std::move(read.message);
    state_.alarms.set_rules(state_.alarm_settings.rules);
}

void Application::watch_live_sample(const LogSample& sample, std::int64_t marker_sample) {
    const std::vector<AlarmFiring> fired =
        state_.alarms.feed(sample, sample.time_ms, map_top_bar(state_.cal));
    if (fired.empty()) return;
    for (const AlarmFiring& f : fired) {
        if (marker_sample >= 0) add_log_marker(state_.log, marker_sample, f.text);
    }
    hold_notice(fired.back().text);
    if (state_.alarm_settings.sound) platform_.play_alarm_sound();
}

bool Application::alarm_shown(LogChannel channel) const {
    return state_.link.connected && state_.alarms.channel_alarmed(channel);
}

std::vector<LogChannel> Application::alarmed_channels() const {
    std::vector<LogChannel> channels;
    for (int c = 0; c < kLogChannelCount; ++c) {
        if (alarm_shown(static_cast<LogChannel>(c))) channels.push_back(static_cast<LogChannel>(c));
    }
    return channels;
}

bool Application::alarm_flash_bright() const {
    return (platform_.now_ms() / kFlashHalfPeriodMs) % 2 == 0;
}

void Application::edit_alarms() {
    std::optional<AlarmSettings> edited;
    {
        const UserWaitScope waiting(*this);
        edited = platform_.edit_alarms(state_.alarm_settings);
    }
    if (!edited) return;
    state_.alarm_settings = std::move(*edited);
    state_.alarms.set_rules(state_.alarm_settings.rules);
    std::string error;
    if (!write_alarm_settings(state_.working_directory, state_.alarm_settings, &error)) {
        hold_notice("The alarms apply now but were not saved: " + error);
    }
}

void Application::drop_marker() {
    LogBuffer& log = state_.log;
    if (recording()) {
        add_log_marker(log, std::max(0, log.count - 1), std::string(kHandMarkerText));
        hold_notice("Marker dropped on sample " + std::to_string(std::max(0, log.count - 1)));
        return;
    }
    if (state_.main_page != Page::log_viewer || log.count == 0 || log.cursor_px == 0) {
        hold_notice("Drop Marker: record a log (F7), or put the log viewer's cursor on a sample");
        return;
    }
    add_log_marker(log, log.cursor_index, std::string(kHandMarkerText));
    hold_notice("Marker dropped on sample " + std::to_string(log.cursor_index) +
                ": Save Log As keeps it");
    platform_.repaint_page();
}

void Application::jump_to_marker(bool forward) {
    LogBuffer& log = state_.log;
    const std::int64_t from = log.cursor_px == 0 ? (forward ? -1 : log.count) : log.cursor_index;
    const auto next = next_log_marker(log, from, forward);
    if (!next) {
        hold_notice(log.markers.empty()
                        ? "The log has no markers"
                        : (forward ? "No marker after the cursor" : "No marker before the cursor"));
        return;
    }
    put_log_cursor_on(log, state_.log_view, log.markers[*next].sample);
    hold_notice("Marker " + std::to_string(*next + 1) + " of " +
                std::to_string(log.markers.size()) + ": " +
                log_marker_label(log, log.markers[*next]));
    platform_.repaint_page();
}

void Application::write_markers_beside(const std::filesystem::path& log_path) {
    std::string error;
    if (!write_log_markers(log_path, state_.log, &error)) {
        hold_notice("The markers were not saved: " + error);
    }
}

}  // namespace veloquin
