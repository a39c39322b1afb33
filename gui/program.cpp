#include "gui/program.h"

#include <pwd.h>
#include <unistd.h>

#include <QApplication>
#include <QSessionManager>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string_view>

#include "app/cli.h"
#include "app/commands.h"
#include "app/startup.h"
#include "devsim/simulator.h"
#include "gui/main_window.h"
#include "gui/screenshots.h"
#include "gui/unix_signals.h"

namespace veloquin::gui {
namespace {

constexpr int kScreenshotRecords = 5900;

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v == nullptr ? std::string() : std::string(v);
}

std::string home_folder() {
    std::string home = env("HOME");
    if (home.empty()) {
        const passwd* pw = ::getpwuid(::getuid());
        if (pw != nullptr && pw->pw_dir != nullptr) home = pw->pw_dir;
    }
    return home;
}

// Where this program keeps its files, from what the system says about it.
FileLocations file_locations(const char* argv0, const std::string& workdir) {
    FolderEnvironment e;
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    e.program_path = error ? std::string(argv0) : self.string();
    const std::string folder = split_path(e.program_path).folder;
    e.program_folder_writable = ::access(folder.empty() ? "." : folder.c_str(), W_OK) == 0;
    e.xdg_data_home = env("XDG_DATA_HOME");
    e.home = home_folder();
    e.current_directory = std::filesystem::current_path(error).string();
    e.workdir = workdir;
    return locate_files(e);
}

bool write_workmap(Application& app) {
    std::string error;
    if (app.write_workmap(&error)) return true;
    std::fprintf(stderr, "veloquin: workmap.cfg not written: %s\n", error.c_str());
    return false;
}

// Qt aborts without a display, with a hint that does not help; whether one
// is there is known before the application is made. A platform chosen by
// name (offscreen, wayland, vnc) needs no X display.
bool no_display(int argc, char** argv) {
    std::string platform = env("QT_QPA_PLATFORM");
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string_view(argv[i]) == "-platform") platform = argv[i + 1];
    }
    if (!platform.empty() && platform.rfind("xcb", 0) != 0) return false;
    return env("DISPLAY").empty() && (!platform.empty() || env("WAYLAND_DISPLAY").empty());
}

std::unique_ptr<devsim::Simulator> start_simulator(bool for_screenshots) {
    devsim::SimulatorOptions options;
    // The screenshots record a log without anyone to press Enter: the
    // stream ends by itself once it has covered the idle and the pull.
    if (for_screenshots) options.stream_limit = kScreenshotRecords;
    // And something for the alarms to catch, so the log shows its markers.
    if (for_screenshots) {
        std::string error;
        for (const char* event : {"knock@4s:300ms", "overboost@9s:1s"}) {
            options.events.push_back(*devsim::parse_engine_event(event, error));
        }
    }
    auto sim = std::make_unique<devsim::Simulator>(options);
    std::string error;
    if (!sim->start(&error)) {
        std::fprintf(stderr, "veloquin: the simulated device did not start: %s\n", error.c_str());
        return nullptr;
    }
    return sim;
}

}  // namespace

void choose_event_loop() {
    if (qEnvironmentVariableIsEmpty("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
}

void apply_program_look() {
    // Numbers are typed, shown and written with a decimal point whatever the
    // desktop's language: the files and the device's tools know no other.
    std::setlocale(LC_NUMERIC, "C");
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);
    QApplication::setFont(font);
}

int run_program(int argc, char** argv, Edition edition) {
    install_quit_signal_handlers();
    const char* name = edition == Edition::lite ? "veloquin-lite" : "veloquin";
    const ProgramOptions options =
        parse_program_options(std::vector<std::string>(argv + 1, argv + argc));
    if (!options.error.empty()) {
        std::fprintf(stderr, "%s: %s\n%s", name, options.error.c_str(),
                     program_usage(name).c_str());
        return 2;
    }
    const FileLocations files = file_locations(argv[0], options.workdir);
    if (options.help) {
        std::printf("%s\n%s", program_usage(name).c_str(), describe_file_locations(files).c_str());
        return 0;
    }
    if (options.version) {
        std::printf("%s %s\n", name, VELOQUIN_VERSION);
        return 0;
    }

    if (std::string error; !options.workdir.empty() && !make_start_folder(files, error)) {
        std::fprintf(stderr, "%s: --workdir %s\n", name, error.c_str());
        return 2;
    }

    if (no_display(argc, argv)) {
        std::fprintf(stderr,
                     "%s: no display was found (DISPLAY is not set). To run without one, take "
                     "the screenshots with the offscreen platform:\n  QT_QPA_PLATFORM=offscreen "
                     "%s --screenshots DIR\n",
                     name, name);
        return 1;
    }

    choose_event_loop();
    QApplication qapp(argc, argv);
    apply_program_look();
    QApplication::setApplicationName(QString::fromUtf8(name));

    std::unique_ptr<devsim::Simulator> sim;
    PortTable ports;
    if (options.simulate) {
        sim = start_simulator(!options.screenshots_dir.empty());
        if (sim) ports.add_explicit(sim->slave_path());
    }
    for (const std::string& p : options.ports)
        ports.add_explicit(p);
    ports.discover();

    MainWindow window(edition, ports);
    window.app().start(files);
    // The simulated device holds what the program holds, as a real one the
    // tuner works with would: its download replaces nothing.
    if (sim) sim->set_store(devsim::encode_for_device(window.app().state().cal));
    window.app().set_recording_sample_limit(options.record_limit);
    window.create();
    window.set_unattended(!options.screenshots_dir.empty());
    window.resize(window.sizeHint());
    // Before anything that may show a message box: a quit signal must end
    // that box too.
    QuitSignals quit_signals([&window](int) { window.quit_now(); });
    window.show();
    if (!options.file.empty()) {
        if (names_a_log(options.file)) {
            window.app().load_log(options.file);
        } else {
            window.app().open_calibration(options.file);
        }
    }
    if (!options.compare.empty()) {
        window.run_guarded([&] { window.app().compare_with(options.compare); });
    }
    if (options.learn) window.run_guarded([&] { window.app().command(cmd::learn_from_log); });
    if (options.log_bench) {
        window.run_guarded([&] {
            Application& app = window.app();
            app.command(cmd::log_histogram);
            app.open_scatter();
            if (app.compare_with_log(options.file)) app.move_comparison(850);
        });
    }

    QObject::connect(&qapp, &QGuiApplication::commitDataRequest, &qapp,
                     [&window](QSessionManager&) { write_workmap(window.app()); });

    std::unique_ptr<Screenshots> screenshots;
    if (!options.screenshots_dir.empty()) {
        screenshots = std::make_unique<Screenshots>(
            window, QString::fromStdString(options.screenshots_dir), sim != nullptr,
            sim != nullptr && !names_a_log(options.file));
        screenshots->start();
    }

    // A quit signal during a start message box has ended every loop there is.
    int code = window.quitting() ? 0 : QApplication::exec();
    // A quit that came while the device was being read ends the recording here.
    window.app().stop_recording(RecordingEnd::closing);
    const bool written = write_workmap(window.app());
    // Nobody reads the screen of an unattended run: its exit code tells.
    if (screenshots && (screenshots->failed() || !written) && code == 0) code = 1;
    if (sim) sim->stop();
    return code;
}

}  // namespace veloquin::gui
