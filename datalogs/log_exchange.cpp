#include "datalogs/log_exchange.h"

#include <array>
#include <cctype>
#include <charconv>
#include <ctime>

#include "calfile/atomic_file.h"
#include "datalogs/log_channels.h"

namespace veloquin {

namespace {

using S = LogSample;

// Where the Mazda import put each quantity; the load is written as the file
// had it (inj_duty), not doubled as the viewer's band keeps it.
constexpr std::array<TableExportColumn, 6> kMazdaColumns = {{
    {"Load", "%", nullptr, &S::inj_duty},
    {"BOOST", "bar", nullptr, &S::boost},
    {"RPM", "rpm", &S::rpm, nullptr},
    {"Ignition", "deg", &S::temperature, nullptr},
    {"AirFlow", "", nullptr, &S::maf_in},
    {"Throttle", "%", nullptr, &S::throttle},
}};

struct TableStyle {
    char delimiter;
    bool units_in_header;  // "RPM (rpm)"; otherwise a units row follows the names
};

void append_number(std::string& out, const TableExportColumn& column, const LogSample& sample) {
    std::array<char, 64> text{};
    const auto r = column.int_field != nullptr
                       ? std::to_chars(text.begin(), text.end(), sample.*column.int_field)
                       : std::to_chars(text.begin(), text.end(), sample.*column.real_field);
    out.append(text.data(), r.ptr);
}

// Seconds from the first sample to the millisecond; the unsigned difference
// stays right across a wrap of the device's clock.
void append_seconds(std::string& out, std::uint32_t ms) {
    std::array<char, 16> text{};
    out.append(text.data(), std::to_chars(text.begin(), text.end(), ms / 1000).ptr);
    const std::uint32_t rest = ms % 1000;
    out += '.';
    out += static_cast<char>('0' + rest / 100);
    out += static_cast<char>('0' + rest / 10 % 10);
    out += static_cast<char>('0' + rest % 10);
}

// A marker's text as a field: quoted when a comma table needs it, and never
// with a delimiter or a line end that would break the row.
void append_text(std::string& out, std::string_view text, char delimiter) {
    const bool quote = delimiter == ',' && text.find_first_of(",\"\r\n") != std::string_view::npos;
    if (quote) out += '"';
    for (const char c : text) {
        if (c == '\r' || c == '\n' || (c == '\t' && delimiter == '\t')) {
            out += ' ';
        } else {
            if (c == '"' && quote) out += '"';
            out += c;
        }
    }
    if (quote) out += '"';
}

// The markers' texts by sample, several on one sample joined.
std::vector<std::string> marker_texts(const LogBuffer& log) {
    std::vector<std::string> texts;
    if (log.markers.empty()) return texts;
    texts.resize(static_cast<std::size_t>(log.count));
    for (const LogMarker& m : log.markers) {
        if (m.sample < 0 || m.sample >= log.count) continue;
        std::string& t = texts[static_cast<std::size_t>(m.sample)];
        if (!t.empty()) t += "; ";
        t += m.text;
    }
    return texts;
}

void append_header(std::string& out, const LogBuffer& log,
                   const std::vector<TableExportColumn>& columns, TableStyle style) {
    std::string units;
    auto add = [&](std::string_view name, std::string_view unit, bool first) {
        if (!first) {
            out += style.delimiter;
            units += style.delimiter;
        }
        out += name;
        units += unit;
        if (style.units_in_header && !unit.empty()) {
            out += " (";
            out += unit;
            out += ')';
        }
    };
    if (log.has_times) add("Time", "s", true);
    for (std::size_t c = 0; c < columns.size(); ++c)
        add(columns[c].name, columns[c].unit, c == 0 && !log.has_times);
    if (!log.markers.empty()) add("Marker", "", false);
    out += '\n';
    if (!style.units_in_header) out += units + '\n';
}

std::string format_table(const LogBuffer& log, TableStyle style, std::string out) {
    const std::vector<TableExportColumn> columns = table_export_columns(log);
    const std::vector<std::string> markers = marker_texts(log);
    append_header(out, log, columns, style);
    out.reserve(out.size() + static_cast<std::size_t>(log.count) * (columns.size() * 8 + 12));
    const auto samples = log.valid();
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (log.has_times) {
            append_seconds(out, samples[i].time_ms - samples.front().time_ms);
            out += style.delimiter;
        }
        for (std::size_t c = 0; c < columns.size(); ++c) {
            if (c > 0) out += style.delimiter;
            append_number(out, columns[c], samples[i]);
        }
        if (!markers.empty()) {
            out += style.delimiter;
            append_text(out, markers[i], style.delimiter);
        }
        out += '\n';
    }
    return out;
}

std::string lower_case(std::string_view text) {
    std::string out;
    for (const char c : text)
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string capture_date(const LocalTime& now) {
    std::tm t = tm_of(now);
    t.tm_isdst = -1;
    std::mktime(&t);  // the weekday the date falls on
    std::array<char, 64> text{};
    const std::size_t n = std::strftime(text.data(), text.size(), "%a %b %d %H:%M:%S %Y", &t);
    return {text.data(), n};
}

}  // namespace

LogFormat log_format_of(std::string_view path) {
    const std::string name = lower_case(path);
    auto ends_with = [&name](std::string_view tail) {
        return name.size() >= tail.size() &&
               name.compare(name.size() - tail.size(), tail.size(), std::string(tail)) == 0;
    };
    if (ends_with(".csv")) return LogFormat::csv;
    if (ends_with(".msl")) return LogFormat::msl;
    return LogFormat::log;
}

std::vector<TableExportColumn> table_export_columns(const LogBuffer& log) {
    if (log.mazda_log) return {kMazdaColumns.begin(), kMazdaColumns.end()};
    std::vector<TableExportColumn> columns;
    for (const LogChannelInfo& c : log_channel_table()) {
        if (c.computed != ComputedChannel::none) continue;
        columns.push_back({c.name, c.unit, c.int_field, c.real_field});
    }
    return columns;
}

std::string format_log_csv(const LogBuffer& log) {
    return format_table(log, {',', true}, {});
}

std::string format_log_msl(const LogBuffer& log, std::string_view capture_date) {
    std::string out = "\"Veloquin data log\"\n";
    out += "Capture Date: ";
    out += capture_date;
    out += '\n';
    return format_table(log, {'\t', false}, std::move(out));
}

LogWriteResult write_log_as(const LogBuffer& log, const std::filesystem::path& path,
                            const LocalTime& now) {
    const LogFormat format = log_format_of(path.string());
    if (format == LogFormat::log) return log_write_file(log, path);
    const std::string text =
        format == LogFormat::csv ? format_log_csv(log) : format_log_msl(log, capture_date(now));
    LogWriteResult result;
    std::string error;
    result.ok = write_file_atomically(path, text, &error);
    if (!result.ok) result.message = error;
    return result;
}

}  // namespace veloquin
