#pragma once
// The AFR the tuner wants in each cell of the fuel correction map, which the
// fuel learning aims at, and the calibration's AFR protect curve, which no
// proposal may break. The table is a tuning aid of the program's own: it is
// never sent to the device, and lives in a text file beside workmap.cfg.
//
// The device's closed-loop target (O2FB_Target) is right only where the
// device runs closed loop; under boost or at full throttle the engine wants a
// richer mixture, so one target for every cell would lean out the very cells
// the AFR protect curve guards.

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "calibration/calibration.h"

namespace veloquin {

inline constexpr std::string_view kTargetAfrFile = "target-afr.txt";

// Tenths of AFR (14.7 is 147), as the AFR protect curve holds them.
struct TargetAfrTable {
    std::array<std::int16_t, kMapCells> afr10{};

    double at(int row, int col) const {
        return afr10[static_cast<std::size_t>(row * kMapCols + col)] / 10.0;
    }
    std::int16_t& word(int row, int col) {
        return afr10[static_cast<std::size_t>(row * kMapCols + col)];
    }
    friend bool operator==(const TargetAfrTable&, const TargetAfrTable&) = default;
};

// What a target may be: richer than this is no mixture an engine runs, leaner
// is no longer a target but a fuel cut.
inline constexpr int kTargetAfrMin = 90;
inline constexpr int kTargetAfrMax = 200;

// The defaults (README, "Target AFR"): O2FB_Target where the device runs
// closed loop; under boost (a fuel map over MAP) 2.5 AFR richer per bar above
// O2FB_Max Load, at most down to 11.5; at full throttle (a fuel map over
// throttle) falling in a straight line from O2FB_Target at half throttle to
// 11.8; and never leaner than 0.3 below the AFR protect limit of the row's
// pressure.
TargetAfrTable default_target_afr(const Calibration& cal);
TargetAfrTable uniform_target_afr(int afr10);

// The text file: a comment, then 24 lines of 20 AFR values, the top row
// (highest load) first, 500 rpm on the left; as the map editor shows them.
std::string target_afr_text(const TargetAfrTable& table);
// Nullopt with the reason (naming the line) when the text is not a whole table.
std::optional<TargetAfrTable> parse_target_afr(std::string_view text, std::string& error);

struct TargetAfrRead {
    TargetAfrTable table;
    bool from_file = false;  // false: the defaults
    std::string error;       // why a file there could not be used; empty when none was there
};
// The table in `folder`, or the defaults when there is none or it cannot be read.
TargetAfrRead read_target_afr(const std::filesystem::path& folder, const Calibration& cal);
TargetAfrRead read_target_afr_file(const std::filesystem::path& path, const Calibration& cal);
bool write_target_afr(const std::filesystem::path& folder, const TargetAfrTable& table,
                      std::string* error);

// The AFR protect limit at a gauge pressure in bar: the curve's point i
// stands at i x MAP_BAR_HI / 15 hundredths of a bar, interpolated between
// points and held at its ends. A point outside the editor's 10.0 to 15.0
// (the zeros of a file without the curve) counts as 14.7: no proposal leans
// such a cell past the stoichiometric mixture.
double afr_protect_limit(const Calibration& cal, double bar);

}  // namespace veloquin
