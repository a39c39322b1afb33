#pragma once
// The live-values panel beside the pages: thirteen labelled value fields and
// two status lines.

#include <array>
#include <string>
#include <string_view>

#include "base/live_record.h"
#include "calibration/calibration.h"
#include "datalogs/log_sample.h"

namespace veloquin {

inline constexpr int kLiveFieldCount = 13;
std::span<const std::string_view, kLiveFieldCount> live_panel_labels();

// The field texts for the latest live record; "n/a" everywhere while the
// device is not connected.
std::array<std::string, kLiveFieldCount> live_panel_values(const Calibration& cal,
                                                           const LiveRecord& live, bool connected);

// The log channel of each field, which alarm rules name.
LogChannel live_panel_channel(int field);

// "...." with A to D in the places of the outputs that are on.
std::string switched_outputs_text(int bits);

}  // namespace veloquin
