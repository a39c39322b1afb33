#include "datalogs/log_words.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace veloquin {
namespace {

// The conversion as the reader made it before it had a fast path of its own:
// from_chars for everything, strtod for the direction of an overflow.
double standard_conversion(std::string_view word) {
    std::size_t i = 0;
    if (i < word.size() && word[i] == '+') {
        ++i;
        if (i < word.size() && word[i] == '-') return 0.0;
    }
    double value = 0.0;
    const auto result = std::from_chars(word.data() + i, word.data() + word.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        value = std::strtod(std::string(word.substr(i)).c_str(), nullptr);
    } else if (result.ec != std::errc() || !std::isfinite(value)) {
        return 0.0;
    }
    constexpr double kMax = std::numeric_limits<float>::max();
    return std::clamp(value, -kMax, kMax);
}

void expect_same_bits(std::string_view word) {
    const double expected = standard_conversion(word);
    const double got = word_to_double(word);
    ASSERT_EQ(std::bit_cast<std::uint64_t>(got), std::bit_cast<std::uint64_t>(expected))
        << "\"" << word << "\": " << got << " instead of " << expected;
}

TEST(LogWords, NumbersReadBitForBitAsTheStandardConversion) {
    std::array<char, 64> buf{};
    // What a log holds: every value the writer prints at each precision, and
    // the digits of a float printed in full.
    for (int precision = 0; precision <= 3; ++precision) {
        for (int k = -300000; k <= 300000; k += 7) {
            const double value = k / std::pow(10.0, precision);
            std::snprintf(buf.data(), buf.size(), "%.*f", precision, value);
            expect_same_bits(buf.data());
        }
    }
    std::mt19937_64 rng(17);
    for (int n = 0; n < 100000; ++n) {
        const auto bits = static_cast<std::uint32_t>(rng());
        const float value = std::bit_cast<float>(bits);
        std::snprintf(buf.data(), buf.size(), "%.*f", static_cast<int>(rng() % 12),
                      static_cast<double>(value));
        expect_same_bits(std::string_view(buf.data()).substr(0, kMaxLogWordLength));
    }
    // Around the limits of the fast path: 2^53, nineteen and twenty digits,
    // signs, points without digits, exponents, junk after the number.
    for (const char* word : {"9007199254740992",
                             "9007199254740993",
                             "9007199254740994",
                             "900719925474099.3",
                             "9007199254740993.5",
                             "1234567890123456789",
                             "12345678901234567890",
                             "0.0000000000000000001",
                             "0000000000000000000001.5",
                             "-0",
                             "-0.00",
                             "+0",
                             "+-1",
                             "-+1",
                             "++1",
                             "--1",
                             ".",
                             "-.",
                             "+.",
                             ".5",
                             "-.5",
                             "5.",
                             "-5.",
                             "1.5e3",
                             "1.5E-3",
                             "1.5e",
                             "1e999",
                             "-1e999",
                             "1e-999",
                             "1.2.3",
                             "12abc",
                             "0x1p3",
                             "inf",
                             "-nan",
                             ""}) {
        expect_same_bits(word);
    }
    // Random words of the characters numbers are made of.
    constexpr std::string_view kAlphabet = "0123456789000000.-+eE5x";
    std::string word;
    for (int n = 0; n < 200000; ++n) {
        word.assign(1 + rng() % kMaxLogWordLength, ' ');
        for (char& c : word)
            c = kAlphabet[rng() % kAlphabet.size()];
        expect_same_bits(word);
    }
}

TEST(LogWords, WordStartsCountedInPiecesMatchAByteAtATime) {
    // Every blank, NUL and bytes whose low seven bits are a blank or a digit.
    constexpr std::array<char, 12> kBytes = {' ',  '\t', '\n', '\v',   '\f',   '\r',
                                             '\0', 'a',  '7',  '\x89', '\xa0', '\x8d'};
    std::mt19937 rng(5);
    for (int n = 0; n < 2000; ++n) {
        std::string text(rng() % 300, ' ');
        for (char& c : text)
            c = kBytes[rng() % kBytes.size()];
        std::size_t expected = 0;
        bool before_blank = true;
        for (const char c : text) {
            const bool blank = c == ' ' || (c >= '\t' && c <= '\r');
            if (!blank && before_blank) ++expected;
            before_blank = blank;
        }
        std::size_t counted = 0;
        bool in_word = false;
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t piece = std::min<std::size_t>(1 + rng() % 40, text.size() - at);
            counted += count_word_starts(std::string_view(text).substr(at, piece), in_word);
            at += piece;
        }
        ASSERT_EQ(counted, expected) << n;
        EXPECT_EQ(in_word, !before_blank);
    }
}

}  // namespace
}  // namespace veloquin
