#pragma once
// The log viewer (`LOGVIEWER`) without a window: the layout of its bands,
// the cursor and selection under the mouse, its right-click menus and what a
// paint puts on screen. The widget forwards its size, mouse and menu choices
// here and draws the PaintModel it gets back.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/paint_model.h"
#include "datalogs/log_bands.h"
#include "datalogs/log_curve.h"
#include "datalogs/log_sample.h"
#include "datalogs/log_smoothing.h"
#include "datalogs/log_summary.h"

namespace veloquin {

// The viewer's client rectangle and what part of the log it shows.
struct LogView {
    int width = 800;
    int height = 678;
    SampleRange range;  // the whole log by default
    // Off: every sample becomes a polyline point, as the curve was first drawn.
    bool decimate = true;
    // The log size `range` was chosen for: a log of another size (a load, a
    // crop, a recording) is shown whole again.
    int zoomed_log_count = 0;
};

inline constexpr int kLogPlotLeft = 50;
// A log this short is shown without bands.
inline constexpr int kLogMinSamplesForBands = 11;

struct LogViewerLayout {
    int plot_width = 0;     // Wp = W - 60
    int usable_height = 0;  // H = Hc - 10
    int band_count = 0;
    int pitch = 0;        // P = H / band_count
    int band_height = 0;  // h = P - 20
    SampleRange range;    // resolved against the log
    // The time axis: a grid line and its label at each tick's sample.
    struct Tick {
        int sample = 0;
        std::string label;
    };
    std::vector<Tick> ticks;
    bool draws_bands = false;
};

// Wp = W - 60: the pixels the time axis spans.
int log_plot_width(const LogView& view);

LogViewerLayout log_viewer_layout(const LogBuffer& log, const LogView& view);
// The rectangle of the j-th visible band from the top.
BandRect log_band_rect(const LogViewerLayout& layout, int j);
// The time axis of a range: seconds (m:ss past a minute) where the log has
// sample times, sample numbers otherwise, at a step of 1, 2 or 5 times a
// power of ten wide enough that no two labels touch.
std::vector<LogViewerLayout::Tick> time_ticks(const LogBuffer& log, SampleRange range,
                                              int plot_width);
// The smallest step of 1, 2 or 5 times a power of ten at or above `least`.
std::int64_t nice_step(double least);

// Recomputes cursor_index, anchor_index and the selection from cursor_px and
// anchor_px. Every entry point below does it first, as the viewer does before
// every message. The pixels count in the range the mouse set them in, so the
// cursor and anchor stay on their samples when the view zooms or pans; the
// selection's pixels (sel_left_px, sel_right_px) are those of `view`.
void derive_log_cursor(LogBuffer& log, const LogView& view);

// Mouse input in client x coordinates; true when the viewer must be repainted.
// A press sets cursor and anchor, a drag (move with the left button down)
// moves the cursor; both only inside the plot (0 < x - 50 < Wp). A drag in
// a view other than the press's keeps the anchor on its sample as near as
// the new view's pixels can.
bool log_viewer_press(LogBuffer& log, const LogView& view, int mouse_x);
bool log_viewer_drag(LogBuffer& log, const LogView& view, int mouse_x);
// Clears cursor and anchor; always repaint.
void log_viewer_double_click(LogBuffer& log, const LogView& view);

struct LogMenuEntry {
    bool separator = false;
    std::string_view text;
    int command_id = 0;
    bool checked = false;
};
struct LogMenu {
    std::string_view name;  // "LogLocalMenu" or "MAZLogLocalMenu"
    std::vector<LogMenuEntry> entries;
};
// The right-click menu, checked where a band is shown.
LogMenu log_viewer_menu(LogBuffer& log, const LogView& view);
// A menu command: flips the channel's band and returns true (repaint the
// page); false for an id that is not a channel's (default processing).
bool log_viewer_command(LogBuffer& log, const LogView& view, int command_id);

// What a paint derives from the log and keeps for the next one: the band
// scales, each band's curve points and when the derived values were last
// computed. The widget owns one for its log. Entries refresh themselves when
// the log's revision, the range, a band's rectangle or the decimation change,
// so a cursor move only draws.
struct LogViewerCache {
    struct Band {
        bool has_scale = false;
        std::uint64_t scale_revision = 0;
        BandScale scale;
        bool has_curves = false;
        std::uint64_t curve_revision = 0;
        SampleRange range;
        BandRect rect;
        bool decimate = true;
        std::vector<std::vector<Point>> curves;
        bool has_summary = false;
        std::uint64_t summary_revision = 0;
        MinMaxSummary<std::int32_t> int_summary;
        MinMaxSummary<float> real_summary;
    };
    std::array<Band, kLogBandCount> bands;
    bool has_inj_pulse = false;
    std::uint64_t inj_pulse_revision = 0;
    bool has_rpm_per_speed = false;
    std::uint64_t rpm_per_speed_revision = 0;
    bool has_smoothed = false;
    std::uint64_t smoothed_revision = 0;
    SmoothedColumns smoothed;           // what the smoothed bands draw
    std::vector<std::int32_t> heights;  // scratch of a curve build
    int curve_builds = 0;               // band curves computed so far
};

// What an empty viewer says instead of a blank page.
inline constexpr std::string_view kEmptyLogViewerText =
    "No log loaded: F7 records one, Ctrl+L loads one";

// The whole picture. Writes the derived values of the Inj.Pulse and R/S bands
// into the log when those bands are shown, as the viewer always has.
PaintModel paint_log_viewer(LogBuffer& log, const LogView& view, LogViewerCache& cache);

}  // namespace veloquin
