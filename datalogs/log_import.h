#pragma once
// Logs from other tools: comma-, semicolon- or tab-separated tables with a
// header row (units in parentheses, or a units row under the names), and the
// tab-separated text with a quoted title line and a "Capture Date" line
// before its names and units. Columns are found by name in any order, their
// units converted to the log's own; a decimal comma is read where the
// delimiter is not a comma.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "datalogs/log_channels.h"
#include "datalogs/log_file.h"
#include "datalogs/log_sample.h"

namespace veloquin {

enum class ColumnRole { ignored, channel, time, marker };

struct ColumnTarget {
    ColumnRole role = ColumnRole::ignored;
    const LogChannelInfo* channel = nullptr;  // set for a channel
    bool operator==(const ColumnTarget&) const = default;
};

struct TableColumn {
    std::string title;  // as the header has it: "Boost (psi)"
    std::string name;   // "Boost"
    std::string unit;   // "psi", from the parentheses or the units row
    ColumnTarget target;
    bool matched = false;  // its name told what it holds
};

struct LogTable {
    char delimiter = ',';
    std::vector<TableColumn> columns;
    std::size_t data_offset = 0;  // where the line after the header rows begins
    int data_line = 1;            // that line's number, counting from 1
};

// The header of a table; nullopt, with the reason, for a text without one.
std::optional<LogTable> read_log_table_layout(std::string_view text, std::string& error);

// The columns whose names said nothing, which the tuner may assign.
std::vector<std::size_t> unmatched_columns(const LogTable& table);
// The header as one line, under which a tuner's assignment is remembered.
std::string log_table_key(const LogTable& table);

// What a column can be made to hold, as the column dialog offers it:
// "Ignore", "Time (s)", "Time (ms)", "Marker", then every stored channel
// with its unit ("BOOST (bar)").
std::vector<std::string> column_target_labels();
// Gives a column the target of a label; false for a label not offered.
bool assign_column(LogTable& table, std::size_t column, std::string_view label);

struct LogTableResult {
    bool ok = false;  // false: the log is as it was
    bool cut = false;
    int bad_lines = 0;
    std::vector<std::string> ignored_columns;  // titles of the columns nobody assigned
    std::string message;  // the reason of a refusal, or what was skipped and converted
};

// Replaces the log with the table's rows. Bad lines are skipped and named; a
// table most of whose lines are bad is refused.
LogTableResult read_log_table(LogBuffer& log, std::string_view text, const LogTable& table);
// The same with the columns found by name alone, the rest ignored.
LogTableResult read_log_table_text(LogBuffer& log, std::string_view text);

// A table file; the file is read only up to a bound, past which the result is cut.
LogTableResult log_table_read_file(LogBuffer& log, const std::filesystem::path& path);
bool read_log_table_bytes(const std::filesystem::path& path, std::string& bytes, std::string& error,
                          bool& cut);

// Any log by its name: a table by its extension, otherwise the log file
// reader or the Mazda import as "Load Log File" chooses them.
LogReadResult load_any_log(LogBuffer& log, const std::filesystem::path& path);

}  // namespace veloquin
