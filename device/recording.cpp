#include "device/recording.h"

#include <algorithm>
#include <ctime>

#include "base/platform.h"
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

}  // namespace

bool recording_allowed(std::uint32_t now_ms, std::uint32_t last_end_ms) {
    return static_cast<std::uint32_t>(now_ms - last_end_ms) > kRecordingGuardMs;
}

bool RecordingSession::start(bool pass_mode) {
    Platform& platform = ctx_.platform;
    DeviceLink& link = ctx_.link;
    platform.sleep_ms(kSettleMs);
    purge_input(link);
    if (!send_command(link, cmd::start_stream, 0)) return false;

    active_ = true;
    pass_mode_ = pass_mode;
    frame_stored_ = 0;
    frame_sync_ = 0;
    records_ = 0;
    kept_ = 0;
    shown_count_ = -1;
    file_failure_shown_ = false;
    begin_log_recording(ctx_.log);
    const std::uint32_t now = platform.now_ms();
    last_record_ms_ = now;
    if (ctx_.stream_to_file) {
        const std::tm t = tm_of(platform.local_time());
        if (!file_.open(ctx_.logs_folder, recording_file_name(t), now)) {
            // The log in memory and default.log still get the recording.
            platform.set_lower_status("Logging. Press Enter. (" + file_.error() + ")");
            return true;
        }
    }
    platform.set_lower_status("Logging. Press Enter.");
    return true;
}

void RecordingSession::take_record(const std::uint8_t* payload) {
    LogBuffer& log = ctx_.log;
    std::copy_n(payload, LiveRecord::kSize, ctx_.link.live.bytes.begin());
    LogSample& sample = log.next_slot();
    fill_sample_from_live(sample, ctx_.link.live, ctx_.calibration, ctx_.platform.now_ms());
    ++records_;
    if (ctx_.on_sample) ctx_.on_sample(sample, log.count);
    // Pass mode drops idle stretches after a short lead-in: a sample below the
    // boost threshold stays in its slot only until the next one overwrites it.
    if (pass_mode_ && sample.boost < kPassModeMinBoostBar && log.count > kPassModeKeptAlways) {
        return;
    }
    file_.append(sample);
    ++log.count;
    ++kept_;
}

bool RecordingSession::take_arrived(RecordingEnd& why) {
    if (!active_) return false;
    DeviceLink& link = ctx_.link;
    const std::uint32_t now = ctx_.platform.now_ms();
    bool arrived = false;
    for (std::size_t n = link.is_open() ? link.line->available() : 0; n > 0; --n) {
        const int byte = link.line->read_byte();
        if (byte < 0) break;
        const auto b = static_cast<std::uint8_t>(byte);
        if (frame_sync_ == 2) {
            frame_[frame_stored_++] = b;
            if (frame_stored_ < frame_.size()) continue;
            take_record(frame_.data());
            arrived = true;
            frame_stored_ = 0;
            frame_sync_ = 0;
            if (limit_reached()) break;
        } else if (frame_sync_ == 1) {
            frame_sync_ = b == kReplyStart1 ? 2 : (b == kReplyStart0 ? 1 : 0);
        } else if (b == kReplyStart0) {
            frame_sync_ = 1;
        }
    }
    if (arrived) {
        last_record_ms_ = now;
        ctx_.log.mark_changed();
        ctx_.platform.refresh_live_panel();
        show_progress();
    }
    if (!file_.flush_if_due(now) && !file_failure_shown_) {
        // A full disk must not pass unseen until the end: the tuner learns it
        // at once, and the samples stay in memory for a save elsewhere.
        file_failure_shown_ = true;
        ctx_.platform.set_lower_status("Logging. Press Enter. (" + file_.error() +
                                       "; the recording goes on in memory)");
    }
    if (limit_reached()) {
        why = RecordingEnd::log_full;
        return false;
    }
    if (now - last_record_ms_ > kRecordingSilenceMs) {
        why = RecordingEnd::stream_silent;
        return false;
    }
    return true;
}

bool RecordingSession::limit_reached() const {
    return ctx_.sample_limit > 0 && ctx_.log.count >= ctx_.sample_limit;
}

void RecordingSession::show_progress() {
    const std::uint64_t kept = kept_;
    if (static_cast<int>(kept % 1000000000ULL) == shown_count_) return;
    shown_count_ = static_cast<int>(kept % 1000000000ULL);
    ctx_.platform.set_upper_status("Logged: " + std::to_string(kept));
}

RecordingResult RecordingSession::finish(RecordingEnd why) {
    Platform& platform = ctx_.platform;
    DeviceLink& link = ctx_.link;
    RecordingResult result;
    result.end = why;
    if (!active_) return result;
    active_ = false;

    purge_input(link);
    send_command(link, cmd::identify, 0);
    receive_reply(link, kStreamEndReplySize);
    drain_until_quiet(link);

    ctx_.log.mark_changed();
    const bool file_ok = file_.close();
    result.file = file_.path();
    const LogWriteResult written = log_write_file(ctx_.log, ctx_.logs_folder / ctx_.log_file_name);
    result.log_written = written.ok;
    result.records = records_;
    result.kept = kept_;
    result.samples = ctx_.log.count;
    if (!written.ok) {
        result.write_error = ctx_.log_file_name + " not written: " + written.message;
    } else if (!file_ok) {
        result.write_error = file_.error();
    }

    // The log stays in memory either way; a failed write must not pass unseen.
    platform.set_lower_status(result.write_error);
    platform.show_page(Page::log_viewer);
    platform.repaint_page();
    ctx_.last_end_ms = platform.now_ms();
    return result;
}

RecordingResult record(RecordingContext& ctx, bool pass_mode) {
    RecordingSession session(ctx);
    if (!session.start(pass_mode)) return {};
    Platform& platform = ctx.platform;
    // Enter pressed to start the recording must not end it at once.
    platform.enter_pressed();
    RecordingEnd why = RecordingEnd::enter_pressed;
    for (;;) {
        platform.sleep_ms(kRecordingTickMs);
        if (!session.take_arrived(why)) break;
        if (platform.enter_pressed()) {
            why = RecordingEnd::enter_pressed;
            break;
        }
    }
    return session.finish(why);
}

}  // namespace veloquin
