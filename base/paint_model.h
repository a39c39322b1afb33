#pragma once
// What an editor, the log viewer or the dashboard puts on screen, as plain
// data: the core computes a PaintModel from the calibration, the cursor and
// the live record, and the Qt widget only walks it with a painter. Tests read
// the model for the rules (which text, which colour, where) without a window.

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace veloquin {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend constexpr bool operator==(Rgb, Rgb) = default;
};

namespace colors {
inline constexpr Rgb black{0, 0, 0};
inline constexpr Rgb white{255, 255, 255};
inline constexpr Rgb yellow{255, 255, 0};
inline constexpr Rgb red{255, 0, 0};
inline constexpr Rgb blue{0, 0, 255};
inline constexpr Rgb dark_blue{0, 0, 144};
inline constexpr Rgb dark_red{144, 0, 0};
inline constexpr Rgb window_grey{176, 176, 176};  // page and editor background, grey brush
inline constexpr Rgb pen_grey{120, 120, 120};     // grid lines
inline constexpr Rgb light_grey{144, 144, 144};
inline constexpr Rgb text_grey{128, 128, 128};   // axis titles, zero cells
inline constexpr Rgb label_grey{112, 112, 112};  // log viewer axis labels
// The frames of cells and points that differ from a compared file: a hue no
// cell text, curve or marker uses, dark enough to stand out from the grey
// ground and from white, yellow and black text alike.
inline constexpr Rgb difference{200, 0, 200};
// The frame of a parameter field holding a value outside its range.
inline constexpr Rgb out_of_range{230, 110, 0};
}  // namespace colors

struct Pen {
    Rgb color;
    int width = 1;  // pixels; the original's width 0 is one pixel
    friend constexpr bool operator==(Pen, Pen) = default;
};

// The shared pens of the main window.
namespace pens {
inline constexpr Pen grey{colors::pen_grey};
inline constexpr Pen light_grey{colors::light_grey};
inline constexpr Pen black{colors::black};
inline constexpr Pen dark_blue{colors::dark_blue};
inline constexpr Pen dark_red{colors::dark_red};
inline constexpr Pen red{colors::red};
inline constexpr Pen yellow{colors::yellow};
inline constexpr Pen white{colors::white};
inline constexpr Pen blue{colors::blue};
inline constexpr Pen red_thick{colors::red, 3};
inline constexpr Pen black_thick{colors::black, 2};
}  // namespace pens

// The four shared fonts ("Arial" in the original, a metric-compatible face here).
enum class FontId {
    vertical,    // height 16, width 10, weight 200, turned 90 degrees (reads upwards)
    horizontal,  // height 16, width 10, weight 200
    small,       // height 15, width 6, weight 200
    small_bold,  // height 15, width 6, weight 600
};

// Where the anchor point sits on the text: x at its left edge, centre or right
// edge; y is always the top of the text cell (for the vertical font, the
// anchor is the centre of the turned text's baseline side, as the original's
// centred escapement text).
enum class Align { left, center, right };

// The width a text takes in one of the shared fonts, in pixels. The fonts
// share Arial's advances, so digits, signs and points come out exact; other
// letters are a fair average. For deciding which labels fit beside each other.
int text_width(std::string_view text, FontId font);

struct Point {
    int x = 0, y = 0;
    friend constexpr bool operator==(Point, Point) = default;
};

struct LineOp {
    Point from, to;
    Pen pen;
    friend bool operator==(const LineOp&, const LineOp&) = default;
};
struct PolylineOp {
    std::vector<Point> points;
    Pen pen;
    friend bool operator==(const PolylineOp&, const PolylineOp&) = default;
};
struct FillOp {  // a solid rectangle, x and y its top-left corner
    int x = 0, y = 0, w = 0, h = 0;
    Rgb color;
    friend bool operator==(const FillOp&, const FillOp&) = default;
};
struct TextOp {
    Point at;
    std::string text;
    FontId font = FontId::small;
    Rgb color;
    Align align = Align::left;
    friend bool operator==(const TextOp&, const TextOp&) = default;
};
// Exclusive-or with white over the rectangle: the log viewer's marked range.
struct InvertOp {
    int x = 0, y = 0, w = 0, h = 0;
    friend bool operator==(const InvertOp&, const InvertOp&) = default;
};

using PaintOp = std::variant<LineOp, PolylineOp, FillOp, TextOp, InvertOp>;

struct PaintModel {
    int width = 0, height = 0;
    Rgb background = colors::window_grey;  // the whole area is filled first
    std::vector<PaintOp> ops;              // drawn in order; later ops paint over earlier ones

    // The drawing primitives every editor and viewer shares.
    // A line with any coordinate outside -32000..32000 is left out.
    void draw_line(int x1, int y1, int x2, int y2, Pen pen);
    // The outline through the four corners, with no coordinate check.
    void draw_frame(int x1, int y1, int x2, int y2, Pen pen);
    void draw_text(int x, int y, std::string text, FontId font, Rgb color, Align align);
    void fill(int x, int y, int w, int h, Rgb color);
    void polyline(std::vector<Point> points, Pen pen);
    void invert(int x, int y, int w, int h);

    // For tests: every text op, in drawing order.
    std::vector<const TextOp*> texts() const;

    // Two models that compare equal put the same pixels on screen: a widget
    // repaints only when the model of the current state differs from the
    // one it painted last.
    friend bool operator==(const PaintModel&, const PaintModel&) = default;
};

}  // namespace veloquin
