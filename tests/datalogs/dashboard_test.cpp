#include "datalogs/dashboard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace veloquin {
namespace {

const Gauge& gauge(int number) {
    return dashboard_gauges()[static_cast<std::size_t>(number - 1)];
}

std::vector<std::string> labels_of(const Gauge& g) {
    std::vector<std::string> out;
    for (int t = 0; t <= g.intervals; ++t)
        out.push_back(gauge_label(g, t));
    return out;
}

TEST(DashboardGauge, ScaleLabels) {
    using V = std::vector<std::string>;
    // The single-precision end -0.8 leaves a hair below zero at 0 bar.
    EXPECT_EQ(labels_of(gauge(2)), (V{"-0.8", "-0.6", "-0.4", "-0.2", "-0.0", "0.2", "0.4", "0.6",
                                      "0.8", "1.0", "1.2", "1.4", "1.6", "1.8", "2.0"}));
    EXPECT_EQ(labels_of(gauge(6)),
              (V{"-40", "-24", "-8", "8", "24", "40", "56", "72", "88", "104", "120"}));
    EXPECT_EQ(labels_of(gauge(8)),
              (V{"0", "25", "50", "75", "100", "125", "150", "175", "200", "225", "250"}));
}

TEST(DashboardGauge, NeedleSpansTheDialAndIsNotHeldToIt) {
    Calibration cal;
    set_start_values(cal);
    LiveRecord record;
    EXPECT_FLOAT_EQ(needle_angle(gauge_value(gauge(1), record, cal), 0.0F, 10.0F), 30.0F);
    record.set_word(2, 10000);
    EXPECT_FLOAT_EQ(needle_angle(gauge_value(gauge(1), record, cal), 0.0F, 10.0F), 330.0F);

    // 30 degrees is the lower left of the dial.
    const Point start = dial_point(100, 100, 30.0, 100);
    EXPECT_EQ(start, (Point{50, 186}));

    record.set_word(6, 122);  // -1.0 bar with the start calibration
    const float boost = gauge_value(gauge(2), record, cal);
    EXPECT_FLOAT_EQ(boost, -1.0F);
    const float angle = needle_angle(boost, -0.8F, 2.0F);
    EXPECT_GT(angle, -30.0F);
    EXPECT_LT(angle, 30.0F);
    // Gauge 2 is centred on (390, 130) with a radius of 110.
    EXPECT_GT(dial_point(390, 130, angle, 106).y, dial_point(390, 130, 30.0, 110).y);

    EXPECT_FLOAT_EQ(needle_angle(5.0F, 3.0F, 3.0F), 30.0F);  // a scale without range
}

TEST(DashboardPaint, NineGaugesEachWithCaptionTicksAndNeedle) {
    Calibration cal;
    set_start_values(cal);
    const PaintModel m = paint_dashboard(LiveRecord{}, cal);
    EXPECT_EQ(m.background, colors::white);
    std::vector<std::string> captions;
    for (const Gauge& g : dashboard_gauges()) {
        const Point at{g.x + g.w / 2, g.y + g.h / 2 + g.h / 6 - 10};
        for (const TextOp* t : m.texts()) {
            if (t->at == at) captions.push_back(t->text);
        }
    }
    EXPECT_EQ(captions, (std::vector<std::string>{"RPM", "Boost", "AFR", "MAFIn", "MAFOut", "IAT",
                                                  "Throttle", "Speed", "Duty %"}));
    int needles = 0;
    int ticks = 0;
    for (const auto& op : m.ops) {
        if (const auto* l = std::get_if<LineOp>(&op)) {
            needles += l->pen == pens::red_thick ? 1 : 0;
            ticks += l->pen == pens::black_thick ? 1 : 0;
        }
    }
    EXPECT_EQ(needles, 9);
    EXPECT_EQ(ticks, 11 + 15 + 13 + 11 * 6);

    // Not connected: no needle rests on a made-up reading, and the page says why.
    const PaintModel idle = paint_dashboard(LiveRecord{}, cal, false);
    for (const auto& op : idle.ops) {
        if (const auto* l = std::get_if<LineOp>(&op)) {
            EXPECT_NE(l->pen, pens::red_thick);
        }
    }
    const auto texts = idle.texts();
    EXPECT_TRUE(std::any_of(texts.begin(), texts.end(),
                            [](const TextOp* t) { return t->text == "No live data"; }));
}

}  // namespace
}  // namespace veloquin
