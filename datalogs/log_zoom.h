#pragma once
// Zoom and pan of the log viewer's time axis. The view keeps a range of
// samples; the wheel narrows or widens it around the pointer, a drag with the
// middle button or Shift+wheel slides it, Home brings back the whole log.

#include "datalogs/log_viewer.h"

namespace veloquin {

// The narrowest view: fewer samples would leave the time grid without lines.
inline constexpr int kLogMinZoomSamples = 50;
inline constexpr double kLogZoomPerNotch = 1.25;

// The samples `view` shows of a log of `log_count`, resolved: its zoomed
// range while the log keeps the size it was zoomed at, else the whole log.
SampleRange shown_range(const LogView& view, int log_count);
bool log_view_zoomed(const LogView& view, int log_count);

// Wheel notches (positive zooms in, fractions from fine-grained wheels) around
// client x `pointer_x`: the sample under the pointer stays under it, unless
// the range meets an end of the log. True when the range changed.
bool zoom_log_view(LogView& view, int log_count, int pointer_x, double notches);

// Slides the range `from` (what was shown when the drag began) by `dx`
// pixels of the plot; positive dx brings earlier samples into view, as the
// curves follow the mouse. True when the range changed.
bool pan_log_view(LogView& view, int log_count, SampleRange from, int dx);

// The whole log again; true when it was zoomed.
bool reset_log_view_zoom(LogView& view);

}  // namespace veloquin
