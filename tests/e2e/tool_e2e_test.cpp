// veloquin-tool's device and devsim commands, run as the user runs them: the
// built binary against a simulated device on a pseudo-terminal.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "calfile/calibration_file.h"
#include "device/serial_posix.h"
#include "devsim/simulator.h"
#include "tests/e2e/link_rig.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace veloquin::testing {
namespace {

struct ToolRun {
    int exit_code = -1;
    std::string out, err;
};

std::string quoted(const std::string& s) {
    return "'" + s + "'";
}

// The tool reads a simulated device that answers only when the scheduler runs
// it, which on a loaded machine comes later than a real unit's byte time. Its
// reply wait ends the moment the byte arrives, so the most patience it takes
// costs time only where the device keeps quiet (a second there).
const std::string kPatientTool =
    "VELOQUIN_TIME_SCALE=" + std::to_string(kMostPatience) + " " + quoted(VELOQUIN_TOOL_PATH);

ToolRun run_tool(const TempDir& dir, const std::string& arguments) {
    const auto out = dir / "stdout.txt";
    const auto err = dir / "stderr.txt";
    const std::string command =
        kPatientTool + " " + arguments + " >" + quoted(out.string()) + " 2>" + quoted(err.string());
    const int status = std::system(command.c_str());
    ToolRun r;
    r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = read_file(out);
    r.err = read_file(err);
    return r;
}

int count_lines_starting(const std::string& text, const std::string& prefix) {
    std::istringstream in(text);
    int n = 0;
    for (std::string line; std::getline(in, line);)
        n += line.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
}

class ToolDevice : public ::testing::Test {
  protected:
    void start(devsim::SimulatorOptions options = {}) {
        sim = std::make_unique<devsim::Simulator>(std::move(options));
        ASSERT_TRUE(sim->start());
        port = "--port " + quoted(sim->slave_path());
    }
    TempDir dir;
    std::unique_ptr<devsim::Simulator> sim;
    std::string port;
};

TEST_F(ToolDevice, InfoPrintsTheIdentificationLine) {
    devsim::SimulatorOptions o;
    o.serial = {1, 2, 3, 4, 5, 6, 7};
    o.hardware = 2;
    o.software = 15;
    start(o);
    const ToolRun r = run_tool(dir, "device info " + port);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "KVX serial# 01020304050607 HW.Ver:02 SW.Ver:15\n");
}

TEST_F(ToolDevice, DownloadWritesTheDevicesCalibration) {
    start();
    const ToolRun r =
        run_tool(dir, "device download " + port + " " + quoted((dir / "car.emu").string()));
    ASSERT_EQ(r.exit_code, 0) << r.err;
    Calibration cal;
    set_start_values(cal);
    ASSERT_TRUE(read_calibration_file(cal, dir / "car.emu", Edition::full));
    const Calibration device = devsim::plausible_calibration();
    EXPECT_EQ(cal.maps, device.maps);
    EXPECT_EQ(cal.param(hw::REV_DIV), device.param(hw::REV_DIV));
    EXPECT_EQ(cal.param(hw::ACC_MAX), device.param(hw::ACC_MAX));
}

// A busy machine: each time the device takes a request, the tool is stopped
// for longer than the reply wait while the device answers. What reached the
// line meanwhile still counts, so the download succeeds.
TEST_F(ToolDevice, DownloadSucceedsWithTheToolStoppedWhileTheDeviceAnswers) {
    start();
    const std::string file = (dir / "car.emu").string();
    // Requests the tool sends between two looks go unstopped; on a busy
    // machine the device may answer those late, which is not the point here.
    std::vector<std::string> args = {
        "/usr/bin/env",     "VELOQUIN_TIME_SCALE=" + std::to_string(kMostPatience),
        VELOQUIN_TOOL_PATH, "device",
        "download",         "--port",
        sim->slave_path(),  file};
    const std::chrono::milliseconds reply_wait(
        serial_timeouts(TimeoutSet::normal, kMostPatience).read_total_ms);
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);
    std::size_t seen = 0;
    std::uint64_t answered = 0;
    int stops = 0;
    int status = -1;
    EXPECT_TRUE(wait_until([&] {
        if (::waitpid(pid, &status, WNOHANG) == pid) return true;
        if (sim->log().commands.size() > seen) {
            ::kill(pid, SIGSTOP);
            // Stopped until the device has answered, and past the reply wait.
            EXPECT_TRUE(wait_until([&] { return sim->bytes_sent() > answered; }));
            std::this_thread::sleep_for(2 * reply_wait);
            // Taken while the tool is stopped: no request can come in between.
            seen = sim->log().commands.size();
            answered = sim->bytes_sent();
            ::kill(pid, SIGCONT);
            ++stops;
        }
        return false;
    }));
    if (status == -1) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // A request taken and answered between two looks goes without a stop.
    EXPECT_GE(stops, 3);
    Calibration cal;
    set_start_values(cal);
    ASSERT_TRUE(read_calibration_file(cal, file, Edition::full));
    EXPECT_EQ(cal.maps, devsim::plausible_calibration().maps);
}

TEST_F(ToolDevice, UploadSendsTheFileAndChecksWhatTheDeviceKept) {
    start();
    Calibration edited = devsim::plausible_calibration();
    edited.cell(MapId::boost_duty, 8, 9) = 77;
    edited.cell(MapId::fuel_correction, 1, 2) = 15;
    ASSERT_TRUE(write_calibration_file(edited, dir / "tune.emu", Edition::full));
    const ToolRun r =
        run_tool(dir, "device upload " + port + " " + quoted((dir / "tune.emu").string()));
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(sim->log().uploaded_blocks(),
              std::vector<Block>(kBlockOrder.begin(), kBlockOrder.end()));
    EXPECT_EQ(sim->store().map_cell(Block::boost_map, 8, 9), 77);
    EXPECT_EQ(sim->store().fuel_correction(1, 2), 15);
}

TEST_F(ToolDevice, UploadReportsEveryBlockTheDeviceDidNotKeep) {
    devsim::SimulatorOptions o;
    o.ignore_uploads = true;
    start(o);
    Calibration edited = devsim::plausible_calibration();
    edited.cell(MapId::boost_duty, 8, 9) = 77;
    edited.cell(MapId::map_2_maf, 3, 3) = 99;
    ASSERT_TRUE(write_calibration_file(edited, dir / "tune.emu", Edition::full));
    const ToolRun r =
        run_tool(dir, "device upload " + port + " " + quoted((dir / "tune.emu").string()));
    EXPECT_EQ(r.exit_code, 1) << r.err;
    EXPECT_EQ(count_lines_starting(r.out, "e-map:"), 1) << r.out;
    EXPECT_EQ(count_lines_starting(r.out, "boost-map:"), 1) << r.out;
    EXPECT_EQ(count_lines_starting(r.out, "f-map:"), 0) << r.out;
}

TEST_F(ToolDevice, WatchPrintsOneLinePerLiveRecord) {
    start();
    const ToolRun r = run_tool(dir, "device watch " + port + " --count 4 --every 5");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(count_lines_starting(r.out, "rpm "), 4) << r.out;
    EXPECT_NE(r.out.find(" bar "), std::string::npos);
    EXPECT_NE(r.out.find("AFR 14."), std::string::npos) << r.out;
}

TEST_F(ToolDevice, FailuresExitWithTwoAndSayWhy) {
    devsim::SimulatorOptions o;
    o.silent = true;
    start(o);
    ToolRun r = run_tool(dir, "device info " + port);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_NE(r.err.find("no answer from the device"), std::string::npos) << r.err;

    r = run_tool(dir, "device info --port " + quoted((dir / "nothing").string()));
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_NE(r.err.find("cannot open"), std::string::npos) << r.err;

    r = run_tool(dir, "device download " + port);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_NE(r.err.find("usage"), std::string::npos) << r.err;

    r = run_tool(dir, "device watch " + port + " --count zero");
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_NE(r.err.find("--count"), std::string::npos) << r.err;
}

TEST(ToolDevsim, ServesOnItsPathUntilTerminated) {
    TempDir dir;
    const std::string link = (dir / "veloquin-dev").string();
    const std::string out = (dir / "devsim.out").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const std::string tool = VELOQUIN_TOOL_PATH;
    std::vector<std::string> args = {tool,   "devsim", "--link", link, "--serial", "9,8,7,6,5,4,3",
                                     "--hw", "4",      "--sw",   "21", "--seed",   "5"};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);

    EXPECT_TRUE(wait_until([&] { return read_file(out).find('\n') != std::string::npos; }));
    EXPECT_EQ(read_file(out).rfind("/dev/pts/", 0), 0U) << read_file(out);
    const ToolRun r = run_tool(dir, "device info --port " + quoted(link));
    EXPECT_EQ(r.out, "KVX serial# 09080706050403 HW.Ver:04 SW.Ver:21\n") << r.err;

    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

TEST(ToolDevsim, RefusesOptionsItCannotHonour) {
    TempDir dir;
    for (const char* bad :
         {"--noise lots", "--serial 1,2,3", "--hw 300", "--drop-every 0", "--frobnicate"}) {
        const ToolRun r = run_tool(dir, std::string("devsim ") + bad);
        EXPECT_EQ(r.exit_code, 2) << bad;
        EXPECT_NE(r.err.find("veloquin-tool: "), std::string::npos) << bad;
        EXPECT_TRUE(r.out.empty()) << bad;
    }
}

}  // namespace
}  // namespace veloquin::testing
