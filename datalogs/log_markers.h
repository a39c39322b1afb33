#pragma once
// Markers of a log (an alarm fired here, the tuner pressed M here) and their
// companion file `<name>.log.markers` beside the log, so the .log itself keeps
// the format every reader knows. The companion is text: a first line naming
// the format, then one "sample<TAB>time_ms<TAB>text" line per marker.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/paint_model.h"
#include "datalogs/log_sample.h"
#include "datalogs/log_viewer.h"

namespace veloquin {

inline constexpr std::string_view kLogMarkersFormat = "veloquin log markers 1";

std::filesystem::path log_markers_path(const std::filesystem::path& log_path);

// Kept in sample order; a marker on a sample that has one already goes after it.
void add_log_marker(LogBuffer& log, std::int64_t sample, std::string text);

// The marker's time in ms from the first sample; nullopt for a log without
// real sample times.
std::optional<std::uint32_t> log_marker_time_ms(const LogBuffer& log, const LogMarker& marker);

std::string format_log_markers(const LogBuffer& log);
// Fills log.markers from the companion's text; markers past the log's end
// are dropped and said in `error`, a bad line gives false and no markers.
bool parse_log_markers(std::string_view text, LogBuffer& log, std::string& error);

// Writes the companion of the log at `log_path`, or removes a stale one when
// the log has no markers: a file beside a log always belongs to it.
bool write_log_markers(const std::filesystem::path& log_path, const LogBuffer& log,
                       std::string* error);
// Reads the companion into log.markers (none when there is no companion);
// the text says what went wrong, empty when nothing did.
std::string read_log_markers(const std::filesystem::path& log_path, LogBuffer& log);

// The marker after (or before) `sample`; nullopt when there is none that way.
std::optional<std::size_t> next_log_marker(const LogBuffer& log, std::int64_t sample, bool forward);

// Puts the viewer's cursor (and anchor) on `sample`, sliding a zoomed view
// so it shows it.
void put_log_cursor_on(LogBuffer& log, LogView& view, std::int64_t sample);

// "12.340 s  Overboost: 1.72 bar" (the sample number without real times).
std::string log_marker_label(const LogBuffer& log, const LogMarker& marker);

// Labelled vertical lines over the samples the view shows.
void draw_log_markers(PaintModel& m, const LogBuffer& log, const LogView& view);

}  // namespace veloquin
