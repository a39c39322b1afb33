#pragma once
// How the Application keeps its entry points from running inside each other:
// shared by the files its behaviour is spread over.

#include "app/application.h"

namespace veloquin {

// Marks a command or tick as running; a tick or command arriving meanwhile
// (from a wait's nested event loop, a dialog's loop, a message box) is dropped.
class Application::BusyScope {
  public:
    explicit BusyScope(Application& app) : app_(app) { ++app_.busy_; }
    ~BusyScope() { --app_.busy_; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

  private:
    Application& app_;
};

// While a command waits for the tuner in a dialog at a point where nothing of
// it is half done, the poll and the one-second read-back may run: the line
// is not in use, and the command goes on only once the dialog is closed.
class Application::UserWaitScope {
  public:
    explicit UserWaitScope(Application& app) : app_(app), held_(app.busy_) {
        app_.busy_ = 0;
        ++app_.waiting_for_user_;
    }
    ~UserWaitScope() {
        app_.busy_ = held_;
        --app_.waiting_for_user_;
    }
    UserWaitScope(const UserWaitScope&) = delete;
    UserWaitScope& operator=(const UserWaitScope&) = delete;

  private:
    Application& app_;
    int held_;
};

}  // namespace veloquin
