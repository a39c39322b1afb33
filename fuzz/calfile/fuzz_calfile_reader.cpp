// Arbitrary bytes as a calibration file: the reader must never overrun, and
// whatever it makes of them must survive a write and a second read unchanged.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "calfile/calibration_file.h"
#include "calibration/calibration.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const veloquin::Edition edition : {veloquin::Edition::full, veloquin::Edition::lite}) {
        veloquin::Calibration cal;
        veloquin::set_start_values(cal);
        veloquin::read_calibration_text(cal, text, edition);
        const std::string written = veloquin::write_calibration_text(cal, edition);
        veloquin::Calibration again;
        veloquin::set_start_values(again);
        veloquin::read_calibration_text(again, written, edition);
        if (veloquin::write_calibration_text(again, edition) != written) std::abort();
    }
    return 0;
}
