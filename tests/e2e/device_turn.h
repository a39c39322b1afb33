#pragma once
// The program's line to a simulated device, on which a read comes back empty
// only once the device has had its turn: it has taken in every byte sent to
// it, and all it wrote has reached the line. A real unit answers within a
// byte's time; the simulated one answers when the scheduler runs its thread,
// which on a busy machine or in an instrumented build can be later than the
// protocol's reply wait. A device that took the request and kept quiet still
// reads as silent, after the program's own wait.

#include <memory>

#include "base/platform.h"
#include "devsim/simulator.h"
#include "tests/support/deadline.h"

namespace veloquin::testing {

class DeviceTurnLine : public SerialLine {
  public:
    DeviceTurnLine(std::unique_ptr<SerialLine> line, const devsim::Simulator& device)
        : line_(std::move(line)), device_(device), received_(device.bytes_sent()) {}

    std::size_t write(const std::uint8_t* data, std::size_t size) override {
        const std::size_t n = line_->write(data, size);
        sent_ += n;
        return n;
    }
    int read_byte() override {
        if (line_->available() == 0) wait_until([this] { return had_its_turn(); });
        const int b = line_->read_byte();
        if (b >= 0) ++received_;
        return b;
    }
    void purge_input() override {
        line_->purge_input();
        received_ = device_.bytes_sent();
    }
    std::size_t available() override { return line_->available(); }

  private:
    bool had_its_turn() {
        if (!device_.serving()) return true;
        return device_.bytes_taken() >= device_taken_at_open_ + sent_ &&
               received_ + line_->available() >= device_.bytes_sent();
    }

    std::unique_ptr<SerialLine> line_;
    const devsim::Simulator& device_;
    std::uint64_t device_taken_at_open_ = device_.bytes_taken();
    std::uint64_t sent_ = 0;
    std::uint64_t received_;
};

// `opened`, when it opened, read through the device's turns.
inline SerialOpenResult taking_turns(SerialOpenResult opened, const devsim::Simulator& device) {
    if (opened.line) opened.line = std::make_unique<DeviceTurnLine>(std::move(opened.line), device);
    return opened;
}

}  // namespace veloquin::testing
