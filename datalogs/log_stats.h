#pragma once
// Per-column statistics of a log (`log stats`); the tables for other tools
// are in log_exchange.h.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "datalogs/log_sample.h"

namespace veloquin {

// A column of the export. Exactly one of the field pointers is set.
struct ExportColumn {
    std::string_view name;
    std::int32_t LogSample::*int_field;
    float LogSample::*real_field;
    std::uint32_t LogSample::*time_field;
};

// The fifteen file columns (names as in the file title line), or for a Mazda log the six quantities
// it carries under the names the viewer gives them; TIME_MS is added when the log holds sample
// times (a recording does, a loaded file does not).
std::vector<ExportColumn> export_columns(const LogBuffer& log);
double export_value(const ExportColumn& column, const LogSample& sample);

// True when the samples carry the clock readings of a recording.
bool log_has_times(const LogBuffer& log);

struct ColumnStats {
    std::string_view name;
    double min = 0.0;
    double max = 0.0;
    double mean = 0.0;
};

struct LogStats {
    int count = 0;
    bool has_times = false;
    std::uint32_t duration_ms = 0;     // first to last sample, when has_times
    std::vector<ColumnStats> columns;  // empty for an empty log
};

LogStats compute_log_stats(const LogBuffer& log);

}  // namespace veloquin
