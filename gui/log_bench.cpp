#include "gui/log_bench.h"

#include "gui/histogram_widget.h"
#include "gui/main_window.h"

namespace veloquin::gui {

LogBench::LogBench(MainWindow& window) : QObject(&window) {
    histogram_ = new HistogramWidget(window);
}

void LogBench::sync() {
    histogram_->sync();
}

}  // namespace veloquin::gui
