// Whatever a device sends during a recording or a firmware update: the first
// byte chooses recording, pass-mode recording or the update; the rest is what
// arrives on the line, with 0xFE followed by n standing for (n & 31) silent reads.

#include <cstddef>
#include <cstdint>
#include <deque>

#include "base/platform.h"
#include "calibration/calibration.h"
#include "datalogs/log_sample.h"
#include "device/device_link.h"
#include "device/firmware.h"
#include "device/recording.h"
#include "tests/support/fake_platform.h"

using namespace veloquin;
using veloquin::testing::FakePlatform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    FakePlatform platform;
    std::deque<int>& input = platform.ports[1].input;
    // Silent reads drive the miss counter and the block retries.
    for (std::size_t i = 1; i < size; ++i) {
        if (data[i] == 0xFE && i + 1 < size) {
            const int silent_reads = data[++i] & 0x1F;
            for (int n = 0; n < silent_reads; ++n)
                input.push_back(-1);
        } else {
            input.push_back(data[i]);
        }
    }
    DeviceLink link;
    static Calibration cal = [] {
        Calibration c;
        set_start_values(c);
        return c;
    }();
    if (data[0] % 3 == 2) {
        FirmwareImage image;
        image.bytes.assign(64 + 3 * 1024, 0x5A);
        link.timeouts = TimeoutSet::firmware;
        update_firmware(link, platform, image);
        return 0;
    }
    static LogBuffer log;
    open_port(link, platform);
    // A folder that does not exist: the write fails at once instead of
    // syncing a file to disk on every input.
    RecordingContext ctx{.platform = platform,
                         .link = link,
                         .calibration = cal,
                         .log = log,
                         .logs_folder = "/nonexistent/veloquin-fuzz"};
    record(ctx, data[0] % 3 == 1);
    return 0;
}
