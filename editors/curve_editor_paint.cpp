#include "editors/curve_editor_paint.h"

#include <algorithm>
#include <cstdio>

#include "calibration/conversions.h"
#include "editors/cursor_keys.h"
#include "editors/editor_text.h"

namespace veloquin {
namespace {

// The device software's single-precision label and read-out factors.
constexpr float kKnockVoltsStep = 0.25F;
constexpr float kHalf = 0.5F;
constexpr float kAfrTenth = 0.1F;
constexpr float kVoltsPerLabel = 0.3125F;            // 17 labels across 0..5 V
constexpr float kVoltsPerPoint = 0.15625F;           // 33 points across 0..5 V
constexpr float kAirflowPercent = 0.0030517578125F;  // 100 / 32768
constexpr float kBarPerBoostPoint = 0.00066666666F;  // 1 / 1500 of MAP_BAR_HI

// The odd grid lines of the knock and AFR editors, and their labels.
constexpr Rgb kOddLabel{96, 96, 96};

// AFR-PROTECT holds tenths of AFR; the editor draws 10.0 to 15.0.
constexpr int kAfrLow = 100;
constexpr int kAfrHigh = 150;

// A flat IAT sensor curve has no span to scale by; it is drawn across the
// middle of a scale five degrees either side of its value.
constexpr int kFlatCurveHalfSpan = 5;

struct CurveLayout {
    EditorKind kind;
    int offset;
    int points;
    int plot_margin;  // the plot height A is the client height less this
    bool unsigned_values;
    int vertical_steps;    // vertical grid lines less one
    int horizontal_steps;  // n: horizontal grid lines less one
    bool alternating;
    std::string_view title;
};

constexpr CurveLayout kLayouts[] = {
    {EditorKind::iat_sensor, cv::IAT_SENSOR, cv::IAT_SENSOR_POINTS, 55, false, 16, 10, false,
     "Temp,C"},
    {EditorKind::iat_correction, cv::IAT_CORRECTION, cv::IAT_CORRECTION_POINTS, 31, false, 16, 10,
     false, "Fuel correction %"},
    {EditorKind::maf_sensor, cv::MAF_SENSOR, cv::MAF_SENSOR_POINTS, 55, true, 16, 10, false,
     "Airflow,%"},
    {EditorKind::maf_reverse, cv::MAF_REVERSE, cv::MAF_REVERSE_POINTS, 31, true, 16, 10, false,
     "MAF Voltage"},
    {EditorKind::knock, cv::KNOCK, cv::KNOCK_POINTS, 55, false, 20, 20, true, "Knock,V"},
    {EditorKind::afr_protect, cv::AFR_PROTECT, cv::AFR_PROTECT_POINTS, 55, false, 16, 10, true,
     "AFR"},
};

const CurveLayout& layout_of(EditorKind kind) {
    for (const CurveLayout& l : kLayouts) {
        if (l.kind == kind) return l;
    }
    return kLayouts[0];
}

struct Plot {
    int width;     // P
    int height;    // A
    int band_top;  // B, the top of the horizontal label band
    int lo = 0;    // the IAT sensor curve's scale
    int hi = 1;
};

int point_value(const Calibration& cal, const CurveLayout& l, int k) {
    const std::int16_t word = cal.curve_word(l.offset + k);
    return l.unsigned_values ? static_cast<std::uint16_t>(word) : word;
}

int point_y(EditorKind kind, const Plot& p, int v) {
    const int a = p.height;
    switch (kind) {
        case EditorKind::knock:
        case EditorKind::maf_reverse:
            return a - scaled(a, v, 4096);
        case EditorKind::afr_protect:
            return a - scaled(a, v - kAfrLow, kAfrHigh - kAfrLow);
        case EditorKind::iat_sensor:
            return a - scaled(v - p.lo, a, p.hi - p.lo);
        case EditorKind::iat_correction:
            return a - scaled(a, v + 50, 100);
        case EditorKind::maf_sensor:
            return a - scaled(a, v, 32768);
        default:
            return a;
    }
}

bool shows_cursor(EditorKind kind, TempCurve active) {
    switch (kind) {
        case EditorKind::iat_sensor:
            return active == TempCurve::sensor;
        case EditorKind::iat_correction:
            return active == TempCurve::correction;
        case EditorKind::maf_reverse:
            return false;
        default:
            return true;
    }
}

Rgb title_color(EditorKind kind, bool active) {
    switch (kind) {
        case EditorKind::afr_protect:
        case EditorKind::maf_reverse:
            return colors::text_grey;
        case EditorKind::iat_sensor:
        case EditorKind::iat_correction:
            return active ? colors::white : colors::text_grey;
        default:
            return colors::white;
    }
}

std::string vertical_label(EditorKind kind, const Calibration& cal, int j) {
    switch (kind) {
        case EditorKind::knock:
            return editor_text::integer(500 * j);
        case EditorKind::afr_protect:
            return editor_text::fixed(
                static_cast<float>(cal.param(hw::MAP_BAR_HI) * j) * kBarPerBoostPoint, 2);
        case EditorKind::iat_correction:
            return editor_text::integer(cal.curve_word(cv::IAT_SENSOR + 2 * j));
        case EditorKind::maf_reverse:
            return editor_text::integer(scaled(100, j, 16));
        default:
            return editor_text::fixed(kVoltsPerLabel * static_cast<float>(j), 2);
    }
}

std::string horizontal_label(EditorKind kind, const Plot& p, int i) {
    switch (kind) {
        case EditorKind::knock:
            return editor_text::fixed(kKnockVoltsStep * static_cast<float>(i), 1);
        case EditorKind::afr_protect:
            return editor_text::fixed(10.0F + kHalf * static_cast<float>(i), 1);
        case EditorKind::iat_sensor:
            return editor_text::integer(p.lo + scaled(i, p.hi - p.lo, 10));
        case EditorKind::iat_correction:
            return editor_text::integer(10 * i - 50);
        case EditorKind::maf_sensor:
            return editor_text::integer(10 * i);
        default:
            return editor_text::fixed(kHalf * static_cast<float>(i), 1);
    }
}

std::string readout(EditorKind kind, const Calibration& cal, int v, int cursor) {
    char text[64] = "";
    const double volts = kVoltsPerPoint * static_cast<float>(cursor);
    switch (kind) {
        case EditorKind::knock:
            std::snprintf(text, sizeof text, "Knock %1.2fV",
                          static_cast<double>(counts_to_volts(v)));
            break;
        case EditorKind::afr_protect:
            std::snprintf(text, sizeof text, "AFR %1.1f",
                          static_cast<double>(static_cast<float>(v) * kAfrTenth));
            break;
        case EditorKind::iat_sensor:
            std::snprintf(text, sizeof text, "Temperature %dC @%1.2fV", v, volts);
            break;
        case EditorKind::iat_correction:
            std::snprintf(text, sizeof text, "Correction %d%% @%dC", v,
                          static_cast<int>(cal.curve_word(cv::IAT_SENSOR + cursor)));
            break;
        case EditorKind::maf_sensor:
            std::snprintf(text, sizeof text, "Airflow %1.2f%% @%1.2fV",
                          static_cast<double>(static_cast<float>(v) * kAirflowPercent), volts);
            break;
        default:
            break;
    }
    return text;
}

void draw_grid(PaintModel& m, const CurveLayout& l, const Plot& p, const Calibration& cal) {
    auto pen_of = [&](int index) {
        return (l.alternating && index % 2 != 0) ? pens::light_grey : pens::grey;
    };
    auto text_of = [&](int index) {
        return (l.alternating && index % 2 != 0) ? kOddLabel : colors::black;
    };
    // Labels stand right-aligned just past their line. A minor (grey) label
    // that would touch a neighbour is left out: "9500" beside "10000".
    auto label_right = [&](int j) { return scaled(j, p.width, l.vertical_steps) + 50 + 8; };
    auto label_left = [&](int j) {
        return label_right(j) - text_width(vertical_label(l.kind, cal, j), FontId::small);
    };
    constexpr int kLabelGap = 3;
    for (int j = 0; j <= l.vertical_steps; ++j) {
        const int x = scaled(j, p.width, l.vertical_steps) + 50;
        m.draw_line(x, 0, x, p.height, pen_of(j));
        const bool minor = l.alternating && j % 2 != 0;
        const bool crowded =
            (j > 0 && label_left(j) < label_right(j - 1) + kLabelGap) ||
            (j < l.vertical_steps && label_left(j + 1) < label_right(j) + kLabelGap);
        if (minor && crowded) continue;
        m.draw_text(x + 8, p.band_top + 10, vertical_label(l.kind, cal, j), FontId::small,
                    text_of(j), Align::right);
    }
    const int n = l.horizontal_steps;
    for (int i = 0; i <= n; ++i) {
        const int y = scaled(n - i, p.height, n);
        m.draw_line(50, y, p.width + 50, y, pen_of(i));
        m.draw_text(44, scaled(n - i, p.height - 8, n) - 3, horizontal_label(l.kind, p, i),
                    FontId::small, text_of(i), Align::right);
    }
}

bool afr_outside_plot(int v) {
    return v < kAfrLow || v > kAfrHigh;
}

// An AFR protect point beyond the plot (a file that held no curve leaves
// zeros) is drawn at the plot's edge and left as it is: it is the tuner's to
// change, and the readout still gives its value.
int drawn_value(EditorKind kind, int v) {
    return kind == EditorKind::afr_protect ? std::clamp(v, kAfrLow, kAfrHigh) : v;
}

Point point_at(const CurveLayout& l, const Plot& p, const Calibration& cal, int k) {
    return {scaled(k, p.width, l.points - 1) + 50,
            point_y(l.kind, p, drawn_value(l.kind, point_value(cal, l, k)))};
}

bool afr_points_outside(const Calibration& cal) {
    for (int k = 0; k < cv::AFR_PROTECT_POINTS; ++k) {
        if (afr_outside_plot(cal.curve_word(cv::AFR_PROTECT + k))) return true;
    }
    return false;
}

// A ring around every point that differs from the compared calibration, wide
// enough to leave the cursor's box inside it visible. The reverse table is
// derived from the MAF curve, so only its source is marked.
void draw_differences(PaintModel& m, const CurveLayout& l, const Plot& p, const EditorView& view) {
    if (view.compared == nullptr || l.kind == EditorKind::maf_reverse) return;
    constexpr int kRing = 4;
    for (int k = 0; k < l.points; ++k) {
        if (view.cal.curve_word(l.offset + k) == view.compared->curve_word(l.offset + k)) continue;
        const Point pt = point_at(l, p, view.cal, k);
        draw_difference_frame(m, pt.x - kRing, pt.y - kRing, pt.x + kRing, pt.y + kRing);
    }
}

struct CursorPoint {
    bool found = false;
    Point at;
    int value = 0;
};

CursorPoint draw_curve(PaintModel& m, const CurveLayout& l, const Plot& p, const EditorView& view,
                       bool show_range) {
    const EditorCursor& c = view.state.cursor;
    CursorPoint cursor;
    Point prev;
    for (int k = 0; k < l.points; ++k) {
        const int v = point_value(view.cal, l, k);
        const Point pt = point_at(l, p, view.cal, k);
        if (k > 0) {
            const bool white = show_range && c.first_point < k && k <= c.last_point;
            m.draw_line(prev.x, prev.y, pt.x, pt.y, white ? pens::white : pens::black);
        }
        // The curve cursor is shared by curves of different lengths; past this
        // curve's end there is no point to mark.
        if (k == c.curve_cursor) cursor = {true, pt, v};
        prev = pt;
    }
    return cursor;
}

Plot plot_of(const CurveLayout& l, const EditorView& view) {
    const int a = view.height - l.plot_margin;
    Plot p{view.width - 71, a, a - 4};
    if (l.kind == EditorKind::iat_sensor) {
        p.lo = view.state.cursor.iat_sensor_min;
        p.hi = view.state.cursor.iat_sensor_max;
        if (p.hi == p.lo) {
            p.lo -= kFlatCurveHalfSpan;
            p.hi += kFlatCurveHalfSpan;
        }
    }
    return p;
}

}  // namespace

void paint_curve_editor(EditorKind kind, const EditorView& view, PaintModel& m) {
    update_selection(view.state.cursor, view.cal);
    const CurveLayout& l = layout_of(kind);
    const Plot p = plot_of(l, view);
    m.fill(40, 0, 14, p.height + 30, colors::window_grey);
    m.fill(20, p.band_top, view.width - 31, 16, colors::window_grey);
    draw_grid(m, l, p, view.cal);

    const bool active = shows_cursor(kind, view.state.active_temp_curve);
    const CursorPoint cursor = draw_curve(m, l, p, view, active);
    if (active && cursor.found) {
        m.fill(cursor.at.x - 2, cursor.at.y - 2, 5, 5, colors::yellow);
    }
    draw_differences(m, l, p, view);
    if (kind == EditorKind::iat_sensor || kind == EditorKind::iat_correction) {
        // Under the voltage the device's intake-air sensor reads now.
        const int x = scaled(view.live.iat_counts(), p.width, 4096) + 50;
        m.draw_text(x, p.band_top, "^", FontId::small, colors::red, Align::center);
        m.draw_text(x + 1, p.band_top, "^", FontId::small, colors::red, Align::center);
    }

    const Rgb color = title_color(kind, active);
    m.draw_text(0, p.height / 2, std::string(l.title), FontId::vertical, color, Align::center);
    if (kind == EditorKind::afr_protect) {
        m.draw_text(p.width / 2 + 50, view.height - 25, "Boost", FontId::horizontal, color,
                    Align::center);
        if (afr_points_outside(view.cal)) {
            m.draw_text(56, 4, std::string(kAfrOutsideText), FontId::small, colors::red,
                        Align::left);
        }
    }
    if (active && cursor.found) {
        m.draw_text(p.width + 30, 4,
                    readout(kind, view.cal, cursor.value, view.state.cursor.curve_cursor),
                    FontId::small, color, Align::right);
    }
}

}  // namespace veloquin
