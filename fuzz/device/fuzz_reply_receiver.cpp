// Arbitrary line traffic into the reply receiver: the first byte picks the
// reply size, each following byte is a byte read (0xFE followed by anything
// stands for an empty read, so silence can be fuzzed too).
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "device/device_link.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    static constexpr std::size_t kSizes[] = {1, 2, 12, 24, 364, 856, 960, 1100};
    const std::size_t n = kSizes[data[0] % std::size(kSizes)];
    std::array<std::uint8_t, 1000> store{};
    veloquin::ReplyReceiver receiver(store, n);
    for (std::size_t i = 1; i < size; ++i) {
        int byte = data[i];
        if (byte == 0xFE && i + 1 < size) {
            byte = -1;
            ++i;
        }
        const auto step = receiver.feed(byte);
        if (receiver.stored() > n + 1 || receiver.stored() > store.size()) std::abort();
        if (step == veloquin::ReplyReceiver::Step::complete && receiver.stored() != n + 1)
            std::abort();
        if (step != veloquin::ReplyReceiver::Step::needs_more) break;
    }
    return 0;
}
