// A full log (60,000 samples) written and loaded: both must stay well under
// 100 ms so that saving and loading feel instant.

#include <benchmark/benchmark.h>

#include <unistd.h>
#include <filesystem>
#include <string>

#include "datalogs/log_file.h"
#include "datalogs/log_sample.h"

namespace {

using veloquin::LogBuffer;
using veloquin::LogSample;

void fill_full_log(LogBuffer& log) {
    log.count = veloquin::LOG_CAPACITY;
    for (int i = 0; i < log.count; ++i) {
        LogSample& s = log.samples[static_cast<std::size_t>(i)];
        s.rpm = 800 + (i * 7) % 6200;
        s.speed = (i / 30) % 200;
        s.boost = -0.7F + 0.0001F * static_cast<float>(i % 19000);
        s.throttle = static_cast<float>(i % 1000) * 0.1F;
        s.maf_in = static_cast<float>(i % 4096) * 0.00122F;
        s.maf_out = static_cast<float>((i * 3) % 4096) * 0.00122F;
        s.fuel_corr = static_cast<float>(i % 200 - 100);
        s.temperature = 20 + i % 40;
        s.afr = 11.0F + static_cast<float>(i % 70) * 0.1F;
        s.inj_duty = static_cast<float>(i % 950) * 0.1F;
        s.knock = static_cast<float>(i % 500) * 0.01F;
        s.ecu_load = -1;
        s.ecu_ignition = -1.0F;
        s.wg_duty = static_cast<float>(i % 80);
    }
}

std::filesystem::path bench_file() {
    return std::filesystem::temp_directory_path() /
           ("veloquin_bench_" + std::to_string(::getpid()) + ".log");
}

void BM_WriteFullLog(benchmark::State& state) {
    LogBuffer log;
    fill_full_log(log);
    const auto path = bench_file();
    for (auto _ : state) {
        const auto result = veloquin::log_write_file(log, path);
        if (!result.ok) state.SkipWithError(result.message.c_str());
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_WriteFullLog)->Unit(benchmark::kMillisecond);

void BM_LoadFullLog(benchmark::State& state) {
    LogBuffer log;
    fill_full_log(log);
    const auto path = bench_file();
    veloquin::log_write_file(log, path);
    LogBuffer loaded;
    for (auto _ : state) {
        const auto result = veloquin::log_read_file(loaded, path);
        if (!result.ok) state.SkipWithError(result.message.c_str());
        benchmark::DoNotOptimize(loaded.count);
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_LoadFullLog)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
