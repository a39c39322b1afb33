// Arbitrary bytes as a log file: the reader must never overrun and must leave
// a finite log that survives a write and a second read.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "datalogs/log_file.h"
#include "fuzz/datalogs/log_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Two 4.5 MB buffers per input would dominate the run time; the reader
    // resets every slot it fills, so reuse is safe.
    static veloquin::LogBuffer log;
    static veloquin::LogBuffer scratch;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    veloquin::read_log_text(log, text);
    if (log.mazda_log) std::abort();
    veloquin::fuzz::check_loaded_log(log, scratch);
    return 0;
}
