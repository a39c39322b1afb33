#include "devsim/engine_model.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <system_error>
#include <utility>

namespace veloquin::devsim {
namespace {

constexpr double kIdleRpm = 850.0;
constexpr double kRedline = 6300.0;
constexpr double kAmbientC = 24.0;
// Engine rpm per km/h in each gear (index 0 unused: neutral).
constexpr double kGearRatio[] = {0.0, 120.0, 72.0, 50.0, 38.0, 31.0};
constexpr std::uint64_t kShiftMs = 350;

double approach(double value, double target, double dt, double time_constant) {
    return value + (target - value) * std::min(1.0, dt / time_constant);
}

double limit_rate(double value, double target, double max_step) {
    return value + std::clamp(target - value, -max_step, max_step);
}

// Bilinear interpolation over a 24 x 20 map: `row` and `col` are fractional
// positions, limited to the map's edges as the device limits its lookups.
double interpolate(const DeviceStore& store, Block b, double row, double col, int rows) {
    row = std::clamp(row, 0.0, rows - 1.0);
    col = std::clamp(col, 0.0, kMapCols - 1.0);
    const int r0 = std::min(static_cast<int>(row), rows - 2);
    const int c0 = std::min(static_cast<int>(col), kMapCols - 2);
    const double fr = row - r0;
    const double fc = col - c0;
    const double top =
        store.map_cell(b, r0 + 1, c0) * (1 - fc) + store.map_cell(b, r0 + 1, c0 + 1) * fc;
    const double bottom = store.map_cell(b, r0, c0) * (1 - fc) + store.map_cell(b, r0, c0 + 1) * fc;
    return bottom * (1 - fr) + top * fr;
}

double rpm_column(double rpm) {
    return rpm / 500.0 - 1.0;
}

int volts_counts(double volts) {
    return std::clamp(static_cast<int>(std::lround(volts * 819.0)), 0, 4095);
}

bool between(int value, int bound1, int bound2) {
    return value >= std::min(bound1, bound2) && value <= std::max(bound1, bound2);
}

}  // namespace

int map_sensor_counts(double bar) {
    return volts_counts(1.25 + bar * 1.1);
}
int throttle_sensor_counts(double percent) {
    return volts_counts(0.5 + percent * 0.04);
}
int maf_sensor_counts(double airflow_share) {
    return volts_counts(5.0 * std::pow(std::clamp(airflow_share, 0.0, 1.0), 1.0 / 2.6));
}

int emulated_maf_counts(const DeviceStore& store, int map_counts, double rpm) {
    const int map_lo = store.header_word(hw::MAP_LO);
    const int map_hi = store.header_word(hw::MAP_HI);
    if (map_hi <= map_lo) return 0;  // no pressure axis: nothing sensible to emulate
    const double row = (map_counts - map_lo) * 23.0 / (map_hi - map_lo);
    const double out = interpolate(store, Block::e_map, row, rpm_column(rpm), kMapRows);
    return std::clamp(static_cast<int>(std::lround(out)), 0, 4095);
}

double boost_map_duty(const DeviceStore& store, double throttle_percent, double rpm) {
    const double row = throttle_percent * 11.0 / 100.0;
    return std::clamp(interpolate(store, Block::boost_map, row, rpm_column(rpm), 12), 0.0, 100.0);
}

EngineModel::EngineModel(std::uint32_t seed) : random_(seed == 0 ? 0x9E3779B9U : seed) {}

double EngineModel::noise() {
    // xorshift32: the same sequence on every platform and library.
    random_ ^= random_ << 13;
    random_ ^= random_ >> 17;
    random_ ^= random_ << 5;
    return static_cast<double>(random_) / 2147483648.0 - 1.0;
}

LiveRecord EngineModel::step(std::uint32_t dt_ms, const DeviceStore& store) {
    // Long gaps are walked in small steps so the lags stay stable.
    std::uint32_t left = dt_ms;
    do {
        const std::uint32_t dt = std::min<std::uint32_t>(left, 20);
        state_.time_ms += dt;
        state_.phase_ms += dt;
        advance_phase();
        drive(dt / 1000.0, store);
        play_events(dt / 1000.0, store);
        left -= dt;
    } while (left > 0);
    return sense(store);
}

void EngineModel::advance_phase() {
    EngineState& s = state_;
    auto enter = [&](DrivePhase p) {
        s.phase = p;
        s.phase_ms = 0;
    };
    switch (s.phase) {
        case DrivePhase::idle:
            if (s.phase_ms >= 6000) {
                enter(DrivePhase::pull);
                s.gear = 1;
            }
            break;
        case DrivePhase::pull:
            if (s.gear == 4 && s.rpm >= kRedline - 300) {
                enter(DrivePhase::cruise);
                s.gear = 5;
                s.shift_ms = kShiftMs;
            }
            break;
        case DrivePhase::cruise:
            if (s.phase_ms >= 12000) enter(DrivePhase::lift_off);
            break;
        case DrivePhase::lift_off:
            if (s.phase_ms >= 6000) enter(DrivePhase::stop);
            break;
        case DrivePhase::stop:
            if (s.speed_kmh <= 0.0) {
                enter(DrivePhase::idle);
                s.gear = 0;
            }
            break;
    }
}

void EngineModel::drive(double dt, const DeviceStore& store) {
    EngineState& s = state_;
    s.shift_ms = s.shift_ms > static_cast<std::uint64_t>(dt * 1000)
                     ? s.shift_ms - static_cast<std::uint64_t>(dt * 1000)
                     : 0;

    double throttle_target = 0.0;
    double accel = 0.0;  // km/h per second
    const double boost_share = std::max(0.0, s.map_bar);
    switch (s.phase) {
        case DrivePhase::idle:
            s.speed_kmh = 0.0;
            break;
        case DrivePhase::pull:
            throttle_target = s.shift_ms > 0 ? 0.0 : 100.0;
            if (s.shift_ms == 0 && s.gear < 4 && s.rpm >= kRedline) {
                ++s.gear;
                s.shift_ms = kShiftMs;
            }
            accel = (s.throttle / 100.0) * (7.0 + 6.0 * boost_share) / (0.6 + 0.45 * s.gear);
            break;
        case DrivePhase::cruise:
            throttle_target = 18.0 + 6.0 * std::sin(s.phase_ms / 2500.0);
            accel = (120.0 - s.speed_kmh) * 0.3;
            break;
        case DrivePhase::lift_off:
            accel = -3.0;
            if (s.gear > 2 && s.rpm < 1800) --s.gear;
            break;
        case DrivePhase::stop:
            accel = -9.0;
            if (s.gear > 1 && s.rpm < 1500) --s.gear;
            if (s.gear > 0 && s.speed_kmh * kGearRatio[s.gear] < 1100) s.gear = 0;
            break;
    }
    accel -= 0.00035 * s.speed_kmh * s.speed_kmh;
    s.speed_kmh = std::max(0.0, s.speed_kmh + accel * dt);
    s.throttle = std::clamp(limit_rate(s.throttle, throttle_target, 400.0 * dt), 0.0, 100.0);

    // In gear the road sets the engine speed; a slipping clutch holds it at a launch rpm.
    double rpm_target = kIdleRpm + 30.0 * noise();
    if (s.gear > 0) {
        rpm_target = std::max(s.speed_kmh * kGearRatio[s.gear], kIdleRpm);
        if (s.phase == DrivePhase::pull && s.gear == 1) rpm_target = std::max(rpm_target, 2500.0);
    }
    s.rpm = std::clamp(limit_rate(s.rpm, rpm_target, 9000.0 * dt), 600.0, 7500.0);

    s.boost_duty = boost_map_duty(store, s.throttle, s.rpm);
    const double spool = std::clamp((s.rpm - 2200.0) / 1800.0, 0.0, 1.0);
    const double spring = 0.35;
    const double boost_limit = spring + s.boost_duty / 100.0 * 1.1;
    double map_target = -0.68 + 0.68 * std::pow(s.throttle / 100.0, 0.6);
    if (s.throttle < 1.0 && s.rpm > 1500.0) map_target = -0.78;  // overrun
    if (s.throttle > 60.0) map_target += boost_limit * spool * (s.throttle - 60.0) / 40.0;
    s.map_bar = approach(s.map_bar, map_target, dt, s.map_bar > 0.0 ? 0.5 : 0.12);

    const double heat = kAmbientC + 30.0 * boost_share - std::min(s.speed_kmh, 100.0) * 0.04;
    s.iat_c = approach(s.iat_c, heat, dt, 8.0);

    double afr_target = 14.7 + 0.25 * std::sin(s.time_ms / 700.0);
    if (s.map_bar > 0.0) afr_target = 14.7 - 2.9 * std::min(s.map_bar, 1.0);
    if (s.throttle < 1.0 && s.rpm > 1500.0) afr_target = 22.0;  // fuel cut
    s.afr = approach(s.afr, afr_target, dt, 0.1);

    if (s.map_bar > 0.5 && noise() > 0.996) s.knock_burst = 1.2;
    s.knock_burst = approach(s.knock_burst, 0.0, dt, 0.15);
    s.knock_volts = 0.4 + s.rpm / 10000.0 * 1.2 + 0.04 * noise() + s.knock_burst;

    const double ve = 0.8 + 0.15 * std::sin(std::min(s.rpm, 8000.0) / 8000.0 * 3.14159);
    s.airflow_share = std::clamp(s.rpm / 8500.0 * (1.0 + s.map_bar) / 2.9 * ve, 0.0, 1.0);
}

std::optional<double> EngineModel::event_seconds(EngineEventKind kind) const {
    for (const EngineEvent& e : events_) {
        const std::uint64_t t = state_.time_ms;
        if (e.kind == kind && t >= e.start_ms && t < e.start_ms + e.duration_ms) {
            return static_cast<double>(t - e.start_ms) / 1000.0;
        }
    }
    return std::nullopt;
}

namespace {

// What the model's sensor must read for the device's calibration (its two
// MAP points) to show `bar`: an event aims at pressures as the program sees them.
double sensor_bar(const DeviceStore& store, double bar) {
    const int c05 = store.header_word(hw::MAP_05V);
    const int c00 = store.header_word(hw::MAP_00V);
    if (c00 == c05) return bar;
    const double counts = c05 + (bar + 0.5) / 0.5 * (c00 - c05);
    return (counts / 819.0 - 1.25) / 1.1;
}

}  // namespace

void EngineModel::play_events(double dt, const DeviceStore& store) {
    EngineState& s = state_;
    if (const auto t = event_seconds(EngineEventKind::overboost)) {
        // A stuck wastegate: the pressure climbs past the top of the map and
        // flutters there, a quarter of a bar either way.
        const double top = store.header_word(hw::MAP_BAR_HI) / 100.0;
        const double surge = top + 0.15 + 0.25 * std::sin(*t * 2.0 * 3.14159 * 2.0);
        s.map_bar = limit_rate(s.map_bar, sensor_bar(store, surge), 10.0 * dt);
    }
    if (event_seconds(EngineEventKind::lean)) {
        // A failing pump: under boost, and the mixture thins out.
        s.map_bar = limit_rate(s.map_bar, std::max(s.map_bar, sensor_bar(store, 0.8)), 20.0 * dt);
        s.afr = limit_rate(s.afr, 14.2, 20.0 * dt);
    }
    if (event_seconds(EngineEventKind::knock)) s.knock_burst = 3.0;
}

namespace {

std::optional<std::uint64_t> parse_event_time(std::string_view text) {
    double scale = 1000.0;
    if (text.size() > 2 && text.substr(text.size() - 2) == "ms") {
        scale = 1.0;
        text.remove_suffix(2);
    } else if (!text.empty() && text.back() == 's') {
        text.remove_suffix(1);
    } else {
        return std::nullopt;
    }
    double v = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc{} || end != text.data() + text.size() || !(v >= 0.0) || v * scale > 1e9) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(std::llround(v * scale));
}

}  // namespace

std::optional<EngineEvent> parse_engine_event(std::string_view text, std::string& error) {
    constexpr std::pair<std::string_view, EngineEventKind> kKinds[] = {
        {"overboost", EngineEventKind::overboost},
        {"lean", EngineEventKind::lean},
        {"knock", EngineEventKind::knock}};
    error =
        "--event wants overboost, lean or knock @ a time, with :a duration if not 2s "
        "(overboost@10s, lean@20s:3s, knock@1500ms:500ms), not '" +
        std::string(text) + "'";
    const auto at = text.find('@');
    if (at == std::string_view::npos) return std::nullopt;
    EngineEvent event;
    const auto kind = std::find_if(std::begin(kKinds), std::end(kKinds),
                                   [&](const auto& k) { return k.first == text.substr(0, at); });
    if (kind == std::end(kKinds)) return std::nullopt;
    event.kind = kind->second;
    const std::string_view times = text.substr(at + 1);
    const auto colon = times.find(':');
    const auto start = parse_event_time(times.substr(0, colon));
    if (!start) return std::nullopt;
    event.start_ms = *start;
    if (colon != std::string_view::npos) {
        const auto duration = parse_event_time(times.substr(colon + 1));
        if (!duration || *duration == 0) return std::nullopt;
        event.duration_ms = *duration;
    }
    error.clear();
    return event;
}

LiveRecord EngineModel::sense(const DeviceStore& store) {
    const EngineState& s = state_;
    LiveRecord r;
    const int map_counts = map_sensor_counts(s.map_bar);
    const int throttle_counts = throttle_sensor_counts(s.throttle);
    const int iat_counts = volts_counts(iat_sender_volts(s.iat_c));
    const int knock_counts = volts_counts(s.knock_volts);
    const double afr0 = store.header_word(hw::AFR_0V) / 100.0;
    const double afr5 = store.header_word(hw::AFR_5V) / 100.0;
    const int afr_counts = afr5 > afr0 ? volts_counts((s.afr - afr0) / (afr5 - afr0) * 5.0) : 0;

    r.set_word(2, static_cast<int>(std::lround(s.rpm)));
    r.set_word(4, static_cast<int>(s.speed_kmh));
    r.set_word(6, map_counts);
    r.set_word(8, maf_sensor_counts(s.airflow_share));
    r.set_word(10, emulated_maf_counts(store, map_counts, s.rpm));
    r.set_word(12, throttle_counts);
    r.set_word(14, iat_counts);
    r.set_word(16, afr_counts);
    const double injector = s.afr >= 20.0 ? 0.0 : s.airflow_share * 95.0 * 14.7 / s.afr + 1.5;
    r.bytes[18] = static_cast<std::uint8_t>(std::clamp(injector, 0.0, 100.0));
    r.bytes[19] = static_cast<std::uint8_t>(static_cast<int>(s.boost_duty));

    const bool by_map = store.header_word(hw::FLM_LOAD) == 1;
    const int map_lo = store.header_word(hw::MAP_LO);
    const int map_hi = store.header_word(hw::MAP_HI);
    const int fuel_row = by_map && map_hi > map_lo ? (map_counts - map_lo) * 23 / (map_hi - map_lo)
                                                   : static_cast<int>(s.throttle * 23.0 / 100.0);
    const int fuel_col =
        std::clamp(static_cast<int>(std::lround(rpm_column(s.rpm))), 0, kMapCols - 1);
    r.set_word(20, store.fuel_correction(std::clamp(fuel_row, 0, kMapRows - 1), fuel_col));
    r.set_word(22, knock_counts);

    // The switched outputs, evaluated from the switch records the device holds.
    const int knock_point = std::clamp(static_cast<int>(s.rpm / 500.0), 0, cv::KNOCK_POINTS - 1);
    for (int sw_index = 0; sw_index < sw::kSwitchCount; ++sw_index) {
        const int base = sw::record_start(sw_index);
        auto w = [&](int offset) { return store.header_word(base + offset); };
        bool on = false;
        switch (w(sw::MODE)) {
            case 1:
                on = true;
                break;
            case 2:
                on = (w(sw::RPM) <= 0 || between(r.rpm(), w(sw::RPM1), w(sw::RPM2))) &&
                     (w(sw::SPD) <= 0 || between(r.speed_kmh(), w(sw::SPD1), w(sw::SPD2))) &&
                     (w(sw::MAP) <= 0 ||
                      between(map_counts, w(sw::MAP1_counts), w(sw::MAP2_counts))) &&
                     (w(sw::THR) <= 0 ||
                      between(throttle_counts, w(sw::THR1_counts), w(sw::THR2_counts))) &&
                     (w(sw::IAT) <= 0 ||
                      between(iat_counts, w(sw::IAT1_counts), w(sw::IAT2_counts)));
                break;
            case 3:
                on = knock_counts > store.curve_word(cv::KNOCK + knock_point);
                break;
            case 4:
                on = s.map_bar > 0.3 && s.afr > 13.0;
                break;
            default:
                break;
        }
        if (on) r.bytes[0] = static_cast<std::uint8_t>(r.bytes[0] | (1 << sw_index));
    }
    return r;
}

}  // namespace veloquin::devsim
