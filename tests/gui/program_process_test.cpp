// The built programs as a tuner's desktop starts and ends them: a child
// process per case, in its own working folder.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "calfile/calibration_file.h"
#include "devsim/simulator.h"
#include "tests/gui/gui_fixture.h"

namespace veloquin::testing {
namespace {

using Clock = std::chrono::steady_clock;

pid_t start(const char* program, const std::filesystem::path& cwd,
            std::vector<std::string> args = {}) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(cwd.c_str()) != 0) ::_exit(126);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        std::vector<char*> argv{const_cast<char*>(program)};
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(program, argv.data());
        ::_exit(127);
    }
    return pid;
}

// The program takes the signal once its handler is in place; before that the
// signal would end it without a word.
bool catches(pid_t pid, int signal_number) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("SigCgt:", 0) == 0) {
            const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
            return ((mask >> (signal_number - 1)) & 1ULL) != 0;
        }
    }
    return false;
}

// Exit status, or -1 when the process did not end within the (scaled) time.
int wait_for(pid_t pid, std::chrono::milliseconds limit) {
    int status = 0;
    const auto ended = [&] { return ::waitpid(pid, &status, WNOHANG) == pid; };
    if (wait_until(ended, limit, [] { std::this_thread::sleep_for(10ms); })) {
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return -1;
}

// Whether the program has put its handler for `signal_number` in place within the (scaled) time.
bool catches_within(pid_t pid, int signal_number, std::chrono::milliseconds limit = 10s) {
    return wait_until([&] { return catches(pid, signal_number); }, limit,
                      [] { std::this_thread::sleep_for(5ms); });
}

TEST(ProgramProcess, EveryQuitSignalWritesTheWorkmap) {
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        TempDir dir;
        write_file(dir / "workmap.cfg", "SPD_DIV:4321\r\n");
        const pid_t pid = start(VELOQUIN_PROGRAM_PATH, dir.path());
        ASSERT_TRUE(catches_within(pid, sig)) << "signal " << sig;
        // Two in a row: the second lands while the first is being handled.
        ::kill(pid, sig);
        ::kill(pid, sig);
        EXPECT_EQ(wait_for(pid, std::chrono::seconds(10)), 0) << "signal " << sig;
        Calibration back;
        ASSERT_TRUE(read_calibration_file(back, dir / "workmap.cfg", Edition::full));
        EXPECT_EQ(back.param(hw::SPD_DIV), 4321);
        const std::string text = read_file(dir / "workmap.cfg");
        EXPECT_GT(text.rfind("[end]"), text.size() - 12) << "cut short";
    }
}

// A device whose reply bytes come 5 ms apart takes half a minute to
// download; a desktop that ends the session must not wait for it.
TEST(ProgramProcess, SigtermDuringASlowDownloadEndsItWithinASecond) {
    devsim::SimulatorOptions slow;
    slow.reply_byte_gap_ms = 5;
    devsim::Simulator sim(slow);
    ASSERT_TRUE(sim.start());
    TempDir dir;
    write_file(dir / "workmap.cfg", "SPD_DIV:4321\r\n");
    const pid_t pid = start(VELOQUIN_PROGRAM_PATH, dir.path(), {"--port", sim.slave_path()});
    // Well into the download: the identification and the header have come.
    ASSERT_TRUE(wait_until([&] { return sim.log().codes().size() >= 3; }, 10s,
                           [] { std::this_thread::sleep_for(20ms); }));
    ASSERT_TRUE(catches(pid, SIGTERM));
    const auto asked = Clock::now();
    ::kill(pid, SIGTERM);
    EXPECT_EQ(wait_for(pid, std::chrono::seconds(5)), 0);
    EXPECT_LT(Clock::now() - asked, scaled(1s));
    Calibration back;
    ASSERT_TRUE(read_calibration_file(back, dir / "workmap.cfg", Edition::full));
    EXPECT_EQ(back.param(hw::SPD_DIV), 4321) << "a cut-off download takes nothing in";
    sim.stop();
}

TEST(ProgramProcess, SimulateKeepsTheEditsOfThePreviousRun) {
    TempDir dir;
    write_file(dir / "workmap.cfg", "SPD_DIV:4321\r\nO2FB_Target:1470\r\n");
    for (int run = 0; run < 2; ++run) {
        std::filesystem::remove(dir / "synced-device.txt");
        const pid_t pid = start(VELOQUIN_PROGRAM_PATH, dir.path(),
                                {"--simulate", "--workdir", dir.path().string()});
        EXPECT_TRUE(wait_until([&] { return std::filesystem::exists(dir / "synced-device.txt"); },
                               20s, [] { std::this_thread::sleep_for(20ms); }))
            << "run " << run;
        ASSERT_TRUE(catches(pid, SIGTERM));
        ::kill(pid, SIGTERM);
        EXPECT_EQ(wait_for(pid, std::chrono::seconds(5)), 0);
        Calibration back;
        ASSERT_TRUE(read_calibration_file(back, dir / "workmap.cfg", Edition::full));
        EXPECT_EQ(back.param(hw::SPD_DIV), 4321) << "run " << run;
        EXPECT_FALSE(std::filesystem::exists(dir / "history")) << "nothing was replaced";
    }
}

TEST(ProgramProcess, ScreenshotsOfEveryPageInBothEditions) {
    struct Case {
        const char* program;
        std::vector<std::string> expected;
        bool afr_in_workmap;
    };
    const Case cases[] = {
        {VELOQUIN_PROGRAM_PATH,
         {"01-parameters.png", "07-afr-protect.png", "12-dash-board.png"},
         true},
        {VELOQUIN_LITE_PROGRAM_PATH,
         {"07-nos-methanol.png", "10-log-viewer.png", "11-dash-board.png"},
         false},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const pid_t pid = start(c.program, dir.path(), {"--screenshots", (dir / "shots").string()});
        ASSERT_EQ(wait_for(pid, std::chrono::seconds(30)), 0) << c.program;
        for (const std::string& name : c.expected) {
            QImage image(QString::fromStdString((dir / "shots" / name).string()));
            EXPECT_EQ(image.size(), QSize(gui::kSurfaceWidth, gui::kSurfaceHeight)) << name;
        }
        int count = 0;
        for (const auto& e : std::filesystem::directory_iterator(dir / "shots")) {
            count += e.path().extension() == ".png" ? 1 : 0;
        }
        EXPECT_EQ(count, c.afr_in_workmap ? 12 : 11);
        const std::string workmap = read_file(dir / "workmap.cfg");
        EXPECT_EQ(workmap.find("[AFR-PROTECT]") != std::string::npos, c.afr_in_workmap);
    }
}

// A message box shown at start (a folder named as a calibration) held a
// SIGTERM back for ever.
TEST(ProgramProcess, QuitSignalEndsAStartMessageBoxAndWritesTheWorkmap) {
    TempDir dir;
    std::filesystem::create_directories(dir / "DIR.emu");
    write_file(dir / "workmap.cfg", "SPD_DIV:4321\r\n");
    const pid_t pid = start(VELOQUIN_PROGRAM_PATH, dir.path(), {(dir / "DIR.emu").string()});
    ASSERT_TRUE(catches_within(pid, SIGTERM));
    ::kill(pid, SIGTERM);
    EXPECT_EQ(wait_for(pid, std::chrono::seconds(10)), 0);
    EXPECT_NE(read_file(dir / "workmap.cfg").find("SPD_DIV:4321"), std::string::npos);
}

std::string shell(const std::string& command) {
    FILE* pipe = ::popen((command + " 2>&1; echo exit $?").c_str(), "r");
    std::string out(4096, '\0');
    out.resize(std::fread(out.data(), 1, out.size(), pipe));
    ::pclose(pipe);
    return out;
}

// Without a display Qt aborted with 134; a run that asks nothing of a person
// waited for ever on a Save As nobody saw when workmap.cfg could not be written
// (no file can be made in /proc, whoever runs the test).
TEST(ProgramProcess, NoDisplayAndAnUnwritableFolderAreSaidOnStderr) {
    const std::string program = VELOQUIN_PROGRAM_PATH;
    TempDir shots_dir;
    const std::string bare =
        shell("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + program);
    EXPECT_NE(bare.find("no display was found"), std::string::npos) << bare;
    EXPECT_NE(bare.find("QT_QPA_PLATFORM=offscreen veloquin --screenshots"), std::string::npos);
    EXPECT_EQ(bare.substr(bare.rfind("exit")), "exit 1\n");
    const std::string shots = shell("cd /proc && QT_QPA_PLATFORM=offscreen timeout 30 " + program +
                                    " --screenshots " + shots_dir.path().string());
    EXPECT_NE(shots.find("workmap.cfg not written"), std::string::npos) << shots;
    EXPECT_EQ(shots.substr(shots.rfind("exit")), "exit 1\n");
}

TEST(ProgramProcess, HelpVersionAndBadOptions) {
    TempDir dir;
    EXPECT_EQ(
        wait_for(start(VELOQUIN_PROGRAM_PATH, dir.path(), {"--help"}), std::chrono::seconds(10)),
        0);
    EXPECT_EQ(
        wait_for(start(VELOQUIN_PROGRAM_PATH, dir.path(), {"--version"}), std::chrono::seconds(10)),
        0);
    EXPECT_EQ(wait_for(start(VELOQUIN_PROGRAM_PATH, dir.path(), {"--nonsense"}),
                       std::chrono::seconds(10)),
              2);
    EXPECT_FALSE(std::filesystem::exists(dir / "workmap.cfg"));
}

TEST(ProgramProcess, WorkdirHoldsTheStartFilesAndTheFolders) {
    TempDir dir;
    std::filesystem::create_directories(dir / "work");
    write_file(dir / "work" / "default.cfg", "SPD_DIV:4321\r\n");
    const pid_t pid = start(VELOQUIN_PROGRAM_PATH, dir.path(),
                            {"--workdir", "work", "--screenshots", (dir / "shots").string()});
    ASSERT_EQ(wait_for(pid, std::chrono::seconds(30)), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "workmap.cfg"));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "work" / "logs"));
    Calibration back;
    ASSERT_TRUE(read_calibration_file(back, dir / "work" / "workmap.cfg", Edition::full));
    EXPECT_EQ(back.param(hw::SPD_DIV), 4321);
}

}  // namespace
}  // namespace veloquin::testing
