#pragma once
// The one in-memory data log: rows of live data as the recorder, the log-file
// reader and the Mazda import fill them, with the log viewer's cursor,
// selection and channel flags beside them.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace veloquin {

// One row of live data. The field order is fixed: the file columns and the
// viewer's bands are defined against it.
struct LogSample {
    std::int32_t rpm = 0;
    std::int32_t speed = 0;        // km/h
    float boost = 0.0F;            // bar relative to atmosphere
    float maf_in = 0.0F;           // volts
    float maf_out = 0.0F;          // volts
    float throttle = 0.0F;         // percent
    std::int32_t temperature = 0;  // intake air, degrees C (ignition timing in a Mazda log)
    float afr = 0.0F;
    float inj_duty = 0.0F;       // percent
    float wg_duty = 0.0F;        // percent
    float inj_pulse = 0.0F;      // ms, computed by the viewer
    float rpm_per_speed = 0.0F;  // computed by the viewer
    float fuel_corr = 0.0F;      // signed device value held as float
    float knock = 0.0F;          // volts
    std::int32_t flags = 0;
    std::int32_t ecu_load = 0;
    float ecu_ignition = 0.0F;  // degrees
    float aux = 0.0F;           // scratch of the speed smoothing and the R/S band
    std::uint32_t time_ms = 0;  // arrival time; meaningful when LogBuffer::has_times
};
static_assert(sizeof(LogSample) == 19 * 4, "nineteen 32-bit fields");

// The viewer's channels in the order their bands stack from the top; the
// LS switches channel has no band and comes last.
enum class LogChannel {
    rpm,
    boost,
    throttle,
    maf_in,
    maf_out,
    temperature,
    afr,
    speed,
    inj_duty,
    wg_duty,
    inj_pulse,
    rpm_per_speed,
    knock,
    fuel_corr,
    ecu_load,
    ecu_ignition,
    ls_switches,
};
inline constexpr int kLogChannelCount = 17;

using ChannelFlags = std::array<bool, kLogChannelCount>;

// RPM, Boost, AFR, Inj.Duty and Knock are shown at start.
inline constexpr ChannelFlags kDefaultChannelFlags = {true, true,  false, false, false, false,
                                                      true, false, true,  false, false, false,
                                                      true, false, false, false, false};

// A mark the tuner or an alarm put on one sample of a recording.
struct LogMarker {
    std::int64_t sample = 0;
    std::string text;
};

struct LogBuffer {
    // Grows with the log, so memory follows the samples held: slots 0 to
    // count - 1 are the log; slots past it are left over from a longer log
    // and mean nothing. A writer makes room with next_slot() or make_room().
    std::vector<LogSample> samples;
    std::int32_t count = 0;

    // Viewer cursor and anchor in pixels from the left edge of the plot area
    // (0 means unset), and the values the viewer derives from them at every
    // message it handles.
    std::int32_t cursor_px = 0;
    std::int32_t anchor_px = 0;
    std::int32_t cursor_index = 0;
    std::int32_t anchor_index = 0;
    std::int32_t sel_left_px = 0;
    std::int32_t sel_right_px = 0;
    std::int32_t sel_first = 0;
    std::int32_t sel_last = 0;
    // The samples the viewer showed when the mouse set cursor_px and
    // anchor_px (first and count; a count of 0 is the whole log): the pixels
    // count in that range whatever the viewer shows now.
    std::int32_t marked_view_first = 0;
    std::int32_t marked_view_count = 0;

    // The viewer's channel visibility flags, indexed by LogChannel; they
    // persist across loads and recordings.
    ChannelFlags flags = kDefaultChannelFlags;

    // True after a Mazda import: the viewer then shows its own menu and labels.
    bool mazda_log = false;

    // True when every valid sample's time_ms is its real time in the log (a
    // recording, or a file read with its times); false for a version-5 file
    // alone, whose samples are only numbered.
    bool has_times = false;

    // Markers in sample order.
    std::vector<LogMarker> markers;

    // Moves on whenever samples or the count change, so that whatever a viewer
    // derived from the log (scales, curves) knows when it is stale. Every
    // writer of the log calls mark_changed once it is done.
    std::uint64_t revision = 0;
    void mark_changed() { ++revision; }

    bool visible(LogChannel channel) const { return flags[static_cast<std::size_t>(channel)]; }
    void set_visible(LogChannel channel, bool on) { flags[static_cast<std::size_t>(channel)] = on; }

    // Slot `count`, emptied, for the writer about to fill it.
    LogSample& next_slot() {
        const auto at = static_cast<std::size_t>(count);
        if (at < samples.size()) {
            samples[at] = LogSample{};
        } else {
            samples.emplace_back();
        }
        return samples[at];
    }
    // Makes slots 0 to n - 1 exist (new ones empty); the count is the caller's.
    void make_room(std::int32_t n) {
        if (static_cast<std::size_t>(n) > samples.size())
            samples.resize(static_cast<std::size_t>(n));
    }

    std::span<LogSample> valid() { return {samples.data(), static_cast<std::size_t>(count)}; }
    std::span<const LogSample> valid() const {
        return {samples.data(), static_cast<std::size_t>(count)};
    }
};

// Clears the cursor, the anchor and everything derived from them.
void clear_log_cursor(LogBuffer& log);

// Called by the recorder before the first sample: empties the log (its
// markers too), leaves the Mazda mode and switches off the ECU bands the
// device cannot fill. A recording knows when each sample arrived.
void begin_log_recording(LogBuffer& log);

// "Crop Log File": keeps samples sel_first to sel_last. Does nothing (and
// returns false) unless they mark at least two samples of the log.
bool log_crop(LogBuffer& log);

}  // namespace veloquin
