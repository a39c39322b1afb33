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
    if (!log_crop(state_.log)) {
        hold_notice("Crop Log File: mark at least two samples first (drag across the log)");
        return;
    }
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
    reset_log_view_zoom(state_.log_view);
    platform_.repaint_page();
}

void Application::stop_recording(RecordingEnd why) {
    if (!recording()) return;
    last_recording_ = recording_session_.finish(why);
    recorded_once_ = true;
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
