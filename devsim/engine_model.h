#pragma once
// A small car driven round and round the same cycle: idle, a full-throttle pull
// through the gears with boost, a motorway cruise, a lift-off and a stop. It
// feeds the simulated device's live records. The model is stepped by simulated
// time, never by the wall clock, so a seed gives the same records every run.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/live_record.h"
#include "devsim/device_store.h"

namespace veloquin::devsim {

enum class DrivePhase { idle, pull, cruise, lift_off, stop };

struct EngineState {
    std::uint64_t time_ms = 0;
    DrivePhase phase = DrivePhase::idle;
    std::uint64_t phase_ms = 0;  // time spent in the current phase
    int gear = 0;                // 0 = neutral or clutch in
    std::uint64_t shift_ms = 0;  // time left of a gear change (throttle lifted)
    double rpm = 850.0;
    double speed_kmh = 0.0;
    double throttle = 0.0;   // percent
    double map_bar = -0.68;  // gauge pressure
    double iat_c = 24.0;
    double afr = 14.7;
    double boost_duty = 0.0;  // percent
    double knock_volts = 0.4;
    double knock_burst = 0.0;    // a knock event dying away
    double airflow_share = 0.0;  // of the MAF sensor's full scale
};

// Something scripted to happen to the engine, so the alarms can be tried
// without a car: boost surging past the map's top pressure and fluttering
// there, the mixture going lean under boost, or a run of knock.
enum class EngineEventKind { overboost, lean, knock };

struct EngineEvent {
    EngineEventKind kind = EngineEventKind::overboost;
    std::uint64_t start_ms = 0;  // of the model's time
    std::uint64_t duration_ms = 2000;
};

// "overboost@10s", "lean@20s:3s", "knock@1500ms:500ms"; an error says what is wrong.
std::optional<EngineEvent> parse_engine_event(std::string_view text, std::string& error);

class EngineModel {
  public:
    explicit EngineModel(std::uint32_t seed);

    // Moves the car on by `dt_ms` and reports what the device would send,
    // with the outputs it computes from the calibration it holds.
    LiveRecord step(std::uint32_t dt_ms, const DeviceStore& store);
    const EngineState& state() const { return state_; }
    void add_event(EngineEvent event) { events_.push_back(event); }

  private:
    double noise();  // uniform in [-1, 1)
    void advance_phase();
    void drive(double dt, const DeviceStore& store);
    LiveRecord sense(const DeviceStore& store);
    // How far into a running event of this kind the model is; nullopt when none runs.
    std::optional<double> event_seconds(EngineEventKind kind) const;
    void play_events(double dt, const DeviceStore& store);

    std::uint32_t random_;
    EngineState state_;
    std::vector<EngineEvent> events_;
};

// Sensor counts of the physical sensors the model drives; the device's
// calibration describes the same sensors, so they agree with its start values.
int map_sensor_counts(double bar);
int throttle_sensor_counts(double percent);
int maf_sensor_counts(double airflow_share);

// The emulated MAF output the device computes: the MAP-2-MAF map it holds,
// interpolated at the manifold pressure and engine speed.
int emulated_maf_counts(const DeviceStore& store, int map_counts, double rpm);
// The boost solenoid duty from the BOOST-DUTY map at throttle and engine speed.
double boost_map_duty(const DeviceStore& store, double throttle_percent, double rpm);

}  // namespace veloquin::devsim
