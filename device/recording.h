#pragma once
// Recording the device's live stream into the LogBuffer: "Start Log record"
// and "Start Record Pass". A recording runs from the program's timer: each
// tick takes the records that have arrived, so the window goes on painting
// and answering while the device streams. Every kept sample also goes to a
// file of its own as it arrives; at the end the stream is closed, the log
// is written to "default.log" and the log viewer is shown.

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "base/live_record.h"
#include "calibration/calibration.h"
#include "datalogs/recording_file.h"

namespace veloquin {

class Platform;
struct DeviceLink;
struct LogBuffer;
struct LogSample;

// Cycles of two receive attempts in a row without a record end a recording;
// under the normal timeouts that is this much silence.
inline constexpr std::uint32_t kRecordingSilenceMs = 800;
// Pass mode keeps the first samples whatever the boost, then only those at or above this.
inline constexpr int kPassModeKeptAlways = 20;
inline constexpr float kPassModeMinBoostBar = -0.5F;
// A new recording is refused until this long after the last one ended.
inline constexpr std::uint32_t kRecordingGuardMs = 1000;
// How often a recording driven without a window looks at the line.
inline constexpr std::uint32_t kRecordingTickMs = 20;

// Everything a recording works on. The application keeps one for the whole run
// and points `logs_folder` at the folder the log dialogs last chose.
struct RecordingContext {
    Platform& platform;
    DeviceLink& link;
    const Calibration& calibration;
    LogBuffer& log;
    Edition edition = Edition::full;
    std::filesystem::path logs_folder = {};
    // The program always writes "default.log"; the command-line tool names its own file.
    std::string log_file_name = "default.log";
    // Millisecond clock when the last recording ended; 0 before the first.
    std::uint32_t last_end_ms = 0;
    // The recording ends once this many samples are held; 0: no limit.
    int sample_limit = 0;
    // Whether every sample also goes to its own file ("YYYY-MM-DD_HH-MM-SS.log")
    // in the logs folder as it arrives.
    bool stream_to_file = true;
    // Sees every record as it arrives, with the log index it takes when kept
    // (the alarms; they only look).
    std::function<void(const LogSample&, std::int64_t sample)> on_sample = {};
};

enum class RecordingEnd {
    enter_pressed,   // the user asked to stop (Enter, Escape, F7, the menu)
    stream_silent,   // no record for kRecordingSilenceMs
    log_full,        // the sample limit reached
    stream_refused,  // the stream command could not be written: nothing recorded
    closing,         // the program is being closed
};

struct RecordingResult {
    RecordingEnd end = RecordingEnd::stream_refused;
    int samples = 0;            // the LogBuffer count afterwards
    std::uint64_t records = 0;  // records received, pass-mode overwrites included
    std::uint64_t kept = 0;     // samples kept, the file's lines
    bool log_written = false;
    std::string write_error;     // why "default.log" or the recording's file could not be written
    std::filesystem::path file;  // the recording's own file; empty when none was made
};

// The caller's guard: a recording may start only when more than 1000 ms have
// passed since the last one ended (the millisecond clock wraps, so the
// difference is taken modulo 2^32).
bool recording_allowed(std::uint32_t now_ms, std::uint32_t last_end_ms);

class RecordingSession {
  public:
    explicit RecordingSession(RecordingContext& ctx) : ctx_(ctx) {}

    // Sends the stream command. False, with the log, "default.log" and the
    // line's state as they were, when it cannot be written.
    bool start(bool pass_mode);
    bool active() const { return active_; }
    // Takes every record that has arrived, without waiting for more. False
    // once the recording should end by itself (`why` says why).
    bool take_arrived(RecordingEnd& why);
    // Ends the stream with the device's stop command, writes "default.log", closes the file and
    // shows the log viewer.
    RecordingResult finish(RecordingEnd why);

    std::uint64_t records() const { return records_; }
    const std::filesystem::path& file() const { return file_.path(); }

  private:
    void take_record(const std::uint8_t* payload);
    void show_progress();
    bool limit_reached() const;

    RecordingContext& ctx_;
    bool active_ = false;
    bool pass_mode_ = false;
    std::array<std::uint8_t, LiveRecord::kSize + 1> frame_{};
    std::size_t frame_stored_ = 0;
    int frame_sync_ = 0;
    std::uint32_t last_record_ms_ = 0;
    std::uint64_t records_ = 0;
    std::uint64_t kept_ = 0;
    int shown_count_ = -1;
    bool file_failure_shown_ = false;
    RecordingFile file_;
};

// A whole recording without a window (the command-line tool): looks at the
// line every kRecordingTickMs until Enter, silence or the limit.
RecordingResult record(RecordingContext& ctx, bool pass_mode);

}  // namespace veloquin
