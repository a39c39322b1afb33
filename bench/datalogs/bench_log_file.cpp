// A full log (60,000 samples) saved and loaded: a load must stay under 20 ms
// and a save under 30 ms plus the fsync, so both feel instant. Each step is
// measured on its own as well, so a regression shows where it lies.

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#include <cstdio>

#include <filesystem>
#include <string>

#include "datalogs/log_file.h"
#include "datalogs/log_sample.h"

namespace {

using veloquin::LogBuffer;
using veloquin::LogSample;

void fill_full_log(LogBuffer& log, int count = 60000) {
    log.count = count;
    log.make_room(count);
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

void set_file_bytes(benchmark::State& state, std::size_t bytes) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(bytes));
}

// The whole save as the program does it: format, write, fsync, rename.
void BM_WriteFullLog(benchmark::State& state) {
    LogBuffer log;
    fill_full_log(log);
    const auto path = bench_file();
    for (auto _ : state) {
        const auto result = veloquin::log_write_file(log, path);
        if (!result.ok) state.SkipWithError(result.message.c_str());
    }
    set_file_bytes(state, veloquin::format_log_file(log).size());
    std::filesystem::remove(path);
}
BENCHMARK(BM_WriteFullLog)->Unit(benchmark::kMillisecond);

// The same save without the fsync, whose cost is the disk's and not ours:
// format, write to a new file, rename over the old one.
void BM_WriteFullLogWithoutFsync(benchmark::State& state) {
    LogBuffer log;
    fill_full_log(log);
    const auto path = bench_file();
    const auto temp = path.string() + ".new";
    for (auto _ : state) {
        const std::string text = veloquin::format_log_file(log);
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::size_t done = 0;
        while (fd >= 0 && done < text.size()) {
            const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        if (fd < 0 || done != text.size() || ::close(fd) != 0 ||
            std::rename(temp.c_str(), path.c_str()) != 0) {
            state.SkipWithError("cannot write the benchmark file");
        }
    }
    set_file_bytes(state, veloquin::format_log_file(log).size());
    std::filesystem::remove(path);
}
BENCHMARK(BM_WriteFullLogWithoutFsync)->Unit(benchmark::kMillisecond);

void BM_FormatFullLog(benchmark::State& state) {
    LogBuffer log;
    fill_full_log(log);
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string text = veloquin::format_log_file(log);
        bytes = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    set_file_bytes(state, bytes);
}
BENCHMARK(BM_FormatFullLog)->Unit(benchmark::kMillisecond);

// The whole load as the program does it, of range(0) samples (60,000, and
// an hour at the stream rate); the process's peak memory goes with it.
void BM_LoadFullLog(benchmark::State& state) {
    LogBuffer log;
    fill_full_log(log, static_cast<int>(state.range(0)));
    const auto path = bench_file();
    veloquin::log_write_file(log, path);
    LogBuffer loaded;
    for (auto _ : state) {
        const auto result = veloquin::log_read_file(loaded, path);
        if (!result.ok || loaded.count != log.count) state.SkipWithError("the log did not load");
        benchmark::DoNotOptimize(loaded.count);
    }
    set_file_bytes(state, std::filesystem::file_size(path));
    std::filesystem::remove(path);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_LoadFullLog)->Arg(60000)->Arg(1500000)->Unit(benchmark::kMillisecond);

void BM_ReadFullLogBytes(benchmark::State& state) {
    LogBuffer log;
    fill_full_log(log);
    const auto path = bench_file();
    veloquin::log_write_file(log, path);
    std::string bytes;
    std::string error;
    for (auto _ : state) {
        if (!veloquin::read_log_bytes(path, bytes, error)) state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(bytes.data());
    }
    set_file_bytes(state, bytes.size());
    std::filesystem::remove(path);
}
BENCHMARK(BM_ReadFullLogBytes)->Unit(benchmark::kMillisecond);

// Parsing and smoothing alone, from text already in memory.
void BM_ReadFullLogText(benchmark::State& state) {
    LogBuffer log;
    fill_full_log(log);
    const std::string text = veloquin::format_log_file(log);
    LogBuffer loaded;
    for (auto _ : state) {
        veloquin::read_log_text(loaded, text);
        benchmark::DoNotOptimize(loaded.count);
    }
    set_file_bytes(state, text.size());
}
BENCHMARK(BM_ReadFullLogText)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
