#pragma once
// What the tuner types into a field or a map cell, read as meant: a decimal
// comma is a decimal point, text that is no number is refused (the old value
// stays), and a value held inside its range says so.

#include <optional>
#include <string>
#include <string_view>

#include "base/page.h"

namespace veloquin {

// Blanks, an optional sign, digits with at most one decimal point or comma,
// an optional exponent, blanks, and a unit the pages show ("rpm", "V", "%");
// nullopt for anything else ("abc", "1,5,0", "12x", an empty text, "nan").
std::optional<double> parse_typed_number(std::string_view text);

// The lower line's words for a typed text that is no number, and for a value
// held at the end of its range.
std::string not_a_number_text(std::string_view what, std::string_view typed, std::string_view kept);
std::string held_text(std::string_view what, std::string_view typed, std::string_view stored,
                      std::string_view range);

// An in-place entry on a map page: the value to store in the selected cells,
// or none (not a number, or a page without a map), and what the lower line
// says about it (empty when the entry went in as typed).
struct CellEntry {
    std::optional<int> value;
    std::string note;
};
CellEntry cell_entry(Page page, std::string_view typed);

// A cell of the target AFR table, in tenths of AFR: a number below 90 is an
// AFR ("12,5" is 125), one from 90 on is tenths as the cells show them
// ("125"); the two readings never meet inside the table's range. Held within
// kTargetAfrMin to kTargetAfrMax.
CellEntry target_afr_entry(std::string_view typed);

}  // namespace veloquin
