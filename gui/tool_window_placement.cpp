#include "gui/tool_window_placement.h"

#include <QRect>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace veloquin::gui {

void place_beside(QWidget& tool, const QWidget& main_window) {
    const QRect main = main_window.frameGeometry();
    const QRect room = main_window.screen()->availableGeometry();
    const QSize size = tool.frameGeometry().size();
    constexpr int kGap = 8;
    const QPoint candidates[] = {
        {main.right() + kGap, main.top()},
        {main.left() - kGap - size.width(), main.top()},
        {main.right() - size.width(), main.bottom() + kGap},
        {main.right() - size.width(), main.top() - kGap - size.height()},
    };
    QRect best;
    long long best_hidden = -1;
    for (const QPoint& c : candidates) {
        QRect r(c, size);
        r.moveLeft(
            std::clamp(r.left(), room.left(), std::max(room.left(), room.right() - size.width())));
        r.moveTop(
            std::clamp(r.top(), room.top(), std::max(room.top(), room.bottom() - size.height())));
        const QRect hidden = r & main;
        const long long area = hidden.isEmpty() ? 0LL : 1LL * hidden.width() * hidden.height();
        if (best_hidden < 0 || area < best_hidden) {
            best = r;
            best_hidden = area;
        }
    }
    tool.move(best.topLeft());
}

}  // namespace veloquin::gui
