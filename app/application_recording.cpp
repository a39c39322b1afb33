// The Application's side of a recording: starting and stopping it, what it
// refuses meanwhile, and cropping the log it leaves.

#include "app/application.h"
#include "app/commands.h"
#include "datalogs/log_zoom.h"

namespace veloquin {

bool Application::recording_allowed_now() {
    return !recorded_once_ || recording_allowed(platform_.now_ms(), recording_.last_end_ms);
}

void Application::crop_log() {
    auto before = std::make_shared<LogSnapshot>(take_log_snapshot(state_.log, state_.log_view));
    const std::int64_t first = std::max(0, std::min(state_.log.sel_first, state_.log.sel_last));
    if (!log_crop(state_.log)) {
        hold_notice("Crop Log File: mark at least two samples first (drag across the log)");
        return;
    }
    // The markers stay on their samples: those cut away go with them.
    std::vector<LogMarker>& markers = state_.log.markers;
    std::erase_if(markers, [&](const LogMarker& m) {
        return m.sample < first || m.sample >= first + state_.log.count;
    });
    for (LogMarker& m : markers)
        m.sample -= first;
    steps_.keep_log(std::move(before));
    platform_.repaint_page();
}

void Application::record_log(bool pass_mode) {
    recording_.logs_folder = state_.folders.logs;
    if (!recording_session_.start(pass_mode)) {
        hold_notice("The device did not take the stream command: no log recorded");
        return;
    }
    steps_.forget_log_steps();
    state_.log.markers.clear();
    reset_log_view_zoom(state_.log_view);
    platform_.repaint_page();
}

void Application::stop_recording(RecordingEnd why) {
    if (!recording()) return;
    last_recording_ = recording_session_.finish(why);
    recorded_once_ = true;
    // A pass-mode recording may end on a dropped sample an alarm had marked.
    for (LogMarker& m : state_.log.markers) {
        m.sample = std::min<std::int64_t>(m.sample, std::max(0, state_.log.count - 1));
    }
    if (!last_recording_.file.empty()) write_markers_beside(last_recording_.file);
    if (last_recording_.log_written) {
        write_markers_beside(recording_.logs_folder / recording_.log_file_name);
    }
    reset_log_view_zoom(state_.log_view);
    // The samples are all in memory; a file that could not be written is
    // offered a place elsewhere before they can be lost.
    if (!last_recording_.write_error.empty() && state_.log.count > 0 &&
        platform_.message_box(
            last_recording_.write_error + "\n\nThe recording is kept in memory. Save it elsewhere?",
            "Recording not saved", MessageButtons::yes_no) == MessageAnswer::yes) {
        if (const auto path = ask_file(cmd::save_log_as)) save_log(*path);
    }
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

}  // namespace veloquin
