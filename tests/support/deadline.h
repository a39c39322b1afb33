#pragma once
// How long a test waits for what it needs. A wait ends the moment its
// condition holds, so its deadline costs nothing when things go right; it
// only bounds the wait for something that is not coming, and is therefore
// generous: seconds, stretched by VELOQUIN_TIME_SCALE on slow builds (the
// sanitize preset sets it) and busy machines.

#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

namespace veloquin::testing {

using namespace std::chrono_literals;

// The factor the program stretches its device waits by, too (a whole number).
inline int time_scale() {
    const char* text = std::getenv("VELOQUIN_TIME_SCALE");
    const int n = text == nullptr ? 1 : std::atoi(text);
    return n < 1 ? 1 : n;
}

inline std::chrono::milliseconds scaled(std::chrono::milliseconds d) {
    return d * time_scale();
}

// Polls `condition` until it holds or `limit` (scaled) has passed; `pause`
// runs between looks (a sleep here, the event loop in widget tests).
inline bool wait_until(const std::function<bool()>& condition,
                       std::chrono::milliseconds limit = 10s,
                       const std::function<void()>& pause = {}) {
    const auto end = std::chrono::steady_clock::now() + scaled(limit);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        if (pause) {
            pause();
        } else {
            std::this_thread::sleep_for(1ms);
        }
    }
    return true;
}

}  // namespace veloquin::testing
