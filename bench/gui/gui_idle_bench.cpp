// What the desktop program costs while it sits connected and idle on its
// first page: CPU over ten seconds and resident memory. The built program
// runs as a child with its simulated device (so the figures include the
// device's serving thread, which lives in the same process), off screen, in a
// folder of its own.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

extern char** environ;

namespace {

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

// The program with its simulated device, off screen, in `folder`, its output
// into a log there. Returns -1 when it could not be started.
pid_t start_program(const fs::path& folder) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string log = (folder / "program.log").string();
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());

    // This process draws nothing itself, so its own environment can carry the setting.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
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

void BM_IdleConnectedOnFirstPage(benchmark::State& state) {
    const double ticks_per_second = static_cast<double>(::sysconf(_SC_CLK_TCK));
    for (auto _ : state) {
        ScratchFolder folder;
        const pid_t pid = start_program(folder.path());
        if (pid < 0) {
            state.SkipWithError("the program could not be started");
            break;
        }
        const fs::path proc = "/proc/" + std::to_string(pid);
        std::this_thread::sleep_for(kConnectTime);
        const auto start = Clock::now();
        const auto process_start = cpu_ticks(proc / "stat");
        const auto gui_start = cpu_ticks(proc / "task" / std::to_string(pid) / "stat");
        const double written_start = proc_value(proc / "io", "wchar");
        std::this_thread::sleep_for(kIdleWindow);
        const auto process_end = cpu_ticks(proc / "stat");
        const auto gui_end = cpu_ticks(proc / "task" / std::to_string(pid) / "stat");
        const double written_end = proc_value(proc / "io", "wchar");
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        const double rss_kib = proc_value(proc / "status", "VmRSS");
        const double hwm_kib = proc_value(proc / "status", "VmHWM");
        const bool alive = still_running(pid);
        const bool ended_on_sigterm = alive && stop_program(pid);

        if (!alive || !process_start || !process_end || !gui_start || !gui_end) {
            const std::string why =
                "the program ended early; its output:\n" + read_text(folder.path() / "program.log");
            state.SkipWithError(why.c_str());
            break;
        }
        state.SetIterationTime(seconds);
        auto percent = [&](long long ticks) { return 100.0 * ticks / ticks_per_second / seconds; };
        state.counters["cpu_pct"] = percent(*process_end - *process_start);
        state.counters["gui_thread_cpu_pct"] = percent(*gui_end - *gui_start);
        state.counters["rss_MiB"] = rss_kib / 1024.0;
        state.counters["hwm_MiB"] = hwm_kib / 1024.0;
        // Bytes written by the process: the program's requests and the
        // simulated device's replies, so the live poll at work shows here.
        state.counters["line_bytes_per_s"] = (written_end - written_start) / seconds;
        if (!ended_on_sigterm) state.SetLabel("killed: SIGTERM did not end it within 5 s");
    }
}
BENCHMARK(BM_IdleConnectedOnFirstPage)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
