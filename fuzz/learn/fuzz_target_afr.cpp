// Arbitrary bytes as a target AFR file: the reader must never overrun, and a
// table it takes must come back unchanged from its own text.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "learn/target_afr.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto table = veloquin::parse_target_afr(text, error);
    if (!table) return 0;
    const auto again = veloquin::parse_target_afr(veloquin::target_afr_text(*table), error);
    if (!again || !(*again == *table)) std::abort();
    return 0;
}
