#include "datalogs/log_sample.h"

#include <algorithm>

namespace veloquin {

void clear_log_cursor(LogBuffer& log) {
    log.cursor_px = 0;
    log.anchor_px = 0;
    log.cursor_index = 0;
    log.anchor_index = 0;
    log.sel_left_px = 0;
    log.sel_right_px = 0;
    log.sel_first = 0;
    log.sel_last = 0;
    log.marked_view_first = 0;
    log.marked_view_count = 0;
}

void begin_log_recording(LogBuffer& log) {
    log.set_visible(LogChannel::ecu_load, false);
    log.set_visible(LogChannel::ecu_ignition, false);
    log.count = 0;
    log.mazda_log = false;
    log.has_times = true;
    log.markers.clear();
    log.samples.clear();
    log.mark_changed();
}

bool log_crop(LogBuffer& log) {
    if (log.count == 0) return false;
    // The selection comes from the last paint; a load since then may have
    // shortened the log, so the range is held inside the valid samples.
    const int first = std::clamp(log.sel_first, 0, log.count - 1);
    const int last = std::clamp(log.sel_last, first, log.count - 1);
    // A click marks one sample, no range: cropping to it threw the log away.
    if (last - first < 1) return false;
    if (first > 0) {
        std::copy(log.samples.begin() + first, log.samples.begin() + last + 1, log.samples.begin());
    }
    log.count = last - first + 1;
    log.mark_changed();
    clear_log_cursor(log);
    return true;
}

}  // namespace veloquin
