#pragma once
// The columns a tuner assigned in the column dialog, remembered per header
// in a small text file beside workmap.cfg, so that the next log from the same
// tool loads without asking.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace veloquin {

inline constexpr std::string_view kColumnChoicesFile = "log-columns.txt";

// A column's title and the label of what it holds ("BOOST (bar)", "Ignore").
using ColumnChoice = std::pair<std::string, std::string>;

// Nullopt when nothing was remembered for the header.
std::optional<std::vector<ColumnChoice>> read_column_choices(const std::filesystem::path& folder,
                                                             std::string_view header);
// Keeps the other headers' choices; the header's own are replaced.
bool write_column_choices(const std::filesystem::path& folder, std::string_view header,
                          const std::vector<ColumnChoice>& choices, std::string* error);

}  // namespace veloquin
