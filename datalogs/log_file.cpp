#include "datalogs/log_file.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <system_error>

#include "calfile/atomic_file.h"
#include "datalogs/log_times.h"
#include "datalogs/log_words.h"

namespace veloquin {

namespace {

using K = LogColumnKind;
using S = LogSample;

constexpr std::array<LogColumn, 15> kColumns = {{
    {"  RPM     ", K::integer, &S::rpm, nullptr, 5, -1, 5},
    {"BOOST     ", K::real, nullptr, &S::boost, 1, 2, 7},
    {"THROTTLE   ", K::real, nullptr, &S::throttle, 1, 2, 6},
    {"MAFIn     ", K::real, nullptr, &S::maf_in, 1, 2, 7},
    {"MAFOut    ", K::real, nullptr, &S::maf_out, 1, 2, 8},
    {"FuelCorr    ", K::real, nullptr, &S::fuel_corr, 4, 0, 5},
    {"TEMP      ", K::integer, &S::temperature, nullptr, 3, -1, 4},
    {"AFR     ", K::real, nullptr, &S::afr, 2, 2, 7},
    {"SPEED    ", K::truncated, &S::speed, nullptr, 3, -1, 9},
    {"INJ.DUTY  ", K::real, nullptr, &S::inj_duty, 3, 1, 3},
    {"KNOCK  ", K::real, nullptr, &S::knock, 1, 2, 4},
    {"FLAGS   ", K::integer, &S::flags, nullptr, 3, -1, 4},
    {"LOAD    ", K::integer, &S::ecu_load, nullptr, 3, -1, 2},
    {"IGN   ", K::real, nullptr, &S::ecu_ignition, 3, 2, 6},
    {"WGDuty", K::real, nullptr, &S::wg_duty, 3, 1, 2},
}};

// The exact value of a finite float as m x 2^e.
struct BinaryFloat {
    std::uint64_t mantissa;
    int exponent;
};

BinaryFloat decompose(float value) {
    const auto bits = std::bit_cast<std::uint32_t>(value);
    const std::uint32_t biased = (bits >> 23) & 0xFFU;
    const std::uint32_t fraction = bits & 0x7FFFFFU;
    if (biased == 0) return {fraction, -149};  // subnormal
    return {fraction | 0x800000U, static_cast<int>(biased) - 150};
}

constexpr std::array<std::uint64_t, 3> kPowersOfTen = {1, 10, 100};
static_assert(std::ranges::all_of(kColumns, [](const LogColumn& column) {
    return column.precision < static_cast<int>(kPowersOfTen.size());
}));

// "%.Pf" of a float for the file's precisions (0 to 2): the value times 10^P
// rounded to an integer exactly as printf rounds the exact binary value (ties
// to even), done in integers. Values of 2^40 and above are left to to_chars,
// which gives printf's digits too; false for them.
bool fixed_digits(float value, int precision, char*& out) {
    const BinaryFloat f = decompose(value);
    if (!std::isfinite(value) || f.exponent > 40 - 24) return false;
    const std::uint64_t unit = kPowersOfTen[static_cast<std::size_t>(precision)];
    const std::uint64_t scaled = f.mantissa * unit;
    std::uint64_t units = 0;
    if (f.exponent >= 0) {
        units = scaled << f.exponent;
    } else if (f.exponent > -64) {
        const int shift = -f.exponent;
        units = scaled >> shift;
        const std::uint64_t rest = scaled & ((std::uint64_t{1} << shift) - 1);
        const std::uint64_t half = std::uint64_t{1} << (shift - 1);
        if (rest > half || (rest == half && (units & 1U) != 0)) ++units;
    }  // else below 2^-63 x 2^31: rounds to zero
    if (std::signbit(value)) *out++ = '-';
    out = std::to_chars(out, out + 24, units / unit).ptr;
    if (precision > 0) {
        *out++ = '.';
        std::uint64_t decimals = units % unit;
        for (int d = precision - 1; d >= 0; --d) {
            out[d] = static_cast<char>('0' + decimals % 10);
            decimals /= 10;
        }
        out += precision;
    }
    return true;
}

// The longest field: a float near its limit printed in full (39 digits), its
// sign, point and decimals.
constexpr std::size_t kMaxFieldDigits = 48;
// More than any column's width or trailing blanks.
constexpr std::size_t kBlankRun = 16;
constexpr std::string_view kBlanks = "                ";
static_assert(kBlanks.size() == kBlankRun);

// Writes one field the way "%W d" / "%W.Pf" would print it, then its blanks.
// Blanks and digits are copied in fixed-size blocks, which compile to a few
// moves where counted copies were calls; the line leaves room for the excess.
char* put_field(char* out, const LogColumn& column, const LogSample& sample) {
    std::array<char, kMaxFieldDigits> digits;
    char* end = digits.data();
    if (column.precision < 0) {
        end = std::to_chars(end, digits.data() + digits.size(), sample.*column.int_field).ptr;
    } else {
        const float value = sample.*column.real_field;
        if (!fixed_digits(value, column.precision, end)) {
            end = std::to_chars(end, digits.data() + digits.size(), static_cast<double>(value),
                                std::chars_format::fixed, column.precision)
                      .ptr;
        }
    }
    const auto length = static_cast<int>(end - digits.data());
    std::memcpy(out, kBlanks.data(), kBlankRun);
    out += std::max(0, column.width - length);
    std::memcpy(out, digits.data(), kMaxFieldDigits);
    out += length;
    std::memcpy(out, kBlanks.data(), kBlankRun);
    return out + column.trailing_blanks;
}

// Room for every field at its longest, plus the excess of the last block copy.
constexpr std::size_t kMaxLineLength = kColumns.size() * (kMaxFieldDigits + 2 * kBlankRun) + 2;

// Far past any drive (a day at the stream rate is 37 million samples); a
// bound only so that a disk image chosen by mistake is not read whole.
constexpr std::size_t kMostLogWords = std::size_t{1} << 30;
constexpr std::size_t kMostLogBytes = std::size_t{4} << 30;
constexpr std::size_t kReadChunk = 65536;

std::string describe_errno(int error) {
    return std::generic_category().message(error);
}

}  // namespace

std::span<const LogColumn> log_columns() {
    return kColumns;
}

std::string_view log_column_name(const LogColumn& column) {
    std::string_view name = column.title;
    while (!name.empty() && name.front() == ' ')
        name.remove_prefix(1);
    while (!name.empty() && name.back() == ' ')
        name.remove_suffix(1);
    return name;
}

bool sniff_log_file(std::string_view text) {
    LogWordReader words(text);
    std::string_view first;
    const std::string_view header = kLogFileFirstLine.substr(0, kLogFileFirstLine.find(' '));
    return words.next(first) && first == header;
}

LogReadLimit log_file_read_limit() {
    return {kMostLogWords, kMostLogBytes};
}

LogReadLimit mazda_read_limit() {
    return {kMostLogWords, kMostLogBytes};
}

bool read_log_bytes(const std::filesystem::path& path, std::string& bytes, std::string& error,
                    LogReadLimit limit, LogBytesStop* stop) {
    if (!check_regular_file(path, error)) return false;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = "cannot open " + path.string() + ": " + describe_errno(errno);
        return false;
    }
    std::string data;
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (!ec) data.reserve(std::min<std::uintmax_t>(size, limit.bytes + kReadChunk));
    std::array<char, kReadChunk> chunk{};
    std::size_t n = 0;
    std::size_t words = 0;
    bool in_word = false;
    bool at_byte_bound = false;
    bool at_nul = false;
    while ((n = std::fread(chunk.data(), 1, chunk.size(), file)) > 0) {
        // Text ends at a NUL byte: a binary file, or the zeroed tail a power
        // cut leaves behind the last line a recording wrote.
        const auto* nul = static_cast<const char*>(std::memchr(chunk.data(), 0, n));
        if (nul != nullptr) {
            data.append(chunk.data(), static_cast<std::size_t>(nul - chunk.data()));
            at_nul = true;
            break;
        }
        data.append(chunk.data(), n);
        words += count_word_starts({chunk.data(), n}, in_word);
        if (words > limit.words) break;
        if (data.size() >= limit.bytes) {
            at_byte_bound = true;
            break;
        }
    }
    const bool failed = std::ferror(file) != 0;
    const int read_errno = errno;
    std::fclose(file);
    if (failed) {
        error = "cannot read " + path.string() + ": " + describe_errno(read_errno);
        return false;
    }
    bytes = std::move(data);
    if (stop != nullptr)
        *stop = at_nul ? LogBytesStop::nul
                       : (at_byte_bound ? LogBytesStop::byte_bound : LogBytesStop::end);
    return true;
}

LogReadResult read_log_file_with(LogBuffer& log, const std::filesystem::path& path,
                                 LogReadResult (*read_text)(LogBuffer&, std::string_view),
                                 LogReadLimit limit) {
    std::string bytes;
    std::string error;
    LogBytesStop stop = LogBytesStop::end;
    LogReadResult failed;
    if (!read_log_bytes(path, bytes, error, limit, &stop)) {
        failed.message = error;
        return failed;
    }
    if (stop == LogBytesStop::nul && bytes.find_first_not_of(" \t\r\n\v\f") == std::string::npos) {
        failed.message = path.string() + " is not a log: it holds binary data";
        return failed;
    }
    LogReadResult result = read_text(log, bytes);
    if (stop == LogBytesStop::nul) {
        if (!result.message.empty()) result.message += "; ";
        result.message += "the file ends in binary bytes after byte " +
                          std::to_string(bytes.size()) + "; the text before them was read";
    } else if (stop == LogBytesStop::byte_bound) {
        result.cut = true;
        if (!result.message.empty()) result.message += "; ";
        result.message += "the file is too large for a log; only its first " +
                          std::to_string(bytes.size() >> 20) + " MB were read";
    }
    return result;
}

void append_log_header(std::string& out) {
    out.append(kLogFileFirstLine);
    out.append("\r\n");
    for (const LogColumn& column : kColumns)
        out.append(column.title);
    out.append("\r\n");
}

void append_log_line(std::string& out, const LogSample& sample) {
    // One append per line: the string's bookkeeping per field cost more than the digits.
    std::array<char, kMaxLineLength> line;
    char* end = line.data();
    for (const LogColumn& column : kColumns)
        end = put_field(end, column, sample);
    *end++ = '\r';
    *end++ = '\n';
    out.append(line.data(), static_cast<std::size_t>(end - line.data()));
}

std::string format_log_file(const LogBuffer& log) {
    std::string out;
    // A typical line is about 120 characters.
    out.reserve(200 + static_cast<std::size_t>(log.count) * 128);
    append_log_header(out);
    for (const LogSample& sample : log.valid())
        append_log_line(out, sample);
    return out;
}

LogWriteResult log_write_file(const LogBuffer& log, const std::filesystem::path& path) {
    LogWriteResult result;
    std::string error;
    result.ok = write_file_atomically(path, format_log_file(log), &error) &&
                write_log_companions(log, path, error);
    if (!result.ok) result.message = error;
    return result;
}

}  // namespace veloquin
