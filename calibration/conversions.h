#pragma once
// Conversions between sensor counts, volts and the tuner's units, and the
// operations that fill the derived words. The single-precision constants are
// the device software's own and results must match it bit for bit: products
// are formed in double precision from the single-precision constants, and a
// value is rounded to single precision only where the original stored it in a
// float (counts_to_volts, the two volts of bar100_to_counts and their
// difference, the volts it converts). Rounding anywhere else moves results
// that sit on a count boundary by one.

#include <string>

#include "calibration/calibration.h"

namespace veloquin {

inline constexpr float kCountsPerVolt = 819.0F;
inline constexpr float kVoltsPerCount = 0.0012210012646391988F;
inline constexpr int kFullScaleCounts = 4095;
inline constexpr float kIatPointsPerVolt = 6.4F;
inline constexpr float kHundredth = 0.01F;
inline constexpr float kAfrSlope = 0.002F;
inline constexpr double kPsiPerBar = 14.7;
inline constexpr float kHundred = 100.0F;

int volts_to_counts(float volts);
// The same formula at double precision, for volts typed into a MAP-2-MAF cell.
int volts_to_counts(double volts);
float counts_to_volts(int counts);
std::string format_volts(int counts);

// Gauge pressure in bar from the two-point MAP sensor calibration; 0 when the
// two calibration points coincide.
double counts_to_bar(const Calibration& cal, int counts);
// The pressure in the unit of MAP_UNITS ("%.2f"); an unknown unit shows volts.
std::string format_map(const Calibration& cal, int counts);
int bar100_to_counts(const Calibration& cal, int bar100);

// Throttle in integer percent, not clamped; 0 when the two ends coincide.
int tps_counts_to_percent(const Calibration& cal, int counts);
int tps_percent_to_counts(const Calibration& cal, int percent);

int iat_counts_to_celsius(const Calibration& cal, int counts);
int iat_celsius_to_counts(const Calibration& cal, int celsius);

float afr_counts_to_afr(const Calibration& cal, int counts);

// Airflow in 1/32768 of the MAF sensor's full scale; negative arguments count as 0.
int maf_counts_to_airflow(const Calibration& cal, int counts);
int maf_airflow_to_counts(const Calibration& cal, int airflow);

// Operations that write the calibration.
void recompute_derived_values(Calibration& cal, Edition edition);
void rebuild_maf_reverse_table(Calibration& cal);
void derive_map_pressure_limits(Calibration& cal);
void complete_header_after_download(Calibration& cal);

}  // namespace veloquin
