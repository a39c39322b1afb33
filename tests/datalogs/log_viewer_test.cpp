#include "datalogs/log_viewer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "datalogs/log_file.h"
#include "datalogs/log_sample.h"
#include "datalogs/mazda_import.h"

namespace veloquin {
namespace {

const LogView kView;  // 800 x 678, the whole log

LogBuffer log_of(int count, const std::function<void(LogSample&, int)>& fill) {
    LogBuffer log;
    log.count = count;
    log.make_room(count);
    for (int i = 0; i < count; ++i)
        fill(log.samples[static_cast<std::size_t>(i)], i);
    log.mark_changed();
    return log;
}

void show_only(LogBuffer& log, std::initializer_list<LogChannel> channels) {
    log.flags.fill(false);
    for (LogChannel c : channels)
        log.set_visible(c, true);
}

template <typename Op>
std::vector<const Op*> ops_of(const PaintModel& m) {
    std::vector<const Op*> out;
    for (const auto& op : m.ops) {
        if (const auto* p = std::get_if<Op>(&op)) out.push_back(p);
    }
    return out;
}

std::vector<std::string> texts_at_y(const PaintModel& m, int y) {
    std::vector<std::string> out;
    for (const TextOp* t : m.texts()) {
        if (t->at.y == y) out.push_back(t->text);
    }
    return out;
}

// Right-aligned texts left of the plot: a band's grid labels, bottom first.
std::vector<std::string> grid_labels(const PaintModel& m) {
    std::vector<std::string> out;
    for (const TextOp* t : m.texts()) {
        if (t->align == Align::right) out.push_back(t->text);
    }
    return out;
}

TEST(LogViewerLayout, SixteenBandsIn800By678) {
    LogBuffer log = log_of(100, [](LogSample&, int) {});
    log.flags.fill(true);
    log.set_visible(LogChannel::ls_switches, false);
    const LogViewerLayout l = log_viewer_layout(log, kView);
    EXPECT_EQ(l.plot_width, 740);
    EXPECT_EQ(l.usable_height, 668);
    EXPECT_EQ(l.pitch, 41);
    EXPECT_EQ(l.band_height, 21);
    EXPECT_EQ(log_band_rect(l, 15), (BandRect{50, 10 + 15 * 41, 740, 21}));
}

TEST(LogViewerLayout, ShortBandsDrawOnlyTheGridLabelsThatFit) {
    LogBuffer log = log_of(100, [](LogSample& s, int i) { s.rpm = 1000 + 50 * i; });
    LogViewerCache cache;
    show_only(log, {LogChannel::rpm});
    EXPECT_EQ(grid_labels(paint_log_viewer(log, kView, cache)).size(), 6u);
    // Sixteen bands of 21 pixels: six labels would overlap; the ends stay.
    log.flags.fill(true);
    log.set_visible(LogChannel::ls_switches, false);
    const PaintModel m = paint_log_viewer(log, kView, cache);
    std::vector<const TextOp*> rpm_labels;
    for (const TextOp* t : m.texts()) {
        if (t->align == Align::right && t->at.y < 10 + 21) rpm_labels.push_back(t);
    }
    ASSERT_EQ(rpm_labels.size(), 2u);
    EXPECT_GE(std::abs(rpm_labels[0]->at.y - rpm_labels[1]->at.y), 11);
}

// A 60-second recording read 0-255 "seconds", and at 29,000 samples the
// labels ran together.
TEST(LogViewerLayout, TimeLabelsAreSecondsOrSampleNumbersThatNeverTouch) {
    struct Case {
        int count;
        int ms_per_sample;  // 0: no times
        std::vector<std::string> first_labels;
        std::string last_label;
    };
    const std::vector<Case> cases = {
        {1500, 0, {"0", "100", "200"}, "1500"},
        {29000, 0, {"0", "2000", "4000"}, "28000"},
        {25521, 0, {"0", "2000", "4000"}, "24000"},
        {25521, 2, {"0", "2", "4"}, "50"},
        {60000, 3, {"0", "20", "40", "1:00", "1:20"}, "2:40"},
        {400, 1, {"0.00", "0.05", "0.10"}, "0.35"},
    };
    for (const Case& c : cases) {
        LogBuffer log = log_of(c.count, [&](LogSample& s, int i) {
            s.time_ms = 90000U + static_cast<std::uint32_t>(i * c.ms_per_sample);
        });
        log.has_times = c.ms_per_sample > 0;
        LogViewerCache cache;
        const PaintModel m = paint_log_viewer(log, kView, cache);
        std::vector<const TextOp*> labels;
        for (const TextOp* t : m.texts()) {
            if (t->at.y == 658) labels.push_back(t);
        }
        ASSERT_GE(labels.size(), c.first_labels.size()) << c.count;
        for (std::size_t k = 0; k < c.first_labels.size(); ++k)
            EXPECT_EQ(labels[k]->text, c.first_labels[k]) << c.count;
        EXPECT_EQ(labels.back()->text, c.last_label) << c.count;
        for (std::size_t k = 1; k < labels.size(); ++k) {
            const auto room = 7 * (labels[k]->text.size() + labels[k - 1]->text.size()) / 2;
            EXPECT_GT(static_cast<std::size_t>(labels[k]->at.x - labels[k - 1]->at.x), room)
                << c.count << " " << labels[k]->text;
        }
    }
    LogBuffer log = log_of(1500, [](LogSample&, int) {});
    LogViewerCache cache;
    const PaintModel m = paint_log_viewer(log, kView, cache);
    EXPECT_EQ(m.texts().back()->at.x, 50 + 740);  // label 1500 at the right end of the axis
}

TEST(LogViewerLayout, DegenerateWindowsAndShortLogsDrawNoBands) {
    LogBuffer empty;
    LogViewerCache cache;
    const PaintModel nothing = paint_log_viewer(empty, kView, cache);
    ASSERT_EQ(nothing.texts().size(), 1u);
    EXPECT_EQ(nothing.texts()[0]->text, "No log loaded: F7 records one, Ctrl+L loads one");
    EXPECT_EQ(nothing.ops.size(), 1u) << "says what to do, draws nothing else";
    EXPECT_EQ(nothing.background, colors::white);

    LogBuffer short_log = log_of(10, [](LogSample& s, int) { s.rpm = 3000; });
    const PaintModel labels_only = paint_log_viewer(short_log, kView, cache);
    EXPECT_TRUE(ops_of<PolylineOp>(labels_only).empty());
    EXPECT_EQ(texts_at_y(labels_only, 658).front(), "0");

    // Narrower than 61 pixels: no plot, so nothing to divide by and nothing to click.
    LogBuffer log = log_of(500, [](LogSample& s, int) { s.rpm = 3000; });
    log.cursor_px = 100;
    for (int width : {60, 30, 0}) {
        const LogView narrow{width, 678, {}, true};
        EXPECT_FALSE(log_viewer_press(log, narrow, 55));
        EXPECT_EQ(log.cursor_index, 0);
        EXPECT_TRUE(ops_of<PolylineOp>(paint_log_viewer(log, narrow, cache)).empty());
    }
    const LogView flat{800, 40, {}, true};  // bands of no height
    EXPECT_TRUE(ops_of<PolylineOp>(paint_log_viewer(log, flat, cache)).empty());
}

TEST(LogBandScale, RpmTopIsTheNextHundredAboveTheLargest) {
    LogBuffer log = log_of(100, [](LogSample& s, int i) { s.rpm = i == 40 ? 6950 : 1000; });
    const BandScale scale = band_scale(log_band(LogChannel::rpm), log);
    EXPECT_EQ(scale.hi, 7000.0);
    EXPECT_EQ(
        band_labels(log_band(LogChannel::rpm), scale),
        (std::array<std::string, 6>{"0.0", "1400.0", "2800.0", "4200.0", "5600.0", "7000.0"}));
}

TEST(LogBandScale, BoostSpansWholeFifthsAroundTheLog) {
    LogBuffer log = log_of(100, [](LogSample& s, int i) { s.boost = i == 3 ? -0.73F : 1.21F; });
    const BandScale scale = band_scale(log_band(LogChannel::boost), log);
    EXPECT_FLOAT_EQ(static_cast<float>(scale.lo), -0.8F);
    EXPECT_FLOAT_EQ(static_cast<float>(scale.hi), 1.4F);
    EXPECT_EQ(band_labels(log_band(LogChannel::boost), scale),
              (std::array<std::string, 6>{"-0.80", "-0.36", "0.08", "0.52", "0.96", "1.40"}));
}

TEST(LogBandScale, ZeroRangeBandsLieOnTheBottomEdge) {
    // Fuel correction all 0, speeds too low for a ratio, and a largest rpm of
    // -150 whose scale top comes out as 0: each would divide by zero.
    LogBuffer log = log_of(200, [](LogSample& s, int) {
        s.rpm = -150;
        s.speed = 5;
    });
    show_only(log, {LogChannel::rpm, LogChannel::rpm_per_speed, LogChannel::fuel_corr});
    LogViewerCache cache;
    const PaintModel m = paint_log_viewer(log, kView, cache);
    const auto curves = ops_of<PolylineOp>(m);
    ASSERT_EQ(curves.size(), 6U);  // three curves and three frames
    const LogViewerLayout l = log_viewer_layout(log, kView);
    for (int j = 0; j < 3; ++j) {
        const BandRect r = log_band_rect(l, j);
        for (const Point& p : curves[static_cast<std::size_t>(2 * j)]->points)
            EXPECT_EQ(p.y, r.y + r.h);
    }
    const auto labels = grid_labels(m);
    EXPECT_TRUE(std::all_of(labels.end() - 6, labels.end(),
                            [](const std::string& t) { return t == "0.00"; }));
}

TEST(LogBandDerived, PulseAndSmoothedRatioAreWrittenIntoTheLog) {
    LogBuffer log = log_of(8, [](LogSample& s, int i) {
        s.rpm = i == 0 ? 100 : 3000;
        s.inj_duty = 50.0F;
        s.speed = 10 + 10 * i;
    });
    compute_inj_pulse(log);
    compute_rpm_per_speed(log);
    EXPECT_EQ(log.samples[0].inj_pulse, 0.0F);  // at or below 100 rpm
    EXPECT_FLOAT_EQ(log.samples[1].inj_pulse, 20.0F);
    // Speed 10 gives no ratio; the ends keep the unsmoothed ratio.
    EXPECT_EQ(log.samples[0].rpm_per_speed, 0.0F);
    EXPECT_FLOAT_EQ(log.samples[1].rpm_per_speed, 150.0F);
    EXPECT_FLOAT_EQ(log.samples[7].rpm_per_speed, 3000.0F / 80.0F);
    EXPECT_FLOAT_EQ(log.samples[3].rpm_per_speed, 0.2F * (2 * 150.0F + 100.0F + 75.0F + 60.0F));
}

TEST(LogViewerTexts, ReadOutAtTheCursorTitlesOtherwise) {
    LogBuffer log = log_of(740, [](LogSample& s, int i) {
        s.rpm = 1000 + i;
        s.inj_duty = 40.0F;  // a Mazda load as the import stores it, and twice it
        s.fuel_corr = 80.0F;
        s.temperature = 12;
        s.maf_in = 6.5F;
    });
    show_only(
        log, {LogChannel::rpm, LogChannel::maf_in, LogChannel::temperature, LogChannel::fuel_corr});
    LogViewerCache cache;
    auto black_texts = [&] {
        std::vector<std::string> out;
        const PaintModel m = paint_log_viewer(log, kView, cache);
        for (const TextOp* t : m.texts()) {
            if (t->color == colors::black) out.push_back(t->text);
        }
        return out;
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(black_texts(), (V{"RPM", "MAFIn,V", "Temperature,C", "FUEL Corr"}));
    log.mazda_log = true;
    EXPECT_EQ(black_texts(), (V{"RPM", "AirFlow", "Ignition,C", "Load"}));
    ASSERT_TRUE(log_viewer_press(log, kView, 50 + 200));
    // The load the file holds; it read "Load: 0.80" for a load of 40.
    EXPECT_EQ(black_texts(), (V{"RPM: 1200", "AirFlow: 6.50", "Ignition: 12", "Load: 40.0"}));
    log.mazda_log = false;
    EXPECT_EQ(black_texts(), (V{"RPM: 1200", "MAFIn: 6.50", "Temperature: 12", "FUEL Corr: 80.0"}));
}

TEST(LogViewerMenu, TwentyEntriesOrSixInAMazdaLogCheckedByBand) {
    LogBuffer log;
    LogMenu menu = log_viewer_menu(log, kView);
    EXPECT_EQ(menu.name, "LogLocalMenu");
    std::vector<std::string> texts;
    for (const LogMenuEntry& e : menu.entries)
        texts.emplace_back(e.separator ? "-" : e.text);
    EXPECT_EQ(texts, (std::vector<std::string>{
                         "RPM",         "BOOST", "FUEL correction", "MAF In",
                         "MAFOut",      "-",     "Throttle",        "Temperature",
                         "AFR",         "Speed", "Inj.Duty",        "Inj.Pulse",
                         "WG.Duty",     "-",     "RPM/Speed",       "Knock",
                         "LS Switches", "-",     "ECU: LOAD",       "ECU: IGNITION"}));
    EXPECT_TRUE(menu.entries[0].checked);   // RPM at start
    EXPECT_FALSE(menu.entries[2].checked);  // FUEL correction
    EXPECT_EQ(menu.entries[2].command_id, 32837);

    // A menu command flips its band and its check mark; other ids are not the viewer's.
    EXPECT_TRUE(log_viewer_command(log, kView, 32837));
    EXPECT_TRUE(log.visible(LogChannel::fuel_corr));
    EXPECT_TRUE(log_viewer_menu(log, kView).entries[2].checked);
    EXPECT_TRUE(log_viewer_command(log, kView, 32818));
    EXPECT_FALSE(log_viewer_menu(log, kView).entries[0].checked);
    EXPECT_FALSE(log_viewer_command(log, kView, 32832));

    log.mazda_log = true;
    menu = log_viewer_menu(log, kView);
    EXPECT_EQ(menu.name, "MAZLogLocalMenu");
    texts.clear();
    for (const LogMenuEntry& e : menu.entries)
        texts.emplace_back(e.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"RPM", "BOOST", "Throttle", "Air Flow", "Ignition",
                                               "Load"}));
    EXPECT_EQ(menu.entries[5].command_id, 32837);
}

TEST(LogViewerMouse, ClicksOutsideThePlotDoNothing) {
    LogBuffer log = log_of(1480, [](LogSample&, int) {});
    EXPECT_FALSE(log_viewer_press(log, kView, 50));
    EXPECT_FALSE(log_viewer_press(log, kView, 50 + 740));
    EXPECT_FALSE(log_viewer_drag(log, kView, 49));
    EXPECT_EQ(log.cursor_px + log.anchor_px, 0);
}

TEST(LogViewerMouse, DragThenCropKeepsTheMarkedRange) {
    LogBuffer log = log_of(1480, [](LogSample& s, int i) { s.rpm = i; });
    ASSERT_TRUE(log_viewer_press(log, kView, 50 + 300));
    ASSERT_TRUE(log_viewer_drag(log, kView, 50 + 100));
    EXPECT_EQ(log.anchor_px, 300);
    EXPECT_EQ(log.cursor_px, 100);
    EXPECT_EQ(log.sel_first, 200);  // two samples per pixel
    EXPECT_EQ(log.sel_last, 600);

    LogViewerCache cache;
    const PaintModel m = paint_log_viewer(log, kView, cache);
    const auto inverted = ops_of<InvertOp>(m);
    ASSERT_FALSE(inverted.empty());
    EXPECT_EQ(inverted[0]->x, 50 + 100);
    EXPECT_EQ(inverted[0]->w, 201);

    ASSERT_TRUE(log_crop(log));
    EXPECT_EQ(log.count, 401);
    EXPECT_EQ(log.samples[0].rpm, 200);
    EXPECT_EQ(log.samples[400].rpm, 600);

    log_viewer_press(log, kView, 50 + 10);
    log_viewer_double_click(log, kView);
    EXPECT_EQ(log.cursor_px + log.anchor_px + log.sel_last, 0);
}

// Every pixel a polyline touches, one-pixel lines with both ends drawn.
std::vector<bool> rasterise(const std::vector<Point>& points, int width, int height) {
    std::vector<bool> bitmap(static_cast<std::size_t>(width * height), false);
    auto plot = [&](int x, int y) { bitmap[static_cast<std::size_t>(y * width + x)] = true; };
    for (std::size_t i = 1; i < points.size(); ++i) {
        int x = points[i - 1].x;
        int y = points[i - 1].y;
        const int dx = std::abs(points[i].x - x);
        const int dy = -std::abs(points[i].y - y);
        const int sx = x < points[i].x ? 1 : -1;
        const int sy = y < points[i].y ? 1 : -1;
        int err = dx + dy;
        for (;;) {
            plot(x, y);
            if (x == points[i].x && y == points[i].y) break;
            const int e2 = 2 * err;
            if (e2 >= dy) err += dy, x += sx;
            if (e2 <= dx) err += dx, y += sy;
        }
    }
    return bitmap;
}

TEST(LogBandCurve, DecimatedCurvesCoverTheSamePixels) {
    std::mt19937 random(7);
    auto noise = [&random](int spread) {
        return static_cast<int>(random() % (2 * spread + 1)) - spread;
    };
    for (int count : {60000, 1000}) {
        int level = 3000;
        LogBuffer log = log_of(count, [&](LogSample& s, int i) {  // wandering signals with spikes
            level = std::clamp(level + noise(40), 0, 8000);
            s.rpm = random() % 50 == 0 ? level + noise(3000) : level;
            s.speed = level / 40 + noise(3);
            s.boost =
                static_cast<float>(level) * 0.0003F - 0.8F + static_cast<float>(noise(5)) * 0.01F;
            s.throttle = s.maf_in = s.maf_out = s.afr = s.knock = s.ecu_ignition =
                static_cast<float>(level % 100 + noise(2));
            s.temperature = s.ecu_load = level % 120 + noise(10);
            s.inj_duty = s.wg_duty = static_cast<float>(i % 100);
            s.fuel_corr = static_cast<float>(noise(100));
            s.flags = static_cast<int>(random() % 16);
        });
        log.flags.fill(true);
        LogViewerCache cache;
        const PaintModel decimated_model = paint_log_viewer(log, kView, cache);
        const PaintModel full_model = paint_log_viewer(log, {800, 678, {}, false}, cache);
        const auto decimated = ops_of<PolylineOp>(decimated_model);
        const auto full = ops_of<PolylineOp>(full_model);
        ASSERT_EQ(decimated.size(), full.size());
        std::size_t kept = 0;
        for (std::size_t i = 0; i < full.size(); ++i) {
            EXPECT_EQ(rasterise(full[i]->points, 800, 678),
                      rasterise(decimated[i]->points, 800, 678))
                << count << " samples, polyline " << i;
            kept += decimated[i]->points.size();
        }
        // Twenty curves (four of them LS rows) of at most four points a column, and the frames.
        EXPECT_LE(kept, 20U * (4U * 740U + 1U) + 17U * 5U);
    }
}

TEST(LogViewerCache, CursorMovesReuseCurvesLogChangesRebuildThem) {
    LogBuffer log = log_of(60000, [](LogSample& s, int i) { s.rpm = i % 7000; });
    show_only(log, {LogChannel::rpm, LogChannel::inj_pulse, LogChannel::rpm_per_speed});
    LogViewerCache cache;
    paint_log_viewer(log, kView, cache);
    const int builds = cache.curve_builds;
    EXPECT_EQ(builds, 3);
    log_viewer_press(log, kView, 400);
    log_viewer_drag(log, kView, 500);
    paint_log_viewer(log, kView, cache);
    EXPECT_EQ(cache.curve_builds, builds);

    log.samples[5].rpm = 9000;
    log.mark_changed();
    const PaintModel changed = paint_log_viewer(log, kView, cache);
    EXPECT_EQ(cache.curve_builds, builds + 3);
    EXPECT_EQ(grid_labels(changed)[5], "9100.0");

    log_viewer_command(log, kView, 32839);  // Knock on: every band moves
    paint_log_viewer(log, kView, cache);
    EXPECT_EQ(cache.curve_builds, builds + 7);
}

TEST(LogViewerCache, EveryWriterOfTheLogMovesTheRevisionOn) {
    LogBuffer log;
    const std::vector<std::function<void()>> writers = {
        [&] { read_log_text(log, ""); },
        [&] { read_mazda_text(log, "40 101.3 3000 12.5 65 25.0"); },
        [&] { begin_log_recording(log); },
        [&] {
            log.count = 20;
            log.make_room(20);
            log.sel_last = 5;
            log_crop(log);
        },
    };
    for (std::size_t i = 0; i < writers.size(); ++i) {
        const std::uint64_t before = log.revision;
        writers[i]();
        EXPECT_GT(log.revision, before) << "writer " << i;
    }
}

TEST(LogViewerSwitches, OneRowPerSwitchedOutput) {
    LogBuffer log = log_of(100, [](LogSample& s, int) { s.flags = 0b0101; });
    show_only(log, {LogChannel::ls_switches});
    EXPECT_TRUE(log_viewer_menu(log, kView).entries[16].checked);
    log_viewer_press(log, kView, 60);
    LogViewerCache cache;
    const PaintModel m = paint_log_viewer(log, kView, cache);
    EXPECT_EQ(ops_of<PolylineOp>(m).size(), 5U);  // four rows and the frame
    EXPECT_EQ(grid_labels(m), (std::vector<std::string>{"A", "B", "C", "D"}));
    EXPECT_EQ(m.texts()[5]->text, "LS: A-C-");
}

}  // namespace
}  // namespace veloquin
