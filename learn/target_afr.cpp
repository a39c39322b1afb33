#include "learn/target_afr.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>
#include <system_error>

#include "calfile/atomic_file.h"
#include "calibration/conversions.h"
#include "editors/map_operations.h"

namespace veloquin {
namespace {

// The default rule's numbers, in hundredths of AFR.
constexpr int kBoostRichest = 1150;
constexpr double kRicherPerBar = 250.0;
constexpr int kFullThrottleTarget = 1180;
constexpr int kClosedLoopThrottlePercent = 50;
constexpr int kProtectMargin = 30;

// The AFR protect curve as the editor draws it: tenths between 10.0 and 15.0.
constexpr int kProtectLow = 100;
constexpr int kProtectHigh = 150;
constexpr int kProtectRepair = 147;
constexpr int kProtectStepsToHi = 15;  // point 15 stands at MAP_BAR_HI

// A file of more is not a table.
constexpr std::uintmax_t kLargestFile = 64 * 1024;

std::int16_t clamp_target(double afr10) {
    return static_cast<std::int16_t>(
        std::clamp(static_cast<int>(std::lround(afr10)), kTargetAfrMin, kTargetAfrMax));
}

double protect_point(const Calibration& cal, int i) {
    const int word = cal.curve_word(cv::AFR_PROTECT + i);
    return (word < kProtectLow || word > kProtectHigh ? kProtectRepair : word) / 10.0;
}

}  // namespace

double afr_protect_limit(const Calibration& cal, double bar) {
    const int hi = cal.param(hw::MAP_BAR_HI);
    const double x = hi > 0 ? std::clamp(bar * 100.0 * kProtectStepsToHi / hi, 0.0,
                                         static_cast<double>(cv::AFR_PROTECT_POINTS - 1))
                            : 0.0;
    const int i = std::min(static_cast<int>(x), cv::AFR_PROTECT_POINTS - 2);
    const double f = x - i;
    return protect_point(cal, i) * (1.0 - f) + protect_point(cal, i + 1) * f;
}

TargetAfrTable default_target_afr(const Calibration& cal) {
    TargetAfrTable t;
    const double closed_loop = cal.param(hw::O2FB_Target);
    const double closed_loop_bar =
        std::max(0, static_cast<int>(cal.param(hw::O2FB_MaxLoad))) / 100.0;
    const bool by_throttle = cal.param(hw::FLM_LOAD) == 0;
    for (int r = 0; r < kMapRows; ++r) {
        double target = closed_loop;
        if (by_throttle) {
            const double percent = 100.0 * r / (kMapRows - 1);
            if (percent > kClosedLoopThrottlePercent) {
                const double share =
                    (percent - kClosedLoopThrottlePercent) / (100.0 - kClosedLoopThrottlePercent);
                target = std::min(closed_loop,
                                  closed_loop + (kFullThrottleTarget - closed_loop) * share);
            }
        } else {
            const double bar = row_pressure(cal, r) - 1.0;
            if (bar > closed_loop_bar) {
                target = std::min(
                    closed_loop,
                    std::max<double>(kBoostRichest,
                                     closed_loop - kRicherPerBar * (bar - closed_loop_bar)));
            }
            target = std::min(target, afr_protect_limit(cal, bar) * 100.0 - kProtectMargin);
        }
        for (int c = 0; c < kMapCols; ++c)
            t.word(r, c) = clamp_target(target / 10.0);
    }
    return t;
}

TargetAfrTable uniform_target_afr(int afr10) {
    TargetAfrTable t;
    t.afr10.fill(clamp_target(afr10));
    return t;
}

std::string target_afr_text(const TargetAfrTable& table) {
    std::string text =
        "# Target AFR for learning the fuel correction map; not sent to the device.\n"
        "# 24 rows of 20 values: the top row (highest load) first, 500 rpm on the left.\n";
    char value[16];
    for (int r = kMapRows - 1; r >= 0; --r) {
        for (int c = 0; c < kMapCols; ++c) {
            std::snprintf(value, sizeof value, "%s%.1f", c == 0 ? "" : " ", table.at(r, c));
            text += value;
        }
        text += "\n";
    }
    return text;
}

std::optional<TargetAfrTable> parse_target_afr(std::string_view text, std::string& error) {
    TargetAfrTable t;
    std::istringstream in{std::string(text)};
    int row = kMapRows - 1;
    int line_number = 0;
    for (std::string line; std::getline(in, line);) {
        ++line_number;
        const auto first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#') continue;
        const std::string where = "line " + std::to_string(line_number) + ": ";
        if (row < 0) {
            error = where + "more than 24 rows";
            return std::nullopt;
        }
        std::istringstream values(line);
        int col = 0;
        for (std::string token; values >> token; ++col) {
            double afr = 0.0;
            const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), afr);
            if (ec != std::errc{} || end != token.data() + token.size() || !std::isfinite(afr)) {
                error = where + "'" + token + "' is not an AFR";
                return std::nullopt;
            }
            if (afr * 10.0 < kTargetAfrMin || afr * 10.0 > kTargetAfrMax) {
                error = where + token + " lies outside 9.0 to 20.0";
                return std::nullopt;
            }
            if (col < kMapCols) t.word(row, col) = clamp_target(afr * 10.0);
        }
        if (col != kMapCols) {
            error = where + std::to_string(col) + " values, not 20";
            return std::nullopt;
        }
        --row;
    }
    if (row >= 0) {
        error = std::to_string(kMapRows - 1 - row) + " rows, not 24";
        return std::nullopt;
    }
    return t;
}

TargetAfrRead read_target_afr(const std::filesystem::path& folder, const Calibration& cal) {
    return read_target_afr_file(folder / kTargetAfrFile, cal);
}

TargetAfrRead read_target_afr_file(const std::filesystem::path& path, const Calibration& cal) {
    TargetAfrRead read;
    read.table = default_target_afr(cal);
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return read;
    const std::string name = path.string() + ": ";
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || size > kLargestFile) {
        read.error = name + (ec ? ec.message() : "too large for a table");
        return read;
    }
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (!in) {
        read.error = name + "cannot be read";
        return read;
    }
    std::string why;
    if (const auto table = parse_target_afr(bytes.str(), why)) {
        read.table = *table;
        read.from_file = true;
    } else {
        read.error = name + why;
    }
    return read;
}

bool write_target_afr(const std::filesystem::path& folder, const TargetAfrTable& table,
                      std::string* error) {
    return write_file_atomically(folder / kTargetAfrFile, target_afr_text(table), error);
}

}  // namespace veloquin
