#include "datalogs/log_stats.h"

#include "datalogs/log_file.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace veloquin {

namespace {

using S = LogSample;

// Where the import put each Mazda quantity. The load is exported as read
// (inj_duty), not as the doubled value kept for the fuel-correction band.
constexpr std::array<ExportColumn, 6> kMazdaColumns = {{
    {"Load", nullptr, &S::inj_duty, nullptr},
    {"BOOST", nullptr, &S::boost, nullptr},
    {"RPM", &S::rpm, nullptr, nullptr},
    {"Ignition", &S::temperature, nullptr, nullptr},
    {"AirFlow", nullptr, &S::maf_in, nullptr},
    {"Throttle", nullptr, &S::throttle, nullptr},
}};

constexpr ExportColumn kTimeColumn = {"TIME_MS", nullptr, nullptr, &S::time_ms};

}  // namespace

bool log_has_times(const LogBuffer& log) {
    return log.has_times || std::any_of(log.valid().begin(), log.valid().end(),
                                        [](const LogSample& s) { return s.time_ms != 0; });
}

std::vector<ExportColumn> export_columns(const LogBuffer& log) {
    std::vector<ExportColumn> columns;
    if (log.mazda_log) {
        columns.assign(kMazdaColumns.begin(), kMazdaColumns.end());
    } else {
        for (const LogColumn& c : log_columns()) {
            columns.push_back({log_column_name(c), c.int_field, c.real_field, nullptr});
        }
    }
    if (log_has_times(log)) columns.push_back(kTimeColumn);
    return columns;
}

double export_value(const ExportColumn& column, const LogSample& sample) {
    if (column.int_field != nullptr) return sample.*column.int_field;
    if (column.real_field != nullptr) return static_cast<double>(sample.*column.real_field);
    return sample.*column.time_field;
}

LogStats compute_log_stats(const LogBuffer& log) {
    LogStats stats;
    stats.count = log.count;
    stats.has_times = log_has_times(log);
    if (log.count == 0) return stats;
    const auto samples = log.valid();
    if (stats.has_times) {
        // Unsigned subtraction stays right across a wrap of the millisecond clock.
        stats.duration_ms = samples.back().time_ms - samples.front().time_ms;
    }
    for (const ExportColumn& column : export_columns(log)) {
        ColumnStats c;
        c.name = column.name;
        // Gaps (values that were not numbers) take no part.
        c.min = std::numeric_limits<double>::infinity();
        c.max = -c.min;
        double sum = 0.0;
        std::size_t values = 0;
        for (const LogSample& sample : samples) {
            const double v = export_value(column, sample);
            if (std::isnan(v)) continue;
            c.min = std::min(c.min, v);
            c.max = std::max(c.max, v);
            sum += v;
            ++values;
        }
        if (values == 0) c.min = c.max = std::numeric_limits<double>::quiet_NaN();
        c.mean = values == 0 ? c.min : sum / static_cast<double>(values);
        stats.columns.push_back(c);
    }
    return stats;
}

}  // namespace veloquin
