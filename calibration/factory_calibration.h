#pragma once
// The factory calibration: what a first start shows before any file or device
// has been seen, and what the package installs as default.cfg. It describes
// one plausible car, a 2.0 litre four-cylinder turbo engine with the sensors
// below; docs/factory-calibration.md explains every value. The simulated
// device holds the same calibration and simulates these same sensors.

#include "calibration/calibration.h"

namespace veloquin {

namespace factory {
inline constexpr double kDisplacementLitres = 2.0;
// Airflow at which the MAF sensor's output reaches 5 V.
inline constexpr double kMafFullScaleGramsPerSecond = 450.0;
// The temperature the MAF Emulation map is made for; IAT-Correction covers
// every other one.
inline constexpr double kReferenceCelsius = 25.0;
inline constexpr double kAtmosphereBar = 1.013;
// Map pressure axis in hundredths of a bar of gauge pressure.
inline constexpr int kMapBarLo = -70;
inline constexpr int kMapBarHi = 190;
}  // namespace factory

// The intake air temperature sender: an NTC whose voltage falls as the air
// warms, from 140 C at 0 V to -36 C at 5 V.
double iat_sender_celsius(double volts);
double iat_sender_volts(double celsius);

// The MAF sensor: share of full-scale airflow (0 to 1) at its output voltage,
// rising with the 2.6th power of the voltage as a hot-film sensor's does.
double maf_sensor_share(double volts);

// The engine's air mass flow in g/s at an engine speed and a gauge pressure in
// bar, at the reference temperature: displacement x speed / 2 x volumetric
// efficiency x air density.
double engine_airflow_grams_per_second(double rpm, double gauge_bar);
// The engine's volumetric efficiency: best in the middle of the speed range,
// 0.95 at 4500 rpm.
double volumetric_efficiency(double rpm);

// The whole factory calibration, derived words included.
Calibration factory_calibration();

}  // namespace veloquin
