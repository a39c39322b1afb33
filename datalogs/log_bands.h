#pragma once
// The log viewer's bands as one table: the channel and command behind each
// band, its menu texts, the field it draws, how its scale is found, how a
// value becomes a pixel height, and its labels, read-out and title.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "datalogs/log_sample.h"

namespace veloquin {

// The sixteen channel bands and the LS switches band, in stacking order.
inline constexpr int kLogBandCount = kLogChannelCount;

enum class BandScaleRule {
    fixed,             // lo and hi from the table
    hundreds_above,    // 0 to the next hundred above the largest value (RPM)
    tens_above,        // 0 to the next ten above the largest value (Speed)
    fifths_around,     // whole fifths of a bar around the smallest and largest value (Boost)
    at_least_one,      // 0 to the largest value, at least 1 (Inj. pulse)
    from_zero_or_min,  // the smaller of 0 and the smallest value, to the largest
    switches,          // four on/off rows, one per switched output
};

enum class PixelRule {
    integer_span,  // (h × (v − lo)) / (hi − lo), in integers
    float_factor,  // (v − lo) × h × factor, in single precision
    float_span,    // (v − lo) × h / (hi − lo), in single precision
    switch_rows,
};

// A text made of a fixed part and one number: "RPM: %d" is {"RPM: ", -1}.
struct BandText {
    std::string_view prefix;
    int precision = -1;   // digits after the point; -1 for an integer ("%d")
    float factor = 1.0F;  // the value is multiplied by it first
};

struct LogBand {
    LogChannel channel;
    int command_id;
    std::string_view menu_text;        // in "LogLocalMenu"
    std::string_view mazda_menu_text;  // in "MAZLogLocalMenu"; empty when that menu lacks it
    std::int32_t LogSample::*int_field;
    float LogSample::*real_field;
    BandScaleRule scale;
    PixelRule pixels;
    float lo, hi;  // the fixed scale ends
    float factor;  // of float_factor
    int label_precision;
    bool labels_on_lines;  // the AFR band puts its labels on the grid lines
    BandText readout;
    std::string_view title;
    BandText mazda_readout;  // an empty prefix: as in other logs
    std::string_view mazda_title;
};

std::span<const LogBand> log_bands();
const LogBand& log_band(LogChannel channel);
// The band as the viewer draws it in this log (a Mazda log's Load band draws
// the load itself).
const LogBand& drawn_band(const LogBand& band, bool mazda_log);
// Nullptr for an id that is not a channel's.
const LogBand* log_band_for_command(int command_id);

// The scale ends of a band over the whole log (not only the part on view).
struct BandScale {
    double lo = 0.0;
    double hi = 0.0;
};
BandScale band_scale(const LogBand& band, const LogBuffer& log);

// The six grid labels, bottom line first.
std::array<std::string, 6> band_labels(const LogBand& band, const BandScale& scale);

// Turns samples into pixel heights above the band's bottom edge, 0 to h. A
// scale of zero range (every value the same) puts the curve on the bottom edge.
class BandPixels {
  public:
    BandPixels(const LogBand& band, const BandScale& scale, int band_height);
    int height(const LogSample& sample) const;

  private:
    int clamp_height(float p) const;

    const LogBand* band_;
    int h_;
    std::int64_t int_lo_ = 0;
    std::int64_t int_span_ = 0;
    float lo_ = 0.0F;
    float span_ = 0.0F;
};

// The read-out of a sample, in a Mazda log with the Mazda wording.
std::string band_readout(const LogBand& band, const LogSample& sample, bool mazda_log);
std::string band_title(const LogBand& band, bool mazda_log);

// The LS switches band: rows A to D from bits 0 to 3 of `flags`.
inline constexpr int kSwitchRows = 4;
bool switch_on(const LogSample& sample, int row);

// The values the Inj.Pulse and R/S bands derive and write into the log.
void compute_inj_pulse(LogBuffer& log);
void compute_rpm_per_speed(LogBuffer& log);

// "%.Nf" of a value, or "%d" of its integer part for precision -1.
std::string format_number(double value, int precision);

}  // namespace veloquin
