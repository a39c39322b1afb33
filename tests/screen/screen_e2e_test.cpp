// The built program on a real X display, driven as a tuner drives it: X
// input through XTEST (xdotool) and the screen read back from the X server
// over the test's own connection, as any screen grabber reads it. Nothing
// here reaches into the program; what counts is what the display shows.
// Runs on the virtual X server that on-xvfb.sh starts.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/page_controls.h"
#include "calfile/calibration_file.h"
#include "datalogs/dashboard.h"
#include "datalogs/log_file.h"
#include "editors/graph_editors.h"
#include "tests/support/deadline.h"
#include "tests/support/pixels.h"
#include "tests/support/shell.h"
#include "tests/support/temp_dir.h"

namespace veloquin::testing {
namespace {

using Clock = std::chrono::steady_clock;

// The window's fixed layout below its menu bar.
constexpr int kSurfaceWidth = 1014;
constexpr int kSurfaceHeight = 708;
constexpr QPoint kPageOrigin{200, 6};
// The log viewer and the dashboard within their page.
constexpr QPoint kViewerOrigin{202, 16};
// The MAF emulation editor within the window surface, and its grid.
const EditorInfo& kMapEditor = editor_info(EditorKind::map_to_maf);
const QPoint kMapEditorOrigin = kPageOrigin + QPoint(kMapEditor.x, kMapEditor.y);
const MapGrid kMapGrid = *map_grid(EditorKind::map_to_maf, kMapEditor.width, kMapEditor.height);
const int kMapGridW = kMapGrid.width;
const int kMapGridH = kMapGrid.height;

void xdotool(const std::string& args) {
    ASSERT_EQ(std::system(("xdotool " + args).c_str()), 0) << args;
}

// The text box of a MAF emulation cell, in window-surface pixels.
QRect map_cell(int row, int col) {
    return QRect(((col + 1) * kMapGridW) / 20 + 27, ((23 - row) * kMapGridH) / 24 + 3, 30, 16)
        .translated(kMapEditorOrigin);
}
QPoint map_cell_centre(int row, int col) {
    return QPoint(60 + (col * kMapGridW) / 20 + kMapGridW / 40,
                  ((23 - row) * kMapGridH) / 24 + 10) +
           kMapEditorOrigin;
}
QPoint nav_button(int number) {
    return {100, 16 + 26 * (number - 1) + 12};
}
bool cursor_at(const QImage& s, int row, int col) {
    return pixels_near(s, map_cell(row, col), Qt::white) > 5;
}

// One running program and its window.
class Program {
  public:
    Program(const std::filesystem::path& cwd, std::vector<std::string> args) {
        pid_ = ::fork();
        if (pid_ == 0) {
            if (::chdir(cwd.c_str()) != 0) ::_exit(126);
            ::setenv("QT_QPA_PLATFORM", "xcb", 1);
            std::string program = VELOQUIN_PROGRAM_PATH;
            std::vector<char*> argv{program.data()};
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
    }
    ~Program() { stop(); }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Finds the window and where its surface starts; false after 20 s (scaled).
    bool find_window() {
        const auto end = Clock::now() + scaled(20s);
        while (Clock::now() < end) {
            std::string id = output_of("xdotool search --onlyvisible --pid " +
                                       std::to_string(pid_) + " --name Tarvex 2>/dev/null");
            if (!id.empty()) {
                window_ = id.substr(0, id.find('\n'));
                const std::string shell = output_of("xdotool getwindowgeometry --shell " + window_);
                auto value = [&](const char* key) {
                    const auto at = shell.find(key);
                    return at == std::string::npos ? -1
                                                   : std::atoi(shell.c_str() + at + strlen(key));
                };
                const int x = value("X=");
                const int y = value("Y=");
                const int h = value("HEIGHT=");
                if (h >= kSurfaceHeight) {
                    origin_ = QPoint(x, y + h - kSurfaceHeight);
                    return true;
                }
            }
            std::this_thread::sleep_for(100ms);
        }
        return false;
    }
    std::string title() const { return output_of("xdotool getwindowname " + window_); }
    // Whether a window of the program besides the main one is on the display
    // (a menu, a dialog): shown, so it has the keyboard.
    bool second_window_shown() const {
        const std::string ids = output_of("xdotool search --onlyvisible --pid " +
                                          std::to_string(pid_) + " 2>/dev/null");
        return std::count(ids.begin(), ids.end(), '\n') > 1;
    }

    // The window surface as the display shows it now, from the root window,
    // which holds every window as the X server composed it.
    QImage surface() const {
        const QImage whole = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
        // VELOQUIN_SCREEN_CAPTURES=DIR keeps the last capture of each program there.
        if (const char* keep = std::getenv("VELOQUIN_SCREEN_CAPTURES")) {
            whole.save(QString::fromStdString(std::string(keep) + "/screen-" +
                                              std::to_string(pid_) + "-" +
                                              std::to_string(captures_++) + ".png"));
        }
        return whole.copy(QRect(origin_, QSize(kSurfaceWidth, kSurfaceHeight)))
            .convertToFormat(QImage::Format_RGB32);
    }
    // The surface once the display has settled; null if it does not within `limit` (scaled).
    QImage settled_surface(std::chrono::milliseconds limit = 10s) const {
        return settled([this] { return surface(); },
                       [](std::chrono::milliseconds d) { std::this_thread::sleep_for(d); }, 50ms,
                       limit);
    }
    // Waits up to `limit` (scaled) for the display to satisfy `shows`; the time it took, or -1.
    long long wait_for(const std::function<bool(const QImage&)>& shows,
                       std::chrono::milliseconds limit = 10s) const {
        const auto start = Clock::now();
        while (Clock::now() - start < scaled(limit)) {
            if (shows(surface())) {
                return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start)
                    .count();
            }
        }
        return -1;
    }

    std::string at(QPoint p) const {
        const QPoint s = p + origin_;
        return "mousemove " + std::to_string(s.x()) + " " + std::to_string(s.y());
    }
    void click(QPoint p, int button = 1) const {
        xdotool(at(p) + " click " + std::to_string(button));
    }
    void drag(QPoint from, QPoint to) const {
        xdotool(at(from) + " mousedown 1 " + at((from + to) / 2) + " " + at(to) + " mouseup 1");
    }
    void key(const std::string& keys) const { xdotool("key --delay 30 " + keys); }

    // SIGTERM, as a desktop ends a program (SIGKILL, as a crash does); its exit status.
    int stop(int signal_number = SIGTERM) {
        if (pid_ <= 0) return -1;
        if (exited_) {
            pid_ = -1;
            return exit_code_;
        }
        ::kill(pid_, signal_number);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // Whether the program ended by itself within `limit` (scaled); stop() then gives its status.
    bool ends_within(std::chrono::milliseconds limit) {
        return wait_until(
            [this] {
                int status = 0;
                if (::waitpid(pid_, &status, WNOHANG) != pid_) return false;
                exited_ = true;
                exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                return true;
            },
            limit, [] { std::this_thread::sleep_for(20ms); });
    }
    bool connected_within(std::chrono::seconds limit) const {
        return wait_until([this] { return title().find("KVX serial#") != std::string::npos; },
                          limit, [] { std::this_thread::sleep_for(100ms); });
    }

  private:
    pid_t pid_ = -1;
    bool exited_ = false;
    int exit_code_ = -1;
    std::string window_;
    QPoint origin_;
    mutable int captures_ = 0;
};

QRect control_rect(const char* key) {
    const ControlInfo& c =
        control_table()[static_cast<std::size_t>(control_index(Page::parameters, key))];
    return QRect(c.rect.x, c.rect.y, c.rect.w, c.rect.h).translated(kPageOrigin);
}

// The rpm the red needle of the first gauge shows on screen; -1 without one.
double rpm_needle(const QImage& s) {
    const Gauge& g = dashboard_gauges()[0];
    const QPoint centre = QPoint(g.x + g.w / 2, g.y + g.h / 2) + kViewerOrigin;
    double sx = 0;
    double sy = 0;
    int n = 0;
    for (int y = centre.y() - g.h / 2; y < centre.y() + g.h / 2; ++y) {
        for (int x = centre.x() - g.w / 2; x < centre.x() + g.w / 2; ++x) {
            const QColor p = s.pixelColor(x, y);
            const int dx = x - centre.x();
            const int dy = y - centre.y();
            if (p.red() > 200 && p.green() < 60 && p.blue() < 60 && dx * dx + dy * dy > 400) {
                sx += dx;
                sy += dy;
                ++n;
            }
        }
    }
    if (n < 10) return -1;
    // Degrees from straight down, clockwise on screen, as the dial counts them.
    double degrees = std::atan2(-sx, sy) * 180.0 / M_PI;
    if (degrees < 0) degrees += 360.0;
    return (degrees - 30.0) / 300.0 * 10000.0;
}

TEST(OnScreen, EditorDashboardAndParametersFollowRealInput) {
    TempDir dir;
    Program p(dir.path(), {"--simulate", "--workdir", dir.path().string()});
    ASSERT_TRUE(p.find_window());
    ASSERT_TRUE(p.connected_within(10s));
    // The title names the device once it has answered; its calibration is
    // still on the way then, and keys pressed while it comes are refused
    // ("Busy with the device"), so a Ctrl+A could be lost and the digits
    // added to the old value.
    std::this_thread::sleep_for(scaled(3s));

    // A typed parameter survives a page round trip on screen.
    const QRect speed = control_rect("SPD_DIV");
    const QImage before_typing = p.surface().copy(speed);
    p.click(speed.center());
    p.key("ctrl+a 1 5 7");
    p.click(nav_button(2));
    p.click(nav_button(1));
    EXPECT_GE(
        p.wait_for([&](const QImage& s) { return !same_pixels(s.copy(speed), before_typing); }), 0);

    // Arrows move the cursor cell, "=" changes the cell's text, a drag selects.
    p.click(nav_button(2));
    ASSERT_GE(p.wait_for([](const QImage& s) { return cursor_at(s, 0, 0); }), 0);
    p.key("Right Right Up");
    const long long moved_ms =
        p.wait_for([](const QImage& s) { return cursor_at(s, 1, 2) && !cursor_at(s, 0, 0); });
    EXPECT_GE(moved_ms, 0) << "the cursor cell did not move on screen";
    std::printf("cursor moved on screen %lld ms after the keys (one capture takes ~100 ms)\n",
                moved_ms);
    const QImage cell_before = p.surface().copy(map_cell(1, 2));
    // Two steps of 5 counts: more than the 0.01 V the cell shows, whatever its value.
    p.key("equal equal");
    EXPECT_GE(p.wait_for([&](const QImage& s) {
        return !same_pixels(s.copy(map_cell(1, 2)), cell_before);
    }),
              0);
    p.drag(map_cell_centre(4, 4), map_cell_centre(6, 7));
    EXPECT_GE(p.wait_for([](const QImage& s) {
        for (int row = 4; row <= 6; ++row) {
            for (int col = 4; col <= 7; ++col) {
                if (!cursor_at(s, row, col)) return false;
            }
        }
        return !cursor_at(s, 1, 2);
    }),
              0);

    // The dashboard's rpm needle follows the simulated engine.
    p.click(nav_button(12));
    ASSERT_GE(p.wait_for([](const QImage& s) { return rpm_needle(s) >= 0; }), 0);
    // The simulated drive idles for six seconds of records, then pulls
    // through the gears. A look can fall between the flushes of the needle's
    // old and new place and find none; such looks are counted, not read.
    double lowest = 1e9;
    double highest = -1e9;
    int readings = 0;
    int between_flushes = 0;
    const auto give_up = Clock::now() + scaled(30s);
    while (highest - lowest < 1000 && Clock::now() < give_up) {
        std::this_thread::sleep_for(50ms);  // the program needs the cores more than the test
        const double rpm = rpm_needle(p.surface());
        if (rpm < 0) {
            ++between_flushes;
            continue;
        }
        ++readings;
        EXPECT_TRUE(rpm > 500 && rpm < 7500) << rpm;
        lowest = std::min(lowest, rpm);
        highest = std::max(highest, rpm);
    }
    EXPECT_GE(highest - lowest, 1000) << "the needle did not follow the engine";
    EXPECT_GT(readings, 4 * between_flushes) << "the needle was missing from the screen";

    EXPECT_EQ(p.stop(), 0);
    Calibration saved;
    ASSERT_TRUE(read_calibration_file(saved, dir / "workmap.cfg", Edition::full));
    EXPECT_EQ(saved.param(hw::SPD_DIV), 157);
}

// The newest recording file in a logs folder; empty when there is none.
std::filesystem::path newest_recording(const std::filesystem::path& logs) {
    std::filesystem::path newest;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(logs, ec)) {
        const std::string name = e.path().filename().string();
        if (name == "default.log" || e.path().extension() != ".log") continue;
        if (newest.empty() || name > newest.filename().string()) newest = e.path();
    }
    return newest;
}

TEST(OnScreen, RecordingFromTheKeyboardAndWhatAKillLeavesOfIt) {
    TempDir dir;
    Program p(dir.path(), {"--simulate", "--workdir", dir.path().string()});
    ASSERT_TRUE(p.find_window());
    ASSERT_TRUE(p.connected_within(10s));

    // F7 on the dashboard: the needles go on moving while the stream is recorded.
    p.click(nav_button(12));
    ASSERT_GE(p.wait_for([](const QImage& s) { return rpm_needle(s) >= 0; }), 0);
    // The needles stand until the calibration has come at connect; a key
    // pressed while it comes is refused, so F7 waits for them to move. The
    // page switch may still be painting: its half-painted frame is no
    // reference (still moving after 2 s is the needles; null then).
    const QRect dials(kViewerOrigin, QSize(800, 440));
    QImage before = p.settled_surface(2s).copy(dials);
    ASSERT_GE(p.wait_for([&](const QImage& s) { return !same_pixels(s.copy(dials), before); }), 0);
    p.key("F7");
    before = p.surface().copy(dials);
    EXPECT_GE(p.wait_for([&](const QImage& s) { return !same_pixels(s.copy(dials), before); }), 0)
        << "the dashboard stood still during the recording";
    // One short press of Enter ends it and shows the log.
    p.key("Return");
    const QRect plot(kViewerOrigin + QPoint(50, 0), QSize(740, 660));
    EXPECT_GE(p.wait_for([&](const QImage& s) {
        return pixels_near(s.copy(plot), QRect(0, 0, 740, 660), Qt::blue, 60) > 100;
    }),
              0)
        << "no recorded log on screen after Enter";

    // A second recording, and the program killed during it: the file holds
    // what came up to the last second and reads as a log.
    const std::filesystem::path first = newest_recording(dir / "logs");
    std::this_thread::sleep_for(1200ms);
    p.key("F7");
    // Two and a half seconds of recording, counted from when it began: on a
    // busy machine the key may take a while to be read.
    ASSERT_TRUE(wait_until([&] { return newest_recording(dir / "logs") != first; }, 10s,
                           [] { std::this_thread::sleep_for(20ms); }))
        << "F7 did not start a second recording";
    std::this_thread::sleep_for(2500ms);
    p.stop(SIGKILL);
    const std::filesystem::path file = newest_recording(dir / "logs");
    LogBuffer left;
    ASSERT_TRUE(log_read_file(left, file).ok);
    // The simulated device streams about 443 records a second.
    EXPECT_GT(left.count, 400) << "more than the last second was lost";
}

// A signal quits at once even with a dialog open.
TEST(OnScreen, SigtermWithTheAboutBoxOpenQuitsAtOnce) {
    TempDir dir;
    Program p(dir.path(), {"--workdir", dir.path().string()});
    ASSERT_TRUE(p.find_window());
    p.click(nav_button(1));  // the keyboard follows the pointer into the window
    p.key("alt+h");
    ASSERT_TRUE(wait_until([&] { return p.second_window_shown(); }, 10s,
                           [] { std::this_thread::sleep_for(50ms); }))
        << "the Help menu did not open";
    p.key("a");
    ASSERT_TRUE(wait_until(
        [] {
            return !output_of("xdotool search --onlyvisible --name '^About$' 2>/dev/null").empty();
        },
        10s, [] { std::this_thread::sleep_for(100ms); }))
        << "the About box did not open";
    const auto asked = Clock::now();
    EXPECT_EQ(p.stop(), 0);
    EXPECT_LT(Clock::now() - asked, scaled(1s));
    EXPECT_TRUE(std::filesystem::exists(dir / "workmap.cfg"));
}

TEST(OnScreen, LogViewerShowsHomeAndAChannelSwitchAtOnceAndScreenshotsMatchTheScreen) {
    const std::string source = std::getenv("VELOQUIN_SOURCE_DIR");
    TempDir dir;
    Program p(dir.path(), {source + "/docs/samples/pull.mdl"});
    ASSERT_TRUE(p.find_window());
    const QRect plot(kViewerOrigin + QPoint(50, 0), QSize(740, 660));
    ASSERT_GE(p.wait_for([&](const QImage& s) {
        return pixels_near(s.copy(plot), QRect(QPoint(), plot.size()), Qt::blue, 60) > 100;
    }),
              0)
        << "no curves on screen";
    // The reference Home must bring back: the whole log as the screen shows
    // it once painting has ended, not the first frame that shows curves.
    const QImage settled_screen = p.settled_surface();
    ASSERT_FALSE(settled_screen.isNull()) << "the log viewer never stopped repainting";
    const QImage whole = settled_screen.copy(plot);
    p.click(plot.center(), 4);
    p.click(plot.center(), 4);
    EXPECT_GE(p.wait_for([&](const QImage& s) { return !same_pixels(s.copy(plot), whole); }), 0)
        << "the wheel did not zoom on screen";
    p.key("Home");
    EXPECT_GE(p.wait_for([&](const QImage& s) { return same_pixels(s.copy(plot), whole); }), 0)
        << "Home did not show the whole log on screen";
    p.click(plot.center(), 3);
    ASSERT_TRUE(wait_until([&] { return p.second_window_shown(); }, 10s,
                           [] { std::this_thread::sleep_for(50ms); }))
        << "no channel menu on screen";
    p.key("Down Return");
    EXPECT_GE(p.wait_for([&](const QImage& s) { return !same_pixels(s.copy(plot), whole); }), 0)
        << "the channel switched from the menu did not show";

    EXPECT_EQ(p.stop(), 0);

    // The screenshots are the screen's pixels: the same page, taken both ways.
    TempDir shots_dir;
    TempDir fresh;
    Program shooter(fresh.path(), {"--screenshots", shots_dir.path().string()});
    EXPECT_TRUE(shooter.ends_within(30s)) << "--screenshots did not end by itself";
    EXPECT_EQ(shooter.stop(), 0);
    ASSERT_TRUE(std::filesystem::exists(shots_dir / "12-dash-board.png"));
    TempDir fresh_too;
    Program plain(fresh_too.path(), {});
    ASSERT_TRUE(plain.find_window());
    plain.click(nav_button(2));
    const QRect page(kPageOrigin, QSize(804, 691));
    const QImage shot =
        QImage(QString::fromStdString((shots_dir / "02-maf-emulation.png").string()))
            .convertToFormat(QImage::Format_RGB32)
            .copy(page);
    EXPECT_GE(plain.wait_for([&](const QImage& s) { return same_pixels(s.copy(page), shot); }), 0)
        << "--screenshots differs from the screen";
}

}  // namespace
}  // namespace veloquin::testing

// The test's own connection to the display, for reading the screen back.
int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
