#pragma once
// Simulated devices on real pseudo-terminals, reached through the program's
// own serial, link, transfer and connection code, with a fake platform whose
// clock only moves when the logic waits.

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "calibration/calibration.h"
#include "device/connection.h"
#include "device/device_link.h"
#include "device/serial_posix.h"
#include "devsim/simulator.h"
#include "tests/e2e/device_turn.h"
#include "tests/support/deadline.h"
#include "tests/support/fake_platform.h"

namespace veloquin::testing {

class LinkRig {
  public:
    FakePlatform platform;
    DeviceLink link;
    Calibration cal;
    std::map<int, std::string> paths;  // port number -> device path

    LinkRig() {
        platform.opener = [this](int port, TimeoutSet timeouts) -> SerialOpenResult {
            const auto it = paths.find(port);
            if (it == paths.end()) return {nullptr, "no such device"};
            const auto device = devices_.find(port);
            SerialOpenResult opened = open_posix_serial(it->second, timeouts);
            return device == devices_.end() ? std::move(opened)
                                            : taking_turns(std::move(opened), *device->second);
        };
        set_start_values(cal);
    }
    ~LinkRig() {
        close_port(link);
        for (auto& s : sims_)
            s->stop();
    }
    LinkRig(const LinkRig&) = delete;
    LinkRig& operator=(const LinkRig&) = delete;

    // Starts a simulated device and makes it a found port.
    devsim::Simulator& add_device(int port, devsim::SimulatorOptions options = {}) {
        sims_.push_back(std::make_unique<devsim::Simulator>(std::move(options)));
        std::string error;
        if (!sims_.back()->start(&error)) throw std::runtime_error("simulator: " + error);
        paths[port] = sims_.back()->slave_path();
        devices_[port] = sims_.back().get();
        add_found_port(port);
        return *sims_.back();
    }
    // A port that opens nothing (no device node).
    void add_found_port(int port) {
        std::vector<int> ports(link.found_ports.begin(),
                               link.found_ports.begin() + link.found_count);
        ports.push_back(port);
        std::sort(ports.begin(), ports.end());
        link.found_count = static_cast<int>(ports.size());
        std::copy(ports.begin(), ports.end(), link.found_ports.begin());
        start_search_at_first_found_port(link);
    }

    // A tick of the 20 ms timer.
    void tick(const PollHooks& hooks = {}) {
        platform.clock_ms += 20;
        poll_tick(link, cal, platform, Edition::full, hooks);
    }
    // Ticks until the poll connects or the first pass ends; true when connected.
    bool connect(int max_ticks = 100) {
        for (int i = 0; i < max_ticks && !link.connected && !link.search.quiet; ++i)
            tick();
        return link.connected;
    }
    void ticks(int n) {
        for (int i = 0; i < n; ++i)
            tick();
    }
    // Ticks until the poll has begun an upload of what changed and sent all of it.
    void upload_round() {
        ticks(kUploadEveryTicks + 1);
        for (int i = 0; i < 1000 && link.upload.active(); ++i)
            tick();
    }

  private:
    std::vector<std::unique_ptr<devsim::Simulator>> sims_;
    std::map<int, const devsim::Simulator*> devices_;
};

}  // namespace veloquin::testing
