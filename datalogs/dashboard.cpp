#include "datalogs/dashboard.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

#include "calibration/conversions.h"
#include "datalogs/log_words.h"

namespace veloquin {

namespace {

using Q = GaugeQuantity;
using L = GaugeLabels;

constexpr std::array<Gauge, 9> kGauges = {{
    {30, 20, 220, 220, Q::rpm_thousands, 0.0F, 10.0F, 10, L::integer, "RPM"},
    {280, 20, 220, 220, Q::boost_bar, -0.8F, 2.0F, 14, L::one_decimal, "Boost"},
    {530, 20, 220, 220, Q::afr, 8.0F, 20.0F, 12, L::one_decimal, "AFR"},
    {30, 270, 160, 160, Q::maf_in_volts, 0.0F, 5.0F, 10, L::one_decimal, "MAFIn"},
    {225, 270, 160, 160, Q::maf_out_volts, 0.0F, 5.0F, 10, L::one_decimal, "MAFOut"},
    {420, 270, 160, 160, Q::intake_celsius, -40.0F, 120.0F, 10, L::integer, "IAT"},
    {615, 270, 160, 160, Q::throttle_percent, 0.0F, 100.0F, 10, L::integer, "Throttle"},
    {160, 460, 200, 200, Q::speed_kmh, 0.0F, 250.0F, 10, L::integer, "Speed"},
    {410, 460, 200, 200, Q::injector_duty, 0.0F, 100.0F, 10, L::one_decimal, "Duty %"},
}};

constexpr float kRpmToThousands = 0.001F;
constexpr float kDegreesToRadians = 0.017453292F;
constexpr double kStartDegrees = 30.0;
constexpr double kSweepDegrees = 300.0;
constexpr int kDialPoints = 51;
constexpr int kTickLength = 10;
constexpr int kLabelInset = 20;
constexpr int kLabelRaise = 6;
constexpr int kNeedleInset = 4;
// The free corner right of the two lower gauges.
constexpr Point kNoDataAt{705, 552};

}  // namespace

std::span<const Gauge> dashboard_gauges() {
    return kGauges;
}

float gauge_value(const Gauge& gauge, const LiveRecord& record, const Calibration& cal) {
    switch (gauge.quantity) {
        case Q::rpm_thousands:
            return static_cast<float>(record.rpm()) * kRpmToThousands;
        case Q::boost_bar:
            return static_cast<float>(counts_to_bar(cal, record.map_counts()));
        case Q::afr:
            return afr_counts_to_afr(cal, record.afr_counts());
        case Q::maf_in_volts:
            return counts_to_volts(record.maf_in_counts());
        case Q::maf_out_volts:
            return counts_to_volts(record.maf_out_counts());
        case Q::intake_celsius:
            return static_cast<float>(iat_counts_to_celsius(cal, record.iat_counts()));
        case Q::throttle_percent:
            return static_cast<float>(tps_counts_to_percent(cal, record.throttle_counts()));
        case Q::speed_kmh:
            return static_cast<float>(record.speed_kmh());
        case Q::injector_duty:
            return static_cast<float>(record.injector_duty());
    }
    return 0.0F;
}

float needle_angle(float value, float lo, float hi) {
    const float angle = (value - lo) / (hi - lo) * static_cast<float>(kSweepDegrees) +
                        static_cast<float>(kStartDegrees);
    // A scale without range would give no angle at all; the needle rests at the start.
    return std::isfinite(angle) ? angle : static_cast<float>(kStartDegrees);
}

Point dial_point(int cx, int cy, double degrees, int radius) {
    const double a = degrees * static_cast<double>(kDegreesToRadians);
    return {truncate_to_int(cx - radius * std::sin(a)), truncate_to_int(cy + radius * std::cos(a))};
}

std::string gauge_label(const Gauge& gauge, int t) {
    // Formed in double from the single-precision ends, which is why the
    // Boost gauge's label at 0 bar reads "-0.0".
    const double lo = gauge.lo;
    const double value = lo + (static_cast<double>(gauge.hi) - lo) * t / gauge.intervals;
    std::array<char, 64> text{};
    if (gauge.labels == L::integer) {
        std::snprintf(text.data(), text.size(), "%d", truncate_to_int(value));
    } else {
        std::snprintf(text.data(), text.size(), "%1.1f", value);
    }
    return text.data();
}

LogChannel gauge_channel(GaugeQuantity quantity) {
    switch (quantity) {
        case Q::rpm_thousands:
            return LogChannel::rpm;
        case Q::boost_bar:
            return LogChannel::boost;
        case Q::afr:
            return LogChannel::afr;
        case Q::maf_in_volts:
            return LogChannel::maf_in;
        case Q::maf_out_volts:
            return LogChannel::maf_out;
        case Q::intake_celsius:
            return LogChannel::temperature;
        case Q::throttle_percent:
            return LogChannel::throttle;
        case Q::speed_kmh:
            return LogChannel::speed;
        case Q::injector_duty:
            return LogChannel::inj_duty;
    }
    return LogChannel::rpm;
}

void draw_gauge(PaintModel& m, const Gauge& g, std::optional<float> value, GaugeAlarm alarm) {
    // Without live data the dial is greyed and has no needle: a needle
    // resting on a plausible reading would pass for one.
    const Pen dial_pen = value ? pens::black_thick : Pen{colors::light_grey, 2};
    const Rgb text_color = value ? colors::black : colors::text_grey;
    const int r = g.w / 2;
    // The whole square goes red, so it is seen from the corner of an eye.
    const Rgb face = alarm == GaugeAlarm::none         ? colors::white
                     : alarm == GaugeAlarm::bright_red ? kAlarmBrightRed
                                                       : kAlarmRed;
    m.fill(g.x, g.y, g.w, g.h, face);
    const int cx = g.x + r;
    const int cy = g.y + g.h / 2;

    std::vector<Point> dial;
    dial.reserve(kDialPoints);
    for (int i = 0; i < kDialPoints; ++i)
        dial.push_back(dial_point(cx, cy, kStartDegrees + i * 0.02 * kSweepDegrees, r));
    m.polyline(std::move(dial), dial_pen);

    m.draw_text(cx, cy + g.h / 6 - 10, std::string(g.caption), FontId::small, text_color,
                Align::center);

    for (int t = 0; t <= g.intervals; ++t) {
        const double a = static_cast<double>(t) / g.intervals * kSweepDegrees + kStartDegrees;
        const Point outer = dial_point(cx, cy, a, r);
        const Point inner = dial_point(cx, cy, a, r - kTickLength);
        m.draw_line(outer.x, outer.y, inner.x, inner.y, dial_pen);
        const Point label = dial_point(cx, cy, a, r - kLabelInset);
        m.draw_text(label.x, label.y - kLabelRaise, gauge_label(g, t), FontId::small, text_color,
                    Align::center);
    }

    if (!value) return;
    const Point tip = dial_point(cx, cy, needle_angle(*value, g.lo, g.hi), r - kNeedleInset);
    m.draw_line(cx, cy, tip.x, tip.y, pens::red_thick);
}

PaintModel paint_dashboard(const LiveRecord& record, const Calibration& cal, bool live, int width,
                           int height, const DashboardAlarms& alarms) {
    PaintModel m;
    m.width = width;
    m.height = height;
    m.background = colors::white;
    for (const Gauge& gauge : kGauges) {
        const bool alarmed =
            live && std::find(alarms.channels.begin(), alarms.channels.end(),
                              gauge_channel(gauge.quantity)) != alarms.channels.end();
        const GaugeAlarm alarm = !alarmed        ? GaugeAlarm::none
                                 : alarms.bright ? GaugeAlarm::bright_red
                                                 : GaugeAlarm::red;
        draw_gauge(m, gauge,
                   live ? std::optional<float>(gauge_value(gauge, record, cal)) : std::nullopt,
                   alarm);
    }
    if (!live) {
        m.draw_text(kNoDataAt.x, kNoDataAt.y, std::string(kNoLiveDataText), FontId::horizontal,
                    colors::black, Align::center);
    }
    return m;
}

}  // namespace veloquin
