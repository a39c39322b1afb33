#pragma once
// One application-wide event filter for every key pressed in the main
// window: it turns the Qt key into the core's KeyPress and lets the
// Application route it (accelerator table by page and focus, in-place edit).

#include <QObject>

#include "app/key_routing.h"

class QKeyEvent;

namespace veloquin::gui {

class MainWindow;

KeyPress key_press_from(const QKeyEvent& event);

class KeyFilter : public QObject {
    Q_OBJECT
  public:
    explicit KeyFilter(MainWindow& window) : window_(window) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    MainWindow& window_;
};

}  // namespace veloquin::gui
