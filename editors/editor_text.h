#pragma once
// The number texts the graph editors draw, in the printf formats the device
// software used (its labels are matched by tuners' screenshots, so "%1.1f" of
// a single-precision 0.25 x i must stay what printf makes of it).

#include <cstdio>
#include <string>

namespace veloquin::editor_text {

inline std::string integer(int v) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", v);
    return text;
}

// "%3d": the map cells, right-aligned in their boxes.
inline std::string cell_integer(int v) {
    char text[16];
    std::snprintf(text, sizeof text, "%3d", v);
    return text;
}

inline std::string fixed(double v, int decimals) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

}  // namespace veloquin::editor_text
