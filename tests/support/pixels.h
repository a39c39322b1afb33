#pragma once
// Reading pictures of the screen in tests: colours near a wanted one, and
// two pictures compared pixel for pixel.

#include <QColor>
#include <QImage>
#include <QRect>
#include <cstdlib>

namespace veloquin::testing {

// Pixels in the rectangle within a small distance of the colour: text is
// antialiased, so only its core reaches the exact colour.
inline int pixels_near(const QImage& image, QRect r, QColor c, int tolerance = 24) {
    int n = 0;
    r &= image.rect();
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor p = image.pixelColor(x, y);
            if (std::abs(p.red() - c.red()) + std::abs(p.green() - c.green()) +
                    std::abs(p.blue() - c.blue()) <=
                tolerance) {
                ++n;
            }
        }
    }
    return n;
}

// Pixel for pixel; QImage's own == also tells colour-space tags apart, which
// a PNG written by another program may carry.
inline bool same_pixels(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return false;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y)) return false;
        }
    }
    return true;
}

}  // namespace veloquin::testing
