#pragma once
// The pages of the main window by name. Every editing rule is written against
// a page's identity, never its number, because the lite program drops the
// "AFR Protect" page and numbers every later page one lower.

#include <optional>
#include <span>
#include <string_view>

#include "base/page.h"
#include "calibration/calibration.h"

namespace veloquin {

// The navigation button text: "Parameters", "MAF Emulation", ...
std::string_view page_title(Page page);

// The pages of an edition, top to bottom in the navigation column.
std::span<const Page> page_order(Edition edition);
int page_count(Edition edition);

// 1-based number of the page in that edition; nullopt for a page the edition lacks.
std::optional<int> page_number(Page page, Edition edition);
// The page shown under a number; nullopt outside 1..page_count(edition).
std::optional<Page> page_at(int number, Edition edition);

}  // namespace veloquin
