#include "datalogs/log_markers.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <system_error>

#include "calfile/atomic_file.h"
#include "datalogs/log_curve.h"
#include "datalogs/log_zoom.h"

namespace veloquin {

namespace {

constexpr std::size_t kLongestMarkersFile = 16 * 1024 * 1024;
constexpr Rgb kMarkerColor{0, 140, 0};
constexpr int kLabelGap = 3;
constexpr int kLabelRows = 3;
constexpr int kLabelRowHeight = 15;

bool read_int(std::string_view s, std::int64_t& out) {
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc{} && end == s.data() + s.size();
}

// The first line says what the file is, then "sample TAB time TAB text".
bool parse_line(std::string_view line, LogMarker& marker) {
    const auto tab1 = line.find('\t');
    if (tab1 == std::string_view::npos) return false;
    const auto tab2 = line.find('\t', tab1 + 1);
    if (tab2 == std::string_view::npos) return false;
    if (!read_int(line.substr(0, tab1), marker.sample) || marker.sample < 0) return false;
    marker.text = std::string(line.substr(tab2 + 1));
    return true;
}

}  // namespace

std::filesystem::path log_markers_path(const std::filesystem::path& log_path) {
    std::filesystem::path p = log_path;
    p += ".markers";
    return p;
}

void add_log_marker(LogBuffer& log, std::int64_t sample, std::string text) {
    const auto at =
        std::upper_bound(log.markers.begin(), log.markers.end(), sample,
                         [](std::int64_t s, const LogMarker& m) { return s < m.sample; });
    log.markers.insert(at, LogMarker{sample, std::move(text)});
}

std::optional<std::uint32_t> log_marker_time_ms(const LogBuffer& log, const LogMarker& marker) {
    if (!log.has_times || marker.sample >= log.count || log.count == 0) return std::nullopt;
    return log.samples[static_cast<std::size_t>(marker.sample)].time_ms - log.samples[0].time_ms;
}

std::string format_log_markers(const LogBuffer& log) {
    std::string text = std::string(kLogMarkersFormat) + "\n";
    for (const LogMarker& m : log.markers) {
        const auto time = log_marker_time_ms(log, m);
        text += std::to_string(m.sample) + "\t" + (time ? std::to_string(*time) : "-") + "\t";
        // A line break in a typed text would start a marker of its own.
        for (const char c : m.text)
            text += c == '\n' || c == '\r' || c == '\t' ? ' ' : c;
        text += "\n";
    }
    return text;
}

bool parse_log_markers(std::string_view text, LogBuffer& log, std::string& error) {
    log.markers.clear();
    std::vector<LogMarker> markers;
    int number = 0;
    int dropped = 0;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (++number == 1) {
            if (line != kLogMarkersFormat) {
                error = "the first line is not \"" + std::string(kLogMarkersFormat) + "\"";
                return false;
            }
            continue;
        }
        if (line.empty()) continue;
        LogMarker m;
        if (!parse_line(line, m)) {
            error = "line " + std::to_string(number) + " is not sample, time and text";
            return false;
        }
        if (m.sample >= log.count) {
            ++dropped;
            continue;
        }
        markers.push_back(std::move(m));
    }
    if (number == 0) {
        error = "the file is empty";
        return false;
    }
    std::stable_sort(markers.begin(), markers.end(),
                     [](const LogMarker& a, const LogMarker& b) { return a.sample < b.sample; });
    log.markers = std::move(markers);
    if (dropped > 0) error = "markers past the log's end were dropped: " + std::to_string(dropped);
    return true;
}

bool write_log_markers(const std::filesystem::path& log_path, const LogBuffer& log,
                       std::string* error) {
    const std::filesystem::path path = log_markers_path(log_path);
    if (log.markers.empty()) {
        std::error_code ec;
        std::filesystem::remove(path, ec);
        if (ec && error != nullptr) *error = "cannot remove " + path.string() + ": " + ec.message();
        return !ec;
    }
    return write_file_atomically(path, format_log_markers(log), error);
}

std::string read_log_markers(const std::filesystem::path& log_path, LogBuffer& log) {
    log.markers.clear();
    const std::filesystem::path path = log_markers_path(log_path);
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return {};
    std::string error;
    if (!check_regular_file(path, error)) return "markers not read: " + error;
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    const std::string text = bytes.str();
    if (text.size() > kLongestMarkersFile)
        return "markers not read: " + path.string() + " is too long";
    if (!parse_log_markers(text, log, error))
        return "markers not read from " + path.string() + ": " + error;
    return error.empty() ? std::string() : path.string() + ": " + error;
}

std::optional<std::size_t> next_log_marker(const LogBuffer& log, std::int64_t sample,
                                           bool forward) {
    const auto& ms = log.markers;
    if (forward) {
        for (std::size_t i = 0; i < ms.size(); ++i)
            if (ms[i].sample > sample) return i;
        return std::nullopt;
    }
    for (std::size_t i = ms.size(); i-- > 0;)
        if (ms[i].sample < sample) return i;
    return std::nullopt;
}

void put_log_cursor_on(LogBuffer& log, LogView& view, std::int64_t sample) {
    if (log.count <= 0) return;
    const int s = static_cast<int>(std::clamp<std::int64_t>(sample, 0, log.count - 1));
    const SampleRange shown = shown_range(view, log.count);
    if (shown.count < log.count && (s < shown.first || s >= shown.first + shown.count)) {
        view.range.first = std::clamp(s - shown.count / 2, 0, log.count - shown.count);
        view.range.count = shown.count;
    }
    // The marked range of one sample puts any pixel of the plot on it, however
    // many samples a pixel of the view holds.
    log.marked_view_first = s;
    log.marked_view_count = 1;
    log.cursor_px = 1;
    log.anchor_px = 1;
    derive_log_cursor(log, view);
}

std::string log_marker_label(const LogBuffer& log, const LogMarker& marker) {
    const auto time = log_marker_time_ms(log, marker);
    char at[48];
    if (time) {
        std::snprintf(at, sizeof at, "%.3f s", *time / 1000.0);
    } else {
        std::snprintf(at, sizeof at, "sample %lld", static_cast<long long>(marker.sample));
    }
    return std::string(at) + "  " + marker.text;
}

void draw_log_markers(PaintModel& m, const LogBuffer& log, const LogView& view) {
    const SampleRange shown = shown_range(view, log.count);
    const int plot_width = log_plot_width(view);
    const int plot_height = log_viewer_layout(log, view).usable_height;
    if (shown.count <= 0 || plot_width <= 0) return;
    int drawn = 0;
    for (const LogMarker& marker : log.markers) {
        const std::int64_t offset = marker.sample - shown.first;
        if (offset < 0 || offset >= shown.count) continue;
        const int x =
            kLogPlotLeft + sample_column(static_cast<int>(offset), shown.count, plot_width);
        m.draw_line(x, 0, x, plot_height, Pen{kMarkerColor, 1});
        // Labels of markers close together take turns on three rows.
        const int row = drawn++ % kLabelRows;
        m.draw_text(x + kLabelGap, kLabelGap + row * kLabelRowHeight, marker.text, FontId::small,
                    kMarkerColor, Align::left);
    }
}

}  // namespace veloquin
