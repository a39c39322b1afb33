#pragma once
// Recording the device's live stream into the LogBuffer: "Start Log record"
// and "Start Record Pass". The loop owns the line until Enter is pressed, the
// device falls silent or the log is full, then ends the stream, writes
// "default.log" into the logs folder and shows the log viewer.

#include <cstdint>
#include <filesystem>
#include <string>

#include "calibration/calibration.h"

namespace veloquin {

class Platform;
struct DeviceLink;
struct LogBuffer;

// Recording stops once more than this many samples are held; it is tested
// after each cycle of two attempts, so the log may end up two samples longer.
inline constexpr int kRecordingSampleLimit = 5990;
// Cycles of two receive attempts in a row without a record that end a recording.
inline constexpr int kRecordingMissLimit = 20;
inline constexpr int kRecordingAttemptsPerCycle = 2;
// The status line and the Enter key are looked at once every this many records.
inline constexpr int kRecordingStatusEvery = 16;
// Pass mode keeps the first samples whatever the boost, then only those at or above this.
inline constexpr int kPassModeKeptAlways = 20;
inline constexpr float kPassModeMinBoostBar = -0.5F;
// A new recording is refused until this long after the last one ended.
inline constexpr std::uint32_t kRecordingGuardMs = 1000;

// Everything a recording works on. The application keeps one for the whole run
// and points `logs_folder` at the folder the log dialogs last chose.
struct RecordingContext {
    Platform& platform;
    DeviceLink& link;
    const Calibration& calibration;
    LogBuffer& log;
    Edition edition = Edition::full;
    std::filesystem::path logs_folder;
    // The program always writes "default.log"; the command-line tool names its own file.
    std::string log_file_name = "default.log";
    // Millisecond clock when the last recording ended; 0 before the first.
    std::uint32_t last_end_ms = 0;
};

enum class RecordingEnd {
    enter_pressed,   // the user (or the caller's probe) asked to stop
    stream_silent,   // 21 cycles in a row without a record
    log_full,        // more than 5990 samples held
    stream_refused,  // the stream command could not be written
};

struct RecordingResult {
    RecordingEnd end = RecordingEnd::stream_refused;
    int samples = 0;  // the LogBuffer count afterwards
    int records = 0;  // records received, pass-mode overwrites included
    bool log_written = false;
    std::string write_error;  // why "default.log" could not be written
};

// The caller's guard: a recording may start only when more than 1000 ms have
// passed since the last one ended (the millisecond clock wraps, so the
// difference is taken modulo 2^32).
bool recording_allowed(std::uint32_t now_ms, std::uint32_t last_end_ms);

// Records the live stream into ctx.log. The caller checks recording_allowed first.
RecordingResult record(RecordingContext& ctx, bool pass_mode);

}  // namespace veloquin
