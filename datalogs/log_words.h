#pragma once
// The word stream both log readers share: white-space-delimited words with
// line ends as plain white space, and the lenient C-style number conversions
// that read a word's leading number and give 0 for anything unreadable.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace veloquin {

// Log words were always read into 32-byte fields; longer words are cut to
// this length so that a damaged file can never push a word past its field.
inline constexpr std::size_t kMaxLogWordLength = 31;

// The C locale's white space; a NUL byte is part of a word, as it was for the
// stream reader the files were written for.
constexpr bool is_log_blank(char c) {
    return c == ' ' || static_cast<unsigned char>(c - '\t') <= '\r' - '\t';
}

// Inline, as is the scan, because a full log is nearly a million words: a
// call per word and per blank run cost a third of the load. (Scanning eight
// bytes at a time was slower here: words and blank runs are short.)
class LogWordReader {
  public:
    explicit LogWordReader(std::string_view text) : text_(text) {}

    // The next word, cut to kMaxLogWordLength characters (the rest of an
    // overlong word is skipped, not read as a word of its own). False at the
    // end of the text.
    bool next(std::string_view& word) {
        skip_blanks();
        if (pos_ >= text_.size()) return false;
        const std::size_t start = pos_;
        while (pos_ < text_.size() && !is_log_blank(text_[pos_]))
            ++pos_;
        std::size_t length = pos_ - start;
        if (length > kMaxLogWordLength) {
            ++overlong_words_;
            length = kMaxLogWordLength;
        }
        word = text_.substr(start, length);
        return true;
    }

    // True when a word follows; the position does not move.
    bool at_end() {
        skip_blanks();
        return pos_ >= text_.size();
    }

    int overlong_words() const { return overlong_words_; }

  private:
    void skip_blanks() {
        while (pos_ < text_.size() && is_log_blank(text_[pos_]))
            ++pos_;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    int overlong_words_ = 0;
};

// Counts the words that begin in one piece of a text read piece by piece;
// `in_word` carries over whether the piece before ended inside a word.
std::size_t count_word_starts(std::string_view piece, bool& in_word);

// The note a reader returns when it cut overlong words; empty when none were.
std::string describe_read_problems(int overlong_words);

// Leading sign and decimal digits; saturates at the 32-bit range.
int word_to_int(std::string_view word);
// Leading number as a double; infinities, NaN and unreadable text give 0,
// magnitudes beyond the float range are held at its limit.
double word_to_double(std::string_view word);
float word_to_float(std::string_view word);
// A value column's word: as word_to_float, but a word that reads as a number
// the float cannot hold ("nan", "inf", 1e39) is a gap, NaN, and counted.
float word_to_real(std::string_view word, std::int64_t& non_finite);
// True when the word begins as a number would (sign, digits, point, or a
// spelled-out "nan" or "inf"): whether a file's words are numbers at all.
bool word_looks_numeric(std::string_view word);
// A computed value rounded to float, held inside the float range.
float hold_to_float(double value);
// Floating conversion truncated toward zero, held inside the 32-bit range.
int word_to_truncated_int(std::string_view word);
// The same for a value already read.
int truncate_to_int(double value);

}  // namespace veloquin
