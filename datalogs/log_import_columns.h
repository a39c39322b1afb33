#pragma once
// How the table reader tells what a column holds from its name and how its
// unit becomes the log's own.

#include <string_view>

#include "datalogs/log_import.h"

namespace veloquin {

// The standard atmosphere: absolute pressures become boost against it.
inline constexpr double kAtmosphereBar = 1.01325;
inline constexpr double kStoichiometricAfr = 14.7;

// A title split into its name and the unit in parentheses or brackets,
// and the target its name tells.
TableColumn parse_column_title(std::string_view title);

// A value of the column in the log's unit is value * scale + offset.
struct UnitConversion {
    double scale = 1.0;
    double offset = 0.0;
    bool known = true;    // false: the unit was not recognised and the value is taken as it is
    bool lambda = false;  // AFR read from lambda
};
// For a time column the result is in milliseconds.
UnitConversion unit_conversion(const TableColumn& column);

// A unit this reader converts or a channel of the log has: what tells a
// units row under the names from a first data line gone bad.
bool is_known_unit(std::string_view unit);

}  // namespace veloquin
