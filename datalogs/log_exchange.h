#pragma once
// A log written for the tools tuners already use: comma-separated values and
// the tab-separated text with a names row and a units row. Each column says
// its unit, so nobody has to guess what "BOOST" was measured in.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "base/platform.h"
#include "datalogs/log_file.h"
#include "datalogs/log_sample.h"

namespace veloquin {

enum class LogFormat { log, csv, msl };

// By the path's extension, case aside: ".csv" and ".msl" are the tables;
// anything else is this system's own log file.
LogFormat log_format_of(std::string_view path);

// One numeric column of a table: exactly one of the fields is set.
struct TableExportColumn {
    std::string_view name;
    std::string_view unit;  // empty for a count without a unit
    std::int32_t LogSample::*int_field;
    float LogSample::*real_field;
};

// The fifteen columns a log file holds, or a Mazda log's six quantities
// under their own names (its load and ignition live in other columns).
std::vector<TableExportColumn> table_export_columns(const LogBuffer& log);

// "Time (s)" first where the log has times, the numeric columns, and a
// "Marker" column last where it has markers. Numbers are written in the
// shortest form that reads back to the same value, with a decimal point.
std::string format_log_csv(const LogBuffer& log);
// The quoted title line, "Capture Date" with the text given, the names row,
// the units row and the data, all tab-separated.
std::string format_log_msl(const LogBuffer& log, std::string_view capture_date);

// Writes the log in the format its path names, replacing the file only once
// the new one is whole. A table's capture date is `now`.
LogWriteResult write_log_as(const LogBuffer& log, const std::filesystem::path& path,
                            const LocalTime& now);

}  // namespace veloquin
