#pragma once
// SIGTERM, SIGINT and SIGHUP end the program the normal way, so that
// "workmap.cfg" is written: the handler only writes a byte into a pipe, and
// the event loop turns it into a call of `on_signal`.

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace veloquin::gui {

// Installs the handlers; call as early as possible, before the window exists.
// Returns false when the pipe could not be made (the signals then keep their
// default action).
bool install_quit_signal_handlers();

class QuitSignals : public QObject {
    Q_OBJECT
  public:
    explicit QuitSignals(std::function<void(int)> on_signal);

  private:
    std::function<void(int)> on_signal_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace veloquin::gui
