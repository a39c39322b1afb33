#pragma once
// Where a tool window of the main window (Differences, Learn from log) opens,
// and how a review window follows the review it shows.

#include <QWidget>

namespace veloquin::gui {

// Beside `main` where the screen has room; where it has none, wherever it
// hides the least of `main` (the editors are what these windows are about).
// Never at the screen's corner over the menu bar.
void place_beside(QWidget& tool, const QWidget& main);

// A tool window that shows a review of the core (fields `active`, `started`,
// `revision`): a review begun opens it beside the main window, an ended one
// hides it, a changed one has `fill` rebuild what it shows.
struct ReviewFollower {
    int started_seen = 0;
    int revision_seen = -1;

    template <class Review, class Fill>
    void follow(QWidget& tool, const QWidget& main, const Review& review, Fill fill) {
        if (review.started != started_seen) {
            started_seen = review.started;
            revision_seen = -1;
            if (review.active) {
                fill();
                if (!tool.isVisible()) tool.adjustSize();  // its size is known before it is placed
                place_beside(tool, main);
                tool.show();
                tool.raise();
            }
        }
        if (!review.active) {
            if (tool.isVisible()) tool.hide();
            return;
        }
        if (review.revision == revision_seen) return;
        revision_seen = review.revision;
        fill();
    }
};

}  // namespace veloquin::gui
