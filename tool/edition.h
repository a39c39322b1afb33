#pragma once
// Which of the two programs this build of the tool speaks for.

#include "calibration/calibration.h"

namespace veloquin::tool {
#ifdef VELOQUIN_LITE
inline constexpr Edition kEdition = Edition::lite;
#else
inline constexpr Edition kEdition = Edition::full;
#endif
}  // namespace veloquin::tool
