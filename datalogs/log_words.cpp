#include "datalogs/log_words.h"

#include "datalogs/log_sample.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace veloquin {

namespace {

constexpr double kFloatMax = static_cast<double>(std::numeric_limits<float>::max());

constexpr std::uint64_t kEveryByte = 0x0101010101010101U;
constexpr std::uint64_t kHighBits = 0x80 * kEveryByte;
constexpr std::uint64_t kLowBits = 0x7F * kEveryByte;

// Bit 7 of each byte of the result is set where that byte of `bytes` is a
// blank, as is_log_blank says. The sums run on the low seven bits only, so no
// byte carries into the next; bytes with bit 7 set are never blank.
constexpr std::uint64_t blank_bytes(std::uint64_t bytes) {
    const std::uint64_t low = bytes & kLowBits;
    const std::uint64_t from_tab = low + (0x80 - '\t') * kEveryByte;         // byte >= '\t'
    const std::uint64_t past_return = low + (0x80 - '\r' - 1) * kEveryByte;  // byte > '\r'
    const std::uint64_t not_space = (low ^ (' ' * kEveryByte)) + kLowBits;   // byte != ' '
    return ((from_tab & ~past_return) | ~not_space) & ~bytes & kHighBits;
}

}  // namespace

std::size_t count_word_starts(std::string_view piece, bool& in_word) {
    // A word starts wherever a non-blank follows a blank. Eight bytes at a
    // time where the first byte loads lowest: a byte at a time, counting took
    // longer than reading the file.
    std::size_t starts = 0;
    std::size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::uint64_t blank_before = in_word ? 0U : kHighBits;  // only byte 0's bit counts
        for (; i + 8 <= piece.size(); i += 8) {
            std::uint64_t bytes = 0;
            std::memcpy(&bytes, piece.data() + i, sizeof bytes);
            const std::uint64_t blank = blank_bytes(bytes);
            const std::uint64_t before = (blank << 8) | (blank_before >> 56);
            // One bit per byte moved to bit 0; the product sums the bytes into the top one.
            const std::uint64_t word_starts = (~blank & before & kHighBits) >> 7;
            starts += static_cast<std::size_t>((word_starts * kEveryByte) >> 56);
            blank_before = blank;
        }
        if (i > 0) in_word = (blank_before >> 63) == 0;
    }
    for (; i < piece.size(); ++i) {
        const bool blank = is_log_blank(piece[i]);
        if (!blank && !in_word) ++starts;
        in_word = !blank;
    }
    return starts;
}

std::string describe_read_problems(int overlong_words) {
    std::string message;
    if (overlong_words > 0) {
        message = std::to_string(overlong_words) + " words longer than " +
                  std::to_string(kMaxLogWordLength) + " characters were cut";
    }
    return message;
}

int word_to_int(std::string_view word) {
    std::size_t i = 0;
    bool negative = false;
    if (i < word.size() && (word[i] == '+' || word[i] == '-')) {
        negative = word[i] == '-';
        ++i;
    }
    std::int64_t value = 0;
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    for (; i < word.size() && word[i] >= '0' && word[i] <= '9'; ++i) {
        value = value * 10 + (word[i] - '0');
        if (value > kLimit) value = kLimit;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<std::int32_t>::max()) {
        value = std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<int>(value);
}

namespace {

constexpr std::array<double, 23> kExactPowersOfTen = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The words a log holds ("-0.70", "14.7", "3000"): a sign, digits and a
// fraction whose digits make an integer of at most 2^53. Both that integer
// and 10^k up to 10^22 are exact doubles, so one correctly rounded division
// gives exactly the double from_chars would; anything else (an exponent, more
// digits, no digits) returns false and takes the general path.
bool read_plain_decimal(std::string_view word, double& value) {
    const bool negative = !word.empty() && word[0] == '-';
    std::size_t i = !word.empty() && (word[0] == '-' || word[0] == '+') ? 1 : 0;
    // Twenty digits could overflow; such words take the general path.
    constexpr int kMaxDigits = 19;
    static_assert(kExactPowersOfTen.size() > kMaxDigits);
    std::uint64_t digits = 0;
    auto take_digits = [&] {
        int taken = 0;
        for (; i < word.size() && word[i] >= '0' && word[i] <= '9'; ++i, ++taken)
            digits = digits * 10 + static_cast<std::uint64_t>(word[i] - '0');
        return taken;
    };
    const int whole = take_digits();
    int fraction = 0;
    if (i < word.size() && word[i] == '.') {
        ++i;
        fraction = take_digits();
    }
    if (whole + fraction == 0 || whole + fraction > kMaxDigits) return false;
    if (i < word.size() && (word[i] == 'e' || word[i] == 'E')) return false;
    if (digits > (std::uint64_t{1} << 53)) return false;
    const double magnitude =
        static_cast<double>(digits) / kExactPowersOfTen[static_cast<std::size_t>(fraction)];
    value = negative ? -magnitude : magnitude;
    return true;
}

}  // namespace

double word_to_double(std::string_view word) {
    if (double plain = 0.0; read_plain_decimal(word, plain)) return plain;
    std::size_t i = 0;
    if (i < word.size() && word[i] == '+') {
        ++i;
        // from_chars takes a minus sign itself but no plus; "+-1" is not a number.
        if (i < word.size() && word[i] == '-') return 0.0;
    }
    double value = 0.0;
    const char* first = word.data() + i;
    const char* last = word.data() + word.size();
    const auto result = std::from_chars(first, last, value);
    if (result.ec == std::errc::result_out_of_range) {
        // Only the sign and the direction of the overflow matter here, which
        // strtod reports; the word is short enough for a local copy.
        std::array<char, kMaxLogWordLength + 1> copy{};
        const auto n = std::min(static_cast<std::size_t>(last - first), kMaxLogWordLength);
        std::copy(first, first + n, copy.begin());
        value = std::strtod(copy.data(), nullptr);
    } else if (result.ec != std::errc() || !std::isfinite(value)) {
        // Not a number, or "inf" and "nan" spelled out: no reading.
        return 0.0;
    }
    return std::clamp(value, -kFloatMax, kFloatMax);
}

float word_to_float(std::string_view word) {
    return static_cast<float>(word_to_double(word));
}

float word_to_real(std::string_view word, std::int64_t& non_finite) {
    if (double plain = 0.0; read_plain_decimal(word, plain) && std::abs(plain) <= kFloatMax) {
        return static_cast<float>(plain);
    }
    const std::size_t skip = !word.empty() && word[0] == '+' ? 1 : 0;
    double value = 0.0;
    const auto result = std::from_chars(word.data() + skip, word.data() + word.size(), value);
    const bool read = result.ec == std::errc() || result.ec == std::errc::result_out_of_range;
    if (read &&
        (result.ec != std::errc() || !std::isfinite(value) || std::abs(value) > kFloatMax)) {
        ++non_finite;
        return std::numeric_limits<float>::quiet_NaN();
    }
    return word_to_float(word);
}

bool word_looks_numeric(std::string_view word) {
    std::size_t i = !word.empty() && (word[0] == '-' || word[0] == '+') ? 1 : 0;
    if (i < word.size() && word[i] == '.') ++i;
    if (i < word.size() && word[i] >= '0' && word[i] <= '9') return true;
    const std::string_view rest = word.substr(std::min(i, word.size()));
    auto starts = [&rest](std::string_view what) {
        if (rest.size() < what.size()) return false;
        for (std::size_t k = 0; k < what.size(); ++k) {
            if ((rest[k] | 0x20) != what[k]) return false;
        }
        return true;
    };
    return starts("nan") || starts("inf");
}

float hold_to_float(double value) {
    if (std::isnan(value)) return 0.0F;
    return static_cast<float>(std::clamp(value, -kFloatMax, kFloatMax));
}

int truncate_to_int(double value) {
    if (!(value > static_cast<double>(std::numeric_limits<std::int32_t>::min()))) {
        return std::isnan(value) ? 0 : std::numeric_limits<std::int32_t>::min();
    }
    if (value >= static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<int>(value);
}

int word_to_truncated_int(std::string_view word) {
    return truncate_to_int(word_to_double(word));
}

}  // namespace veloquin
