#include "datalogs/log_import.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

#include "datalogs/log_exchange.h"
#include "datalogs/log_import_columns.h"
#include "datalogs/mazda_import.h"

namespace veloquin {

namespace {

// Bad lines named in a message; the rest are only counted.
constexpr std::size_t kNamedBadLines = 10;
// A table holds about as many bytes a sample as a log file; a file chosen by
// mistake is not read whole.
constexpr std::size_t kTableReadBytes = std::size_t{512} << 20;

// Lines of a text, the line end (LF or CR LF) taken off.
class LineReader {
  public:
    LineReader(std::string_view text, std::size_t offset, int number)
        : text_(text), pos_(offset), number_(number - 1) {}
    bool next(std::string_view& line) {
        if (pos_ >= text_.size()) return false;
        std::size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos) end = text_.size();
        line = text_.substr(pos_, end - pos_);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        pos_ = end + 1;
        ++number_;
        return true;
    }
    std::size_t position() const { return std::min(pos_, text_.size()); }
    int number() const { return number_; }

  private:
    std::string_view text_;
    std::size_t pos_;
    int number_;
};

bool blank_line(std::string_view line) {
    return line.find_first_not_of(" \t,;") == std::string_view::npos;
}

// Fields split at the delimiter; a delimiter inside double quotes is text.
void split_fields(std::string_view line, char delimiter, std::vector<std::string_view>& fields) {
    fields.clear();
    std::size_t start = 0;
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') quoted = !quoted;
        if (line[i] == delimiter && !quoted) {
            fields.push_back(line.substr(start, i - start));
            start = i + 1;
        }
    }
    fields.push_back(line.substr(start));
}

// The delimiter the header uses most, a tab before a semicolon before a comma.
char detect_delimiter(std::string_view header) {
    std::array<std::size_t, 3> counts{};
    constexpr std::array<char, 3> kDelimiters = {'\t', ';', ','};
    bool quoted = false;
    for (const char c : header) {
        if (c == '"') quoted = !quoted;
        for (std::size_t d = 0; d < kDelimiters.size() && !quoted; ++d)
            counts[d] += c == kDelimiters[d] ? 1 : 0;
    }
    const auto most = std::max_element(counts.begin(), counts.end());
    return *most == 0 ? ',' : kDelimiters[static_cast<std::size_t>(most - counts.begin())];
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// A field without its blanks and surrounding quotes.
std::string_view bare(std::string_view field) {
    field = trimmed(field);
    if (field.size() >= 2 && field.front() == '"' && field.back() == '"') {
        field = trimmed(field.substr(1, field.size() - 2));
    }
    return field;
}

// A units row's field: "(kPa)" and "[kPa]" are "kPa".
std::string_view unit_text(std::string_view field) {
    field = bare(field);
    if (field.size() >= 2 && (field.front() == '(' || field.front() == '[') &&
        (field.back() == ')' || field.back() == ']')) {
        field = trimmed(field.substr(1, field.size() - 2));
    }
    return field;
}

// A whole field as a number, with a decimal comma where the delimiter allows
// one; false for anything else, infinities and NaN included.
bool parse_number(std::string_view field, char delimiter, double& value) {
    field = bare(field);
    if (!field.empty() && field.front() == '+') field.remove_prefix(1);
    if (field.empty() || field.size() > 64) return false;
    std::array<char, 64> text{};
    std::copy(field.begin(), field.end(), text.begin());
    if (delimiter != ',') std::replace(text.begin(), text.begin() + field.size(), ',', '.');
    const char* end = text.data() + field.size();
    const auto r = std::from_chars(text.data(), end, value);
    return r.ec == std::errc{} && r.ptr == end && std::isfinite(value);
}

// A time of day ("14:03:07.250", "03:07.25") in seconds, as some tools
// write their time column.
bool parse_clock(std::string_view field, char delimiter, double& seconds) {
    field = bare(field);
    seconds = 0.0;
    int parts = 0;
    while (parts < 3) {
        const auto colon = field.find(':');
        double part = 0.0;
        if (!parse_number(field.substr(0, colon), delimiter, part) || part < 0.0) return false;
        seconds = seconds * 60.0 + part;
        ++parts;
        if (colon == std::string_view::npos) return parts > 1;
        field.remove_prefix(colon + 1);
    }
    return false;
}

// The line under the names holds units when none of its fields is a number
// and some field is a unit: a bad first data line is no units row.
bool is_units_row(std::string_view line, char delimiter) {
    std::vector<std::string_view> fields;
    split_fields(line, delimiter, fields);
    double value = 0.0;
    return std::none_of(fields.begin(), fields.end(),
                        [&](auto f) { return parse_number(f, delimiter, value); }) &&
           std::any_of(fields.begin(), fields.end(),
                       [](auto f) { return is_known_unit(unit_text(f)); });
}

void take_units_row(LogTable& table, std::string_view line) {
    std::vector<std::string_view> fields;
    split_fields(line, table.delimiter, fields);
    for (std::size_t c = 0; c < table.columns.size() && c < fields.size(); ++c) {
        TableColumn& column = table.columns[c];
        if (column.unit.empty()) {
            column.unit = std::string(unit_text(fields[c]));
        }
    }
}

std::string unquoted(std::string_view field) {
    field = trimmed(field);
    if (field.size() < 2 || field.front() != '"' || field.back() != '"') return std::string(field);
    std::string out;
    for (std::size_t i = 1; i + 1 < field.size(); ++i) {
        out += field[i];
        if (field[i] == '"' && field[i + 1] == '"') ++i;
    }
    return out;
}

std::size_t field_count(std::string_view line, char delimiter) {
    std::vector<std::string_view> fields;
    split_fields(line, delimiter, fields);
    return fields.size();
}

bool has_number(std::string_view line, char delimiter) {
    std::vector<std::string_view> fields;
    split_fields(line, delimiter, fields);
    double value = 0.0;
    return std::any_of(fields.begin(), fields.end(),
                       [&](auto f) { return parse_number(f, delimiter, value); });
}

// Some tools write a few lines about the session before the header. The
// header is the first line of several names that the line after it matches
// field for field; without one, the first line is taken.
void skip_preamble(LineReader& lines, std::string_view& line) {
    constexpr int kPreambleLines = 20;
    LineReader candidate = lines;
    std::string_view here = line;
    for (int i = 0; i < kPreambleLines; ++i) {
        const char delimiter = detect_delimiter(here);
        const std::size_t n = field_count(here, delimiter);
        LineReader ahead = candidate;
        std::string_view next;
        while (ahead.next(next) && blank_line(next)) {
        }
        if (n >= 2 && field_count(next, delimiter) == n && !has_number(here, delimiter)) {
            lines = candidate;
            line = here;
            return;
        }
        if (blank_line(next)) return;
        candidate = ahead;
        here = next;
    }
}

}  // namespace

std::optional<LogTable> read_log_table_layout(std::string_view text, std::string& error) {
    // Spreadsheets on some desktops save with a byte order mark, which would
    // hide the first column's name.
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    LineReader lines(text, text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0, 1);
    std::string_view line;
    while (lines.next(line) && blank_line(line)) {
    }
    if (blank_line(line)) {
        error = "the file holds no header row";
        return std::nullopt;
    }
    // The tab-separated text opens with a quoted title and a capture date.
    bool units_row_follows = false;
    if (line.starts_with('"')) {
        LineReader ahead = lines;
        std::string_view second;
        if (ahead.next(second) && trimmed(second).starts_with("Capture Date")) {
            lines = ahead;
            lines.next(line);
            units_row_follows = true;
        }
    }
    if (!units_row_follows) skip_preamble(lines, line);
    LogTable table;
    table.delimiter = units_row_follows ? '\t' : detect_delimiter(line);
    std::vector<std::string_view> fields;
    split_fields(line, table.delimiter, fields);
    for (const std::string_view f : fields)
        table.columns.push_back(parse_column_title(f));
    LineReader ahead = lines;
    std::string_view units;
    if (ahead.next(units) && (units_row_follows || is_units_row(units, table.delimiter))) {
        take_units_row(table, units);
        lines = ahead;
    }
    table.data_offset = lines.position();
    table.data_line = lines.number() + 1;
    return table;
}

std::vector<std::size_t> unmatched_columns(const LogTable& table) {
    std::vector<std::size_t> out;
    for (std::size_t c = 0; c < table.columns.size(); ++c) {
        const TableColumn& column = table.columns[c];
        if (!column.matched && !column.title.empty()) out.push_back(c);
    }
    return out;
}

std::string log_table_key(const LogTable& table) {
    std::string key;
    for (const TableColumn& column : table.columns) {
        if (&column != &table.columns.front()) key += '\t';
        for (const char ch : column.title)
            key += ch == '\t' || ch == '\r' || ch == '\n' ? ' ' : ch;
    }
    return key;
}

std::vector<std::string> column_target_labels() {
    std::vector<std::string> labels = {"Ignore", "Time (s)", "Time (ms)", "Marker"};
    for (const LogChannelInfo& c : log_channel_table()) {
        if (c.computed != ComputedChannel::none) continue;
        labels.push_back(c.unit.empty() ? std::string(c.name)
                                        : std::string(c.name) + " (" + std::string(c.unit) + ")");
    }
    return labels;
}

bool assign_column(LogTable& table, std::size_t column, std::string_view label) {
    const std::vector<std::string> labels = column_target_labels();
    const auto found = std::find(labels.begin(), labels.end(), label);
    if (found == labels.end() || column >= table.columns.size()) return false;
    TableColumn& c = table.columns[column];
    const auto index = static_cast<std::size_t>(found - labels.begin());
    if (index == 0) c.target = {};
    if (index == 1 || index == 2) {
        c.target = {ColumnRole::time, nullptr};
        c.unit = index == 1 ? "s" : "ms";
    }
    if (index == 3) c.target = {ColumnRole::marker, nullptr};
    if (index > 3) {
        c.target = {ColumnRole::channel, find_log_channel(label.substr(0, label.find(" (")))};
    }
    c.matched = true;
    return true;
}

namespace {

// One column's way into a sample.
struct ColumnReader {
    std::size_t index;
    ColumnRole role;
    const LogChannelInfo* channel;
    UnitConversion conversion;
};

struct TableRows {
    std::vector<LogSample> samples;
    std::vector<LogMarker> markers;
    std::vector<int> bad_lines;
    int bad_count = 0;
};

// Stores a converted value; false when it does not fit the field.
bool store_value(LogSample& sample, const ColumnReader& r, double value) {
    const double v = value * r.conversion.scale + r.conversion.offset;
    if (r.role == ColumnRole::time) {
        if (std::fabs(v) > 9.0e15) return false;
        sample.time_ms = static_cast<std::uint32_t>(static_cast<std::int64_t>(std::llround(v)));
        return true;
    }
    if (r.channel->int_field != nullptr) {
        const double rounded = std::round(v);
        if (!(std::fabs(rounded) <= std::numeric_limits<std::int32_t>::max())) return false;
        sample.*r.channel->int_field = static_cast<std::int32_t>(rounded);
        return true;
    }
    if (!(std::fabs(v) <= std::numeric_limits<float>::max())) return false;
    sample.*r.channel->real_field = static_cast<float>(v);
    return std::isfinite(sample.*r.channel->real_field);
}

bool read_row(const std::vector<std::string_view>& fields, const std::vector<ColumnReader>& readers,
              char delimiter, LogSample& sample, std::string& marker) {
    for (const ColumnReader& r : readers) {
        if (r.role == ColumnRole::marker) {
            if (r.index < fields.size()) marker = unquoted(fields[r.index]);
            continue;
        }
        if (r.index >= fields.size()) return false;
        // Tools that log channels at different rates leave a cell empty
        // until a new reading comes: the last one holds.
        if (bare(fields[r.index]).empty()) continue;
        double value = 0.0;
        bool parsed = parse_number(fields[r.index], delimiter, value);
        if (!parsed && r.role == ColumnRole::time &&
            parse_clock(fields[r.index], delimiter, value)) {
            value *= 1000.0 / r.conversion.scale;  // a clock reads seconds whatever the unit
            parsed = true;
        }
        if (!parsed || !store_value(sample, r, value)) return false;
    }
    return true;
}

TableRows read_rows(std::string_view text, const LogTable& table,
                    const std::vector<ColumnReader>& readers) {
    TableRows rows;
    LineReader lines(text, table.data_offset, table.data_line);
    std::vector<std::string_view> fields;
    std::string_view line;
    while (lines.next(line)) {
        if (blank_line(line)) continue;
        split_fields(line, table.delimiter, fields);
        LogSample sample = rows.samples.empty() ? LogSample{} : rows.samples.back();
        std::string marker;
        if (!read_row(fields, readers, table.delimiter, sample, marker)) {
            if (rows.bad_lines.size() < kNamedBadLines) rows.bad_lines.push_back(lines.number());
            ++rows.bad_count;
            continue;
        }
        if (!marker.empty()) {
            rows.markers.push_back({static_cast<std::int64_t>(rows.samples.size()), marker});
        }
        rows.samples.push_back(sample);
    }
    return rows;
}

std::string line_list(const TableRows& rows) {
    std::string out = rows.bad_lines.size() == 1 ? "line " : "lines ";
    for (std::size_t i = 0; i < rows.bad_lines.size(); ++i) {
        if (i > 0) out += ", ";
        out += std::to_string(rows.bad_lines[i]);
    }
    const auto more = static_cast<std::size_t>(rows.bad_count) - rows.bad_lines.size();
    if (more > 0) out += " and " + std::to_string(more) + " more";
    return out;
}

void add_note(std::string& message, const std::string& note) {
    if (!message.empty()) message += "; ";
    message += note;
}

std::vector<ColumnReader> column_readers(const LogTable& table, LogTableResult& result) {
    std::vector<ColumnReader> readers;
    // Where two columns hold one quantity ("Boost (psi)" and "MAP (kPa)"),
    // the first is read and the other listed as ignored.
    auto taken = [&readers](const ColumnTarget& t) {
        return t.role != ColumnRole::marker &&
               std::any_of(readers.begin(), readers.end(), [&t](const ColumnReader& r) {
                   return r.role == t.role && r.channel == t.channel;
               });
    };
    for (std::size_t c = 0; c < table.columns.size(); ++c) {
        const TableColumn& column = table.columns[c];
        if (column.target.role != ColumnRole::ignored && taken(column.target)) {
            result.ignored_columns.push_back(column.title);
            continue;
        }
        if (column.target.role == ColumnRole::ignored) {
            if (!column.matched && !column.title.empty()) {
                result.ignored_columns.push_back(column.title);
            }
            continue;
        }
        const UnitConversion conversion = unit_conversion(column);
        if (conversion.lambda) {
            add_note(result.message,
                     "AFR read from lambda in \"" + column.title + "\" (times 14.7)");
        }
        if (!conversion.known) {
            add_note(result.message, "unit \"" + column.unit + "\" of \"" + column.title +
                                         "\" not known: its values were taken as they are");
        }
        readers.push_back({c, column.target.role, column.target.channel, conversion});
    }
    return readers;
}

bool has_time_column(const std::vector<ColumnReader>& readers) {
    return std::any_of(readers.begin(), readers.end(),
                       [](const ColumnReader& r) { return r.role == ColumnRole::time; });
}

void store_rows(LogBuffer& log, TableRows& rows, bool times) {
    if (log.samples.size() < rows.samples.size()) log.samples.resize(rows.samples.size());
    std::copy(rows.samples.begin(), rows.samples.end(), log.samples.begin());
    log.count = static_cast<std::int32_t>(rows.samples.size());
    log.markers = std::move(rows.markers);
    log.has_times = times;
    log.mazda_log = false;
    clear_log_cursor(log);
    log.mark_changed();
}

}  // namespace

LogTableResult read_log_table(LogBuffer& log, std::string_view text, const LogTable& table) {
    LogTableResult result;
    const std::vector<ColumnReader> readers = column_readers(table, result);
    TableRows rows = read_rows(text, table, readers);
    const auto good = static_cast<int>(rows.samples.size());
    if (rows.bad_count > good || good == 0 || readers.empty() ||
        rows.samples.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        result.message = good == 0 && rows.bad_count == 0
                             ? "the file holds no samples"
                             : std::to_string(rows.bad_count) + " of " +
                                   std::to_string(rows.bad_count + good) + " lines do not parse (" +
                                   line_list(rows) + ")";
        if (readers.empty()) result.message = "no column of the file could be read";
        return result;
    }
    result.ok = true;
    result.bad_lines = rows.bad_count;
    if (rows.bad_count > 0) {
        add_note(result.message, std::to_string(rows.bad_count) + " bad line" +
                                     (rows.bad_count == 1 ? "" : "s") + " skipped (" +
                                     line_list(rows) + ")");
    }
    if (!result.ignored_columns.empty()) {
        std::string names;
        for (const std::string& n : result.ignored_columns)
            names += (names.empty() ? "" : ", ") + n;
        add_note(result.message, "columns ignored: " + names);
    }
    store_rows(log, rows, has_time_column(readers));
    return result;
}

LogTableResult read_log_table_text(LogBuffer& log, std::string_view text) {
    std::string error;
    const std::optional<LogTable> table = read_log_table_layout(text, error);
    if (!table) {
        LogTableResult refused;
        refused.message = error;
        return refused;
    }
    return read_log_table(log, text, *table);
}

bool read_log_table_bytes(const std::filesystem::path& path, std::string& bytes, std::string& error,
                          bool& cut) {
    LogBytesStop stop = LogBytesStop::end;
    const bool read = read_log_bytes(
        path, bytes, error, {std::numeric_limits<std::size_t>::max(), kTableReadBytes}, &stop);
    cut = stop == LogBytesStop::byte_bound;
    return read;
}

LogTableResult log_table_read_file(LogBuffer& log, const std::filesystem::path& path) {
    std::string bytes;
    LogTableResult result;
    bool cut = false;
    if (!read_log_table_bytes(path, bytes, result.message, cut)) return result;
    result = read_log_table_text(log, bytes);
    if (cut) {
        result.cut = true;
        add_note(result.message, "the file is too large for a log; only its first " +
                                     std::to_string(bytes.size() >> 20) + " MB were read");
    }
    return result;
}

LogReadResult load_any_log(LogBuffer& log, const std::filesystem::path& path) {
    if (log_format_of(path.string()) == LogFormat::log) return load_log_by_name(log, path);
    const LogTableResult table = log_table_read_file(log, path);
    LogReadResult result;
    result.ok = table.ok;
    result.cut = table.cut;
    result.message = table.ok ? table.message : path.string() + ": " + table.message;
    return result;
}

}  // namespace veloquin
