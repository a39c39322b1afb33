#pragma once
// The word stream both log readers share: white-space-delimited words with
// line ends as plain white space, and the lenient C-style number conversions
// that read a word's leading number and give 0 for anything unreadable.

#include <cstddef>
#include <string>
#include <string_view>

namespace veloquin {

// Log words were always read into 32-byte fields; longer words are cut to
// this length so that a damaged file can never push a word past its field.
inline constexpr std::size_t kMaxLogWordLength = 31;

class LogWordReader {
  public:
    explicit LogWordReader(std::string_view text) : text_(text) {}

    // The next word, cut to kMaxLogWordLength characters (the rest of an
    // overlong word is skipped, not read as a word of its own). False at the
    // end of the text.
    bool next(std::string_view& word);

    // True when a word follows; the position does not move.
    bool at_end();

    int overlong_words() const { return overlong_words_; }

  private:
    void skip_blanks();

    std::string_view text_;
    std::size_t pos_ = 0;
    int overlong_words_ = 0;
};

// Counts the words that begin in one piece of a text read piece by piece;
// `in_word` carries over whether the piece before ended inside a word.
std::size_t count_word_starts(std::string_view piece, bool& in_word);

// The note a reader returns when it cut the log at the capacity or cut
// overlong words; empty when neither happened.
std::string describe_read_problems(bool cut, int overlong_words);

// Leading sign and decimal digits; saturates at the 32-bit range.
int word_to_int(std::string_view word);
// Leading number as a double; infinities, NaN and unreadable text give 0,
// magnitudes beyond the float range are held at its limit.
double word_to_double(std::string_view word);
float word_to_float(std::string_view word);
// A computed value rounded to float, held inside the float range.
float hold_to_float(double value);
// Floating conversion truncated toward zero, held inside the 32-bit range.
int word_to_truncated_int(std::string_view word);
// The same for a value already read.
int truncate_to_int(double value);

}  // namespace veloquin
