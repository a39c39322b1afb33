#pragma once
// What the desktop program's benchmarks share: a temporary working folder
// for a main window and a main that runs them on the offscreen platform with
// the program's own look.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <filesystem>
#include <string>

#include "gui/program.h"

namespace veloquin::gui {

class ScratchFolder {
  public:
    ScratchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "veloquin-bench-XXXXXX");
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// `before_exit` runs while the application still exists: windows kept
// across benchmarks end there, not after it at the program's exit.
inline int run_gui_benchmarks(int argc, char** argv, void (*before_exit)() = nullptr) {
    // Before the application exists, or it looks for a display.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    veloquin::gui::choose_event_loop();
    QApplication qapp(argc, argv);
    apply_program_look();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (before_exit != nullptr) before_exit();
    return 0;
}

}  // namespace veloquin::gui
