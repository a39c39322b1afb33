#pragma once
// The dashboard (`DASHVIEWER`) without a window: nine dial gauges of the
// latest live record. Angles are in degrees from straight down, growing
// clockwise on screen; the dial runs from 30 to 330 degrees and leaves a gap
// of 60 degrees at the bottom.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/live_record.h"
#include "base/paint_model.h"
#include "calibration/calibration.h"
#include "datalogs/log_sample.h"

namespace veloquin {

enum class GaugeQuantity {
    rpm_thousands,
    boost_bar,
    afr,
    maf_in_volts,
    maf_out_volts,
    intake_celsius,
    throttle_percent,
    speed_kmh,
    injector_duty,
};

enum class GaugeLabels { integer, one_decimal };

struct Gauge {
    int x, y, w, h;  // the square, in window pixels
    GaugeQuantity quantity;
    float lo, hi;   // scale ends
    int intervals;  // N: N + 1 ticks
    GaugeLabels labels;
    std::string_view caption;
};

// The nine gauges in drawing order.
std::span<const Gauge> dashboard_gauges();

// The value a gauge shows, converted from the live record at paint time.
float gauge_value(const Gauge& gauge, const LiveRecord& record, const Calibration& cal);

// Where the needle points: 30 at lo, 330 at hi, beyond either end for a
// value outside the scale (the needle is not held to it).
float needle_angle(float value, float lo, float hi);
// The point at an angle and radius from the centre, truncated toward zero.
Point dial_point(int cx, int cy, double degrees, int radius);
// The label of tick t (0 to N).
std::string gauge_label(const Gauge& gauge, int t);

// The log channel a gauge shows, which alarm rules name.
LogChannel gauge_channel(GaugeQuantity quantity);

// A gauge under an alarm is red, in two shades that take turns (`bright`).
enum class GaugeAlarm { none, red, bright_red };
inline constexpr Rgb kAlarmRed{255, 150, 150};
inline constexpr Rgb kAlarmBrightRed{255, 60, 60};

// A gauge with its needle at `value`; greyed and without a needle when
// there is no value.
void draw_gauge(PaintModel& m, const Gauge& gauge, std::optional<float> value,
                GaugeAlarm alarm = GaugeAlarm::none);

// Which channels are alarmed now, and which shade of red is on.
struct DashboardAlarms {
    std::vector<LogChannel> channels;
    bool bright = false;
};

inline constexpr std::string_view kNoLiveDataText = "No live data";

// The whole dashboard. The window's white background stands in for the
// erase of the whole area: the picture is drawn whole every time (the widget
// is double-buffered), so the old rule that erased only now and then has
// nothing left to decide. `live` is false while no device is connected: the
// record then holds nothing worth showing.
PaintModel paint_dashboard(const LiveRecord& record, const Calibration& cal, bool live = true,
                           int width = 800, int height = 678, const DashboardAlarms& alarms = {});

}  // namespace veloquin
