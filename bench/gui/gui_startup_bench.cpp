// Start-up of the main window, from its construction to its first paint, as
// the program does it: start (working folders, start files), create (port
// probe, pages, page 1, timers), show. No serial ports, so the probe costs
// nothing and the figure is the window's own.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <clocale>
#include <filesystem>
#include <string>

#include "app/startup.h"
#include "bench/gui/gui_bench_support.h"
#include "device/port_table.h"
#include "gui/main_window.h"

namespace veloquin::gui {
namespace {

using Clock = std::chrono::steady_clock;

double ms_between(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Ends the wait at the first paint of the watched widget.
class FirstPaint : public QObject {
  public:
    explicit FirstPaint(QEventLoop& loop) : loop_(loop) {}
    bool painted() const { return painted_; }
    Clock::time_point at() const { return at_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !painted_) {
            painted_ = true;
            at_ = Clock::now();
            loop_.quit();
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    QEventLoop& loop_;
    bool painted_ = false;
    Clock::time_point at_;
};

void BM_StartupToFirstPaint(benchmark::State& state) {
    PortTable no_ports;
    double construct_ms = 0;
    double create_ms = 0;
    // The process's first window also loads fonts, style and caches, as the
    // program's one window does; the later ones show the window's own cost.
    double first_window_ms = -1;
    for (auto _ : state) {
        ScratchFolder dir;
        const WorkingFolders folders = working_folders(dir.path().string() + "/");
        QEventLoop loop;
        FirstPaint first_paint(loop);

        const auto start = Clock::now();
        auto* window = new MainWindow(Edition::full, no_ports);
        window->centralWidget()->installEventFilter(&first_paint);
        const auto constructed = Clock::now();
        window->app().start(folders, dir.path());
        window->create();
        const auto created = Clock::now();
        window->resize(window->sizeHint());
        window->show();
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        if (!first_paint.painted()) loop.exec();

        if (first_paint.painted()) {
            const double ms = ms_between(start, first_paint.at());
            if (first_window_ms < 0) first_window_ms = ms;
            state.SetIterationTime(ms / 1000.0);
        } else {
            state.SkipWithError("the window was not painted within 10 s");
        }
        construct_ms += ms_between(start, constructed);
        create_ms += ms_between(constructed, created);
        delete window;
        QCoreApplication::processEvents();
        if (!first_paint.painted()) break;
    }
    state.counters["first_window_ms"] = first_window_ms;
    state.counters["construct_ms"] =
        benchmark::Counter(construct_ms, benchmark::Counter::kAvgIterations);
    state.counters["start_create_ms"] =
        benchmark::Counter(create_ms, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_StartupToFirstPaint)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

}  // namespace
}  // namespace veloquin::gui

int main(int argc, char** argv) {
    return veloquin::gui::run_gui_benchmarks(argc, argv);
}
