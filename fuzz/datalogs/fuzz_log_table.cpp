// Arbitrary bytes as a CSV or tab-separated log: the reader must never
// overrun; a refused table leaves the log as it was, any other leaves a finite
// log that travels as a CSV and comes back with the same samples.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "datalogs/log_exchange.h"
#include "datalogs/log_import.h"
#include "fuzz/datalogs/log_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static veloquin::LogBuffer log;
    static veloquin::LogBuffer scratch;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::uint64_t revision_before = log.revision;
    const int count_before = log.count;
    if (!veloquin::read_log_table_text(log, text).ok) {
        if (log.revision != revision_before || log.count != count_before) std::abort();
        return 0;
    }
    if (log.count <= 0) std::abort();
    for (const veloquin::LogMarker& m : log.markers) {
        if (m.sample < 0 || m.sample >= log.count) std::abort();
    }
    veloquin::fuzz::check_loaded_log(log, scratch);
    const veloquin::LogTableResult again =
        veloquin::read_log_table_text(scratch, veloquin::format_log_csv(log));
    if (!again.ok || scratch.count != log.count) std::abort();
    return 0;
}
