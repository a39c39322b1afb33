#include "datalogs/log_words.h"

#include "datalogs/log_sample.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace veloquin {

namespace {

bool is_blank(char c) {
    // The C locale's white space; a NUL byte is part of a word, as it was
    // for the stream reader the files were written for.
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

constexpr double kFloatMax = static_cast<double>(std::numeric_limits<float>::max());

}  // namespace

void LogWordReader::skip_blanks() {
    while (pos_ < text_.size() && is_blank(text_[pos_]))
        ++pos_;
}

bool LogWordReader::at_end() {
    skip_blanks();
    return pos_ >= text_.size();
}

bool LogWordReader::next(std::string_view& word) {
    skip_blanks();
    if (pos_ >= text_.size()) return false;
    const std::size_t start = pos_;
    while (pos_ < text_.size() && !is_blank(text_[pos_]))
        ++pos_;
    std::size_t length = pos_ - start;
    if (length > kMaxLogWordLength) {
        ++overlong_words_;
        length = kMaxLogWordLength;
    }
    word = text_.substr(start, length);
    return true;
}

std::size_t count_word_starts(std::string_view piece, bool& in_word) {
    std::size_t starts = 0;
    for (const char c : piece) {
        const bool blank = is_blank(c);
        if (!blank && !in_word) ++starts;
        in_word = !blank;
    }
    return starts;
}

std::string describe_read_problems(bool cut, int overlong_words) {
    std::string message;
    if (cut) {
        message = "the file holds more than " + std::to_string(LOG_CAPACITY) +
                  " samples; the log was cut after the first " + std::to_string(LOG_CAPACITY);
    }
    if (overlong_words > 0) {
        if (!message.empty()) message += "; ";
        message += std::to_string(overlong_words) + " words longer than " +
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

double word_to_double(std::string_view word) {
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
