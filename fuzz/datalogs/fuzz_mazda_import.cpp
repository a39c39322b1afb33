// Arbitrary bytes as a Mazda data log: the import must never overrun; a text
// it refuses (mostly lines without numbers) leaves the log as it was, any
// other leaves a finite log with one sample per six words.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "datalogs/log_words.h"
#include "datalogs/mazda_import.h"
#include "fuzz/datalogs/log_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static veloquin::LogBuffer log;
    static veloquin::LogBuffer scratch;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::uint64_t revision_before = log.revision;
    const int count_before = log.count;
    if (!veloquin::read_mazda_text(log, text).ok) {
        if (log.revision != revision_before || log.count != count_before) std::abort();
        return 0;
    }
    if (!log.mazda_log) std::abort();

    int words = 0;
    veloquin::LogWordReader reader(text);
    std::string_view word;
    while (reader.next(word)) {
        if (word.size() > veloquin::kMaxLogWordLength) std::abort();
        ++words;
    }
    if (log.count != (words + 5) / 6) std::abort();
    veloquin::fuzz::check_loaded_log(log, scratch);
    return 0;
}
