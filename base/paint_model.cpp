#include "base/paint_model.h"

#include <utility>

namespace veloquin {

namespace {
constexpr int kCoordinateLimit = 32000;
bool drawable(int v) {
    return v >= -kCoordinateLimit && v <= kCoordinateLimit;
}
}  // namespace

int text_width(std::string_view text, FontId font) {
    // Thousandths of the em: Arial's advances of the characters labels use.
    int thousandths = 0;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            thousandths += 556;
        } else if (c == '.' || c == ',' || c == ' ' || c == ':') {
            thousandths += 278;
        } else if (c == '-') {
            thousandths += 333;
        } else if (c == '%') {
            thousandths += 889;
        } else if (c >= 'A' && c <= 'Z') {
            thousandths += 700;
        } else {
            thousandths += 560;
        }
    }
    // Pixel sizes of the shared fonts; the two large ones are stretched by 160 %.
    const int em_pixels = font == FontId::small || font == FontId::small_bold ? 13 : 14 * 16 / 10;
    return (thousandths * em_pixels + 999) / 1000;
}

void PaintModel::draw_line(int x1, int y1, int x2, int y2, Pen pen) {
    if (!drawable(x1) || !drawable(y1) || !drawable(x2) || !drawable(y2)) return;
    ops.emplace_back(LineOp{{x1, y1}, {x2, y2}, pen});
}

void PaintModel::draw_frame(int x1, int y1, int x2, int y2, Pen pen) {
    polyline({{x1, y1}, {x2, y1}, {x2, y2}, {x1, y2}, {x1, y1}}, pen);
}

void PaintModel::draw_text(int x, int y, std::string text, FontId font, Rgb color, Align align) {
    ops.emplace_back(TextOp{{x, y}, std::move(text), font, color, align});
}

void PaintModel::fill(int x, int y, int w, int h, Rgb color) {
    ops.emplace_back(FillOp{x, y, w, h, color});
}

void PaintModel::polyline(std::vector<Point> points, Pen pen) {
    if (points.size() >= 2) ops.emplace_back(PolylineOp{std::move(points), pen});
}

void PaintModel::invert(int x, int y, int w, int h) {
    ops.emplace_back(InvertOp{x, y, w, h});
}

std::vector<const TextOp*> PaintModel::texts() const {
    std::vector<const TextOp*> out;
    for (const auto& op : ops) {
        if (const auto* t = std::get_if<TextOp>(&op)) out.push_back(t);
    }
    return out;
}

}  // namespace veloquin
