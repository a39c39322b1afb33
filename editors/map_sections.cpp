#include "editors/map_sections.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "calibration/conversions.h"
#include "editors/editor_text.h"
#include "editors/learn_paint.h"

namespace veloquin {
namespace {

// The section graphs' vertical scale: five volts fill their 106 pixels.
constexpr float kSectionPixelsPerVolt = 21.2F;
constexpr int kSectionHeight = 106;
constexpr int kSectionLevels = 6;

int section_y(int bottom, int counts) {
    return bottom - static_cast<int>(counts_to_volts(counts) * kSectionPixelsPerVolt);
}

// A section curve: segments inside the selection white, the cursor's point
// marked with a yellow box drawn last so no segment covers it.
template <typename PointAt>
void draw_section_curve(PaintModel& m, int points, PointAt point_at, int first, int last,
                        int cursor) {
    Point prev = point_at(0);
    Point mark = prev;
    for (int i = 1; i < points; ++i) {
        const Point p = point_at(i);
        m.draw_line(prev.x, prev.y, p.x, p.y, (first < i && i <= last) ? pens::white : pens::black);
        if (i == cursor) mark = p;
        prev = p;
    }
    m.fill(mark.x - 1, mark.y - 1, 3, 3, colors::yellow);
}

struct Sections {
    int width;   // G, each graph
    int top;     // T
    int bottom;  // B
};

// The six level lines, 0 V at the bottom to 5 V at the top.
int level_y(const Sections& s, int volts) {
    return s.top + (5 * kSectionHeight - kSectionHeight * volts) / 5;
}

// The curve the learning proposes, under the current one so that where the
// two agree the current curve is seen with the proposal's edge.
template <typename PointAt>
void draw_proposed_curve(PaintModel& m, int points, PointAt point_at) {
    std::vector<Point> line;
    line.reserve(static_cast<std::size_t>(points));
    for (int i = 0; i < points; ++i)
        line.push_back(point_at(i));
    m.polyline(std::move(line), pens::learn_proposed);
}

// The cursor row across engine speed.
void draw_row_section(PaintModel& m, const Sections& s, const Calibration& cal,
                      const EditorCursor& c, int row, const LearnView* learn) {
    for (int k = 0; k <= 10; ++k) {
        const int x = scaled(k, s.width, 10) + kGridLeft;
        m.draw_line(x, s.top, x, s.bottom, pens::grey);
        m.draw_text(x, s.bottom + 4, editor_text::integer(k), FontId::small, colors::text_grey,
                    Align::center);
    }
    for (int i = 0; i < kSectionLevels; ++i) {
        const int y = level_y(s, i);
        m.draw_line(kGridLeft, y, s.width + kGridLeft, y, pens::grey);
        m.draw_text(54, y - 5, editor_text::integer(i), FontId::small, colors::text_grey,
                    Align::right);
    }
    auto point_at = [&](int col) {
        return Point{scaled(col + 1, s.width, kMapCols) + kGridLeft,
                     section_y(s.bottom, cal.cell(MapId::map_2_maf, row, col))};
    };
    if (learn != nullptr) {
        draw_proposed_curve(m, kMapCols, [&](int col) {
            return Point{
                point_at(col).x,
                section_y(s.bottom, proposed_word(*learn, cal, MapId::map_2_maf, row, col))};
        });
    }
    draw_section_curve(m, kMapCols, point_at, c.first_col, c.last_col,
                       std::clamp(c.map_cursor_col, 0, kMapCols - 1));
}

// The cursor column across pressure.
void draw_column_section(PaintModel& m, const Sections& s, const Calibration& cal,
                         const EditorCursor& c, int col, const LearnView* learn) {
    const int left = s.width + 90;
    const int lo = cal.param(hw::MAP_LO);
    const int span = cal.param(hw::MAP_HI) - lo;
    // Pressures in PSI are a digit wider than in bar: when neighbours would
    // run together, every other one is labelled. The last label keeps inside
    // the window.
    std::array<std::string, 11> labels;
    int widest = 0;
    for (int k = 0; k <= 10; ++k) {
        labels[static_cast<std::size_t>(k)] = format_map(cal, lo + scaled(k, span, 10));
        widest = std::max(widest, text_width(labels[static_cast<std::size_t>(k)], FontId::small));
    }
    constexpr int kLabelGap = 4;
    const int step = widest + kLabelGap > scaled(1, s.width, 10) ? 2 : 1;
    for (int k = 0; k <= 10; ++k) {
        const int x = left + scaled(k, s.width, 10);
        m.draw_line(x, s.top, x, s.bottom, pens::grey);
        if (k % step != 0) continue;
        const std::string& label = labels[static_cast<std::size_t>(k)];
        const int overhang = x + text_width(label, FontId::small) / 2 - (m.width - 2);
        m.draw_text(overhang > 0 ? x - overhang : x, s.bottom + 4, label, FontId::small,
                    colors::text_grey, Align::center);
    }
    for (int i = 0; i < kSectionLevels; ++i) {
        const int y = level_y(s, i);
        m.draw_line(left, y, left + s.width, y, pens::grey);
    }
    auto point_at = [&](int row) {
        return Point{left + scaled(row, s.width, kMapRows - 1),
                     section_y(s.bottom, cal.cell(MapId::map_2_maf, row, col))};
    };
    if (learn != nullptr) {
        draw_proposed_curve(m, kMapRows, [&](int row) {
            return Point{
                point_at(row).x,
                section_y(s.bottom, proposed_word(*learn, cal, MapId::map_2_maf, row, col))};
        });
    }
    draw_section_curve(m, kMapRows, point_at, c.first_row, c.last_row,
                       std::clamp(c.map_cursor_row, 0, kMapRows - 1));
}

}  // namespace

void draw_map_sections(PaintModel& m, const MapGrid& g, const EditorView& view,
                       const EditorCursor& c) {
    m.fill(50, g.height + 25, g.width + 2, 109, colors::window_grey);
    const Sections s{g.width / 2 - 20, g.height + 26, g.height + 26 + kSectionHeight};
    const LearnView* learn = shows_proposal(view.learn, MapId::map_2_maf) ? view.learn : nullptr;
    draw_row_section(m, s, view.cal, c, std::clamp(c.map_cursor_row, 0, kMapRows - 1), learn);
    draw_column_section(m, s, view.cal, c, std::clamp(c.map_cursor_col, 0, kMapCols - 1), learn);
}

}  // namespace veloquin
