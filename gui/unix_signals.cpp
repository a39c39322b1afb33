#include "gui/unix_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <csignal>

namespace veloquin::gui {
namespace {

int g_pipe[2] = {-1, -1};

extern "C" void note_signal(int number) {
    // Only async-signal-safe work here; a second signal while the first is
    // handled just adds a byte, and the file write is never interrupted.
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

bool install_quit_signal_handlers() {
    if (g_pipe[0] >= 0) return true;
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction action {};
    action.sa_handler = note_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(s, &action, nullptr);
    return true;
}

QuitSignals::QuitSignals(std::function<void(int)> on_signal) : on_signal_(std::move(on_signal)) {
    if (g_pipe[0] < 0) return;
    notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        unsigned char byte = 0;
        while (::read(g_pipe[0], &byte, 1) == 1)
            on_signal_(byte);
    });
}

}  // namespace veloquin::gui
