#pragma once
// --screenshots DIR: every page in turn as a PNG of the area below the menu
// bar, then the program quits the normal way (so "workmap.cfg" is written).
// With --compare the pages show the comparison and the "Differences" list
// is taken too. With --learn the review's pages and window are taken instead,
// with --log-bench the histogram, the scatter and the compared logs.

#include <QImage>
#include <QObject>
#include <QString>
#include <QTimer>
#include <string>

#include "base/page.h"

class QWidget;

namespace veloquin::gui {

// What the window system shows of `w` once the queue has run (posted events,
// repaints and their flushes): the top-level window grabbed from the screen,
// cropped to `w`. The pictures are the screen's own, never a painting made
// for them.
QImage on_screen(QWidget* w);

class MainWindow;

class Screenshots : public QObject {
    Q_OBJECT
  public:
    // With `wait_for_device`, the pages are taken once the device is connected,
    // its calibration downloaded and a few live records shown (at most 5 s).
    // With `record`, a log is recorded from the device first, so the log
    // viewer shows it.
    Screenshots(MainWindow& window, QString folder, bool wait_for_device, bool record);
    void start();
    bool failed() const { return failed_; }

  private:
    void poll();
    void take_all();
    void finish();
    void take_learning();
    void take_alarms();
    void take_log_bench();
    QImage page_image(Page page);
    void save(const QImage& image, const std::string& name);

    MainWindow& window_;
    QString folder_;
    bool wait_for_device_;
    bool record_;
    bool recording_started_ = false;
    QTimer timer_;
    int waited_ms_ = 0;
    bool failed_ = false;
};

}  // namespace veloquin::gui
