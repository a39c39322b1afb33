// Arbitrary bytes taken as each downloaded block onto a calibration, then the
// calibration encoded for upload again: nothing may read or write outside the
// blocks whatever the device sends.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "calibration/calibration.h"
#include "device/transfer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace veloquin;
    if (size < 1) return 0;
    const Edition edition = (data[0] & 1) != 0 ? Edition::lite : Edition::full;
    Calibration cal;
    set_start_values(cal);
    std::size_t pos = 1;
    for (const Block b : kBlockOrder) {
        const auto n = static_cast<std::size_t>(block_bytes(b));
        std::vector<std::uint8_t> payload(n, 0);
        const std::size_t take = std::min(n, size - pos);
        std::copy_n(data + pos, take, payload.begin());
        pos += take;
        if (!is_unprogrammed(payload) && !apply_downloaded_block(cal, b, payload, edition)) {
            std::abort();
        }
        if (encode_block(cal, b).size() != n) std::abort();
    }
    update_sums(cal);
    return 0;
}
