// What the desktop program costs while it sits connected on one page: CPU
// over ten seconds, frames painted per second, wake-ups and resident memory.
// The built program runs as a child with its simulated device (so the
// figures include the device's serving thread, which lives in the same
// process) on the X display this benchmark runs on (scripts/bench.sh starts
// a virtual one), in a folder of its own; xdotool clicks the page's button.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "tests/support/shell.h"

extern char** environ;

namespace {

using veloquin::testing::output_of;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr auto kConnectTime = std::chrono::seconds(2);
constexpr auto kIdleWindow = std::chrono::seconds(10);

// Clock ticks of user plus system time in a /proc .../stat line. The command
// name in parentheses may hold spaces, so fields are counted after its end.
std::optional<long long> cpu_ticks(const fs::path& stat_file) {
    std::ifstream in(stat_file);
    std::string line;
    if (!std::getline(in, line)) return std::nullopt;
    const auto close = line.rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::istringstream fields(line.substr(close + 2));
    std::string field;
    long long utime = 0;
    long long stime = 0;
    // Fields from the state (3rd) on: utime is the 14th, stime the 15th.
    for (int n = 3; n <= 15 && fields >> field; ++n) {
        if (n == 14) utime = std::stoll(field);
        if (n == 15) stime = std::stoll(field);
    }
    if (!fields) return std::nullopt;
    return utime + stime;
}

// A "key: value" line of a /proc file, such as "VmRSS:   123 kB" of status
// or "wchar: 4096" of io; -1 when missing.
double proc_value(const fs::path& file, const std::string& key) {
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key + ":", 0) == 0) return std::stod(line.substr(key.size() + 1));
    }
    return -1;
}

std::string read_text(const fs::path& file) {
    std::ifstream in(file);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class ScratchFolder {
  public:
    ScratchFolder() {
        std::string pattern = fs::temp_directory_path() / "veloquin-bench-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

// Context switches of every thread of the process: each is a wake-up.
long long context_switches(const fs::path& proc) {
    long long total = 0;
    std::error_code ec;
    for (const auto& task : fs::directory_iterator(proc / "task", ec)) {
        const double v = proc_value(task.path() / "status", "voluntary_ctxt_switches");
        const double n = proc_value(task.path() / "status", "nonvoluntary_ctxt_switches");
        if (v > 0) total += static_cast<long long>(v);
        if (n > 0) total += static_cast<long long>(n);
    }
    return total;
}

long long frames_in(const fs::path& stats_file) {
    std::ifstream in(stats_file);
    long long frames = -1;
    in >> frames;
    return frames;
}

// Clicks the navigation button of page `number` in the program's window.
bool show_page(pid_t pid, int number) {
    std::string window = output_of("xdotool search --onlyvisible --pid " + std::to_string(pid) +
                                   " --name Tarvex 2>/dev/null");
    window = window.substr(0, window.find('\n'));
    if (window.empty()) return false;
    // The window's fixed area of 708 pixels sits below its menu bar; the
    // buttons stand 26 pixels apart in it.
    const std::string shell = output_of("xdotool getwindowgeometry --shell " + window);
    const auto at = shell.find("HEIGHT=");
    if (at == std::string::npos) return false;
    const int surface_top = std::atoi(shell.c_str() + at + 7) - 708;
    const int y = surface_top + 16 + 26 * (number - 1) + 12;
    return std::system(
               ("xdotool mousemove --window " + window + " 100 " + std::to_string(y) + " click 1")
                   .c_str()) == 0;
}

// The program with its simulated device, in `folder`, its output into a
// log there. Returns -1 when it could not be started.
pid_t start_program(const fs::path& folder) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string log = (folder / "program.log").string();
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());

    // This process draws nothing itself, so its own environment can carry the settings.
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    ::setenv("VELOQUIN_FRAME_STATS", (folder / "frames").c_str(), 1);
    std::string program = VELOQUIN_PROGRAM_PATH;
    std::string simulate = "--simulate";
    char* argv[] = {program.data(), simulate.data(), nullptr};

    pid_t pid = -1;
    if (::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

bool still_running(pid_t pid) {
    int status = 0;
    return ::waitpid(pid, &status, WNOHANG) == 0;
}

// SIGTERM, as a session ends it; true when it ended by itself within 5 s.
bool stop_program(pid_t pid) {
    ::kill(pid, SIGTERM);
    const auto give_up = Clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (Clock::now() < give_up) {
        if (::waitpid(pid, &status, WNOHANG) == pid) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return false;
}

void BM_ConnectedOnPage(benchmark::State& state) {
    const double ticks_per_second = static_cast<double>(::sysconf(_SC_CLK_TCK));
    const int page = static_cast<int>(state.range(0));
    for (auto _ : state) {
        ScratchFolder folder;
        const pid_t pid = start_program(folder.path());
        if (pid < 0) {
            state.SkipWithError("the program could not be started");
            break;
        }
        const fs::path proc = "/proc/" + std::to_string(pid);
        std::this_thread::sleep_for(kConnectTime);
        const bool shown = page == 1 || show_page(pid, page);
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const auto start = Clock::now();
        const auto process_start = cpu_ticks(proc / "stat");
        const auto gui_start = cpu_ticks(proc / "task" / std::to_string(pid) / "stat");
        const long long frames_start = frames_in(folder.path() / "frames");
        const long long switches_start = context_switches(proc);
        std::this_thread::sleep_for(kIdleWindow);
        const auto process_end = cpu_ticks(proc / "stat");
        const auto gui_end = cpu_ticks(proc / "task" / std::to_string(pid) / "stat");
        const long long frames_end = frames_in(folder.path() / "frames");
        const long long switches_end = context_switches(proc);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        const double rss_kib = proc_value(proc / "status", "VmRSS");
        const bool alive = still_running(pid);
        const bool ended_on_sigterm = alive && stop_program(pid);

        if (!alive || !shown || !process_start || !process_end || !gui_start || !gui_end) {
            const std::string why = std::string(shown ? "" : "the page button was not found; ") +
                                    "the program's output:\n" +
                                    read_text(folder.path() / "program.log");
            state.SkipWithError(why.c_str());
            break;
        }
        state.SetIterationTime(seconds);
        auto percent = [&](long long ticks) { return 100.0 * ticks / ticks_per_second / seconds; };
        state.counters["cpu_pct"] = percent(*process_end - *process_start);
        state.counters["gui_thread_cpu_pct"] = percent(*gui_end - *gui_start);
        state.counters["frames_per_s"] = (frames_end - frames_start) / seconds;
        state.counters["wakeups_per_s"] = (switches_end - switches_start) / seconds;
        state.counters["rss_MiB"] = rss_kib / 1024.0;
        if (!ended_on_sigterm) state.SetLabel("killed: SIGTERM did not end it within 5 s");
    }
}
// Page 1 (fields only), page 2 (the MAF emulation map with its live
// markers) and page 12 (the dashboard, every record moves a needle).
BENCHMARK(BM_ConnectedOnPage)
    ->Arg(1)
    ->Arg(2)
    ->Arg(12)
    ->Unit(benchmark::kSecond)
    ->UseManualTime()
    ->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
