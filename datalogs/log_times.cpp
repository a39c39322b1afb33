#include "datalogs/log_times.h"

#include "datalogs/log_markers.h"

#include <charconv>
#include <fstream>
#include <iterator>
#include <system_error>

#include "calfile/atomic_file.h"

namespace veloquin {

std::filesystem::path log_times_path(const std::filesystem::path& log_path) {
    return std::filesystem::path(log_path.string() + ".times");
}

void append_log_times_header(std::string& out) {
    out.append(kLogTimesFirstLine);
    out.push_back('\n');
}

void append_log_time(std::string& out, std::uint32_t after_first_ms) {
    char text[16];
    const auto end = std::to_chars(text, text + sizeof text, after_first_ms).ptr;
    out.append(text, end);
    out.push_back('\n');
}

std::string format_log_times(const LogBuffer& log) {
    std::string out;
    out.reserve(32 + static_cast<std::size_t>(log.count) * 9);
    append_log_times_header(out);
    const auto samples = log.valid();
    for (const LogSample& s : samples)
        append_log_time(out, s.time_ms - samples.front().time_ms);
    return out;
}

bool read_log_times(const std::filesystem::path& path, std::uint32_t count,
                    std::vector<std::uint32_t>& times) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    // Ten characters at most a line: a file far longer is not this log's.
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || size > 64 + std::uintmax_t{count} * 12) return false;
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) return false;
    const std::string first = std::string(kLogTimesFirstLine) + "\n";
    if (text.compare(0, first.size(), first) != 0) return false;
    times.clear();
    times.reserve(count);
    const char* p = text.data() + first.size();
    const char* end = text.data() + text.size();
    while (p < end) {
        std::uint32_t value = 0;
        const auto r = std::from_chars(p, end, value);
        if (r.ec != std::errc() || r.ptr == end || *r.ptr != '\n') return false;
        if (!times.empty() && value < times.back()) return false;
        if (times.size() == count) return false;
        times.push_back(value);
        p = r.ptr + 1;
    }
    return times.size() == count;
}

bool write_log_companions(const LogBuffer& log, const std::filesystem::path& log_path,
                          std::string& error) {
    if (!write_log_markers(log_path, log, &error)) return false;
    const std::filesystem::path times = log_times_path(log_path);
    if (log.has_times && log.count > 0)
        return write_file_atomically(times, format_log_times(log), &error);
    std::error_code ec;
    std::filesystem::remove(times, ec);
    if (ec) error = "cannot remove " + times.string() + ": " + ec.message();
    return !ec;
}

}  // namespace veloquin
