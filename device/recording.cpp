#include "device/recording.h"

#include <algorithm>

#include "app/platform.h"
#include "datalogs/live_sample.h"
#include "datalogs/log_file.h"
#include "datalogs/log_sample.h"
#include "device/device_link.h"

namespace veloquin {

namespace {

// The device needs a moment after the last poll exchange before it takes the
// stream command.
constexpr std::uint32_t kSettleMs = 5;
// The stream ends when the device answers the identification command; only
// the first two bytes of its reply are waited for.
constexpr std::size_t kStreamEndReplySize = 2;

void purge_input(DeviceLink& link) {
    if (link.is_open()) link.line->purge_input();
}

// Records already on their way when the device took the stop command, and the
// rest of its identification reply, would otherwise greet the next poll
// exchange instead of its own reply. A purge alone is not enough: part of it
// may still be on the line. The device has stopped streaming by now, so the
// line falls quiet within a read timeout; the bound only guards against a
// device that never stops.
void drain_until_quiet(DeviceLink& link) {
    constexpr int kMaxDrainedBytes = 64 * 1024;
    if (!link.is_open()) return;
    for (int drained = 0; drained < kMaxDrainedBytes && link.line->read_byte() >= 0; ++drained) {
    }
}

// Takes the record that just arrived in the frame buffer into the live record
// and the sample at position count; returns whether the sample is kept.
bool take_record(RecordingContext& ctx, bool pass_mode) {
    DeviceLink& link = ctx.link;
    std::copy_n(link.frame.begin(), LiveRecord::kSize, link.live.bytes.begin());
    LogSample& sample = ctx.log.samples[static_cast<std::size_t>(ctx.log.count)];
    fill_sample_from_live(sample, link.live, ctx.calibration, ctx.platform.now_ms());
    ctx.log.mark_changed();
    // Pass mode drops idle stretches after a short lead-in: a sample below the
    // boost threshold stays in its slot only until the next one overwrites it.
    return !(pass_mode && sample.boost < kPassModeMinBoostBar &&
             ctx.log.count > kPassModeKeptAlways);
}

// Receives records until Enter, silence or a full log; returns why it stopped.
RecordingEnd stream_loop(RecordingContext& ctx, bool pass_mode, RecordingResult& result) {
    Platform& platform = ctx.platform;
    int misses = 0;
    bool enter = false;
    do {
        ++misses;
        for (int attempt = 0; attempt < kRecordingAttemptsPerCycle; ++attempt) {
            if (!receive_streamed_reply(ctx.link, LiveRecord::kSize)) continue;
            if (take_record(ctx, pass_mode)) ++ctx.log.count;
            misses = 0;
            if (result.records++ % kRecordingStatusEvery == 0) {
                platform.set_upper_status("Logged: " + std::to_string(ctx.log.count));
                platform.sleep_ms(0);
                enter = platform.enter_pressed();
            }
        }
    } while (misses <= kRecordingMissLimit && ctx.log.count <= kRecordingSampleLimit && !enter);

    if (enter) return RecordingEnd::enter_pressed;
    if (ctx.log.count > kRecordingSampleLimit) return RecordingEnd::log_full;
    return RecordingEnd::stream_silent;
}

}  // namespace

bool recording_allowed(std::uint32_t now_ms, std::uint32_t last_end_ms) {
    return static_cast<std::uint32_t>(now_ms - last_end_ms) > kRecordingGuardMs;
}

RecordingResult record(RecordingContext& ctx, bool pass_mode) {
    Platform& platform = ctx.platform;
    DeviceLink& link = ctx.link;
    RecordingResult result;

    begin_log_recording(ctx.log);
    platform.stop_timers();
    platform.sleep_ms(kSettleMs);
    purge_input(link);

    if (send_command(link, cmd::start_stream, 0)) {
        platform.set_lower_status("Logging. Press Enter.");
        // Enter pressed to start the recording must not end it at once.
        platform.enter_pressed();
        purge_input(link);
        result.end = stream_loop(ctx, pass_mode, result);
    }

    purge_input(link);
    send_command(link, cmd::identify, 0);
    receive_reply(link, kStreamEndReplySize);
    drain_until_quiet(link);
    platform.start_timers();

    const LogWriteResult written = log_write_file(ctx.log, ctx.logs_folder / ctx.log_file_name);
    result.log_written = written.ok;
    result.write_error = written.message;
    result.samples = ctx.log.count;

    // The log stays in memory either way; a failed write must not pass unseen.
    platform.set_lower_status(written.ok ? ""
                                         : ctx.log_file_name + " not written: " + written.message);
    platform.show_page(Page::log_viewer);
    platform.repaint_page();
    ctx.last_end_ms = platform.now_ms();
    return result;
}

}  // namespace veloquin
