// How long the program's link takes against the simulated device over a
// pseudo-terminal, beside the floor a real line sets: the bytes on the wire at
// 115200 baud (10 bits per byte) plus the waits the protocol mandates. A
// pseudo-terminal has no baud rate, so the measured time can undercut the
// wire part of the floor; the waits it cannot.

#include <benchmark/benchmark.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "device/connection.h"
#include "device/serial_posix.h"
#include "device/transfer.h"
#include "devsim/simulator.h"
#include "tool/headless_platform.h"

namespace veloquin {
namespace {

// A real clock and real sleeps, and one port: the simulator.
struct BenchPlatform {
    explicit BenchPlatform(const std::string& path) { ports.add_explicit(path); }
    PortTable ports;
    HeadlessPlatform platform{ports};
};

constexpr double kMsPerByte = 10.0 * 1000.0 / 115200.0;

double wire_ms(int bytes) {
    return bytes * kMsPerByte;
}

int reply_bytes(int payload) {
    return 2 + payload + 1;
}

// Identification and the six downloads, with the 100 ms waits after the
// header, the e-map and the sensors block.
double connect_floor_ms() {
    int bytes = 5 + reply_bytes(kIdentificationSize);
    for (Block b : kBlockOrder)
        bytes += 5 + reply_bytes(block_bytes(b));
    return wire_ms(bytes) + 3 * 100.0;
}

void start_or_throw(devsim::Simulator& sim) {
    std::string error;
    if (!sim.start(&error)) throw std::runtime_error(error);
}

void BM_ConnectToDownloaded(benchmark::State& state) {
    devsim::Simulator sim({});
    start_or_throw(sim);
    BenchPlatform bench(sim.slave_path());
    Platform& platform = bench.platform;
    for (auto _ : state) {
        DeviceLink link;
        link.found_ports[0] = 1;
        link.found_count = 1;
        Calibration cal;
        connection_attempt(link, cal, platform, Edition::full);
        if (!link.connected) state.SkipWithError("the simulated device did not connect");
        benchmark::DoNotOptimize(cal);
    }
    state.counters["floor_ms"] = connect_floor_ms();
    state.counters["wire_ms"] = connect_floor_ms() - 300.0;
}
BENCHMARK(BM_ConnectToDownloaded)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

void BM_LivePollRoundTrip(benchmark::State& state) {
    devsim::Simulator sim({});
    start_or_throw(sim);
    BenchPlatform bench(sim.slave_path());
    Platform& platform = bench.platform;
    DeviceLink link;
    link.port_number = 1;
    if (!open_port(link, platform)) {
        state.SkipWithError("cannot open the simulated device");
        return;
    }
    for (auto _ : state) {
        if (!send_command(link, cmd::live_data, 0) ||
            !receive_reply(link, static_cast<std::size_t>(LiveRecord::kSize))) {
            state.SkipWithError("live request not answered");
            break;
        }
        benchmark::DoNotOptimize(link.frame);
    }
    state.counters["floor_ms"] = wire_ms(5 + reply_bytes(LiveRecord::kSize));
}
BENCHMARK(BM_LivePollRoundTrip)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace veloquin

BENCHMARK_MAIN();
