#include "tool/headless_platform.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace veloquin {

LocalTime system_local_time() {
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

LocalTime HeadlessPlatform::local_time() {
    return system_local_time();
}

std::uint32_t HeadlessPlatform::now_ms() {
    const auto t = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(t).count());
}

void HeadlessPlatform::sleep_ms(std::uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

SerialOpenResult HeadlessPlatform::open_serial(int port_number, TimeoutSet timeouts) {
    SerialOpenResult r = ports_.open(port_number, timeouts);
    last_open_error = r.error;
    return r;
}

}  // namespace veloquin
