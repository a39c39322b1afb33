#pragma once
// Reading pictures of the screen in tests: colours near a wanted one, two
// pictures compared pixel for pixel, and a picture of a settled screen.

#include <QColor>
#include <QImage>
#include <QRect>
#include <chrono>
#include <cstdlib>
#include <functional>

#include "tests/support/deadline.h"

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

// The screen once it has settled: grabs `gap` apart until two in a row are
// identical. A window is painted and flushed to the display in pieces, and a
// grab can fall between them; such a half-painted frame never becomes a
// reference, since the next grab shows the rest. Null when the screen is
// still changing at `limit` (scaled). `pause` lets time pass: a sleep for
// another process's window, the event loop for the test's own.
inline QImage settled(const std::function<QImage()>& grab,
                      const std::function<void(std::chrono::milliseconds)>& pause,
                      std::chrono::milliseconds gap = 50ms, std::chrono::milliseconds limit = 10s) {
    QImage last = grab();
    const auto end = std::chrono::steady_clock::now() + scaled(limit);
    while (std::chrono::steady_clock::now() < end) {
        pause(gap);
        QImage now = grab();
        if (!now.isNull() && same_pixels(now, last)) return now;
        last = std::move(now);
    }
    return {};
}

}  // namespace veloquin::testing
