#include "datalogs/live_sample.h"

#include "calibration/conversions.h"

namespace veloquin {

float live_throttle_percent(const Calibration& cal, int counts) {
    const int lo = cal.param(hw::THROTTLE_LO);
    const int span = cal.param(hw::THROTTLE_HI) - lo;
    // An uncalibrated throttle would divide by zero and put infinities into
    // the log, which the viewer cannot scale.
    if (span == 0) return 0.0F;
    return static_cast<float>(static_cast<double>(counts - lo) * 100.0 / span);
}

void fill_sample_from_live(LogSample& sample, const LiveRecord& record, const Calibration& cal,
                           std::uint32_t time_ms) {
    sample.time_ms = time_ms;
    sample.rpm = record.rpm();
    sample.boost = static_cast<float>(counts_to_bar(cal, record.map_counts()));
    sample.maf_in = counts_to_volts(record.maf_in_counts());
    sample.maf_out = counts_to_volts(record.maf_out_counts());
    sample.throttle = live_throttle_percent(cal, record.throttle_counts());
    sample.temperature = iat_counts_to_celsius(cal, record.iat_counts());
    sample.afr = afr_counts_to_afr(cal, record.afr_counts());
    sample.speed = record.speed_kmh();
    sample.inj_duty = static_cast<float>(record.injector_duty());
    sample.wg_duty = static_cast<float>(record.wastegate_duty());
    sample.fuel_corr = static_cast<float>(record.fuel_correction());
    sample.knock = counts_to_volts(record.knock_counts());
    // The device reports neither; -1 marks them as missing in the file.
    sample.ecu_load = -1;
    sample.ecu_ignition = -1.0F;
}

}  // namespace veloquin
