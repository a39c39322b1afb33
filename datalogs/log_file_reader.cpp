// The reader of log files of any length. The text is a stream of words with
// line ends as plain blanks, a sample every n words whatever the lines say;
// the reader goes through it in blocks so that a file of hundreds of
// megabytes is never held whole beside its samples. Where the lines are the
// regular one-sample lines every writer makes, a block's halves are read on
// two threads; anything else goes word by word.

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

#include "calfile/atomic_file.h"
#include "datalogs/log_file.h"
#include "datalogs/log_markers.h"
#include "datalogs/log_times.h"
#include "datalogs/log_words.h"

namespace veloquin {

namespace {

// Big enough that a thread's start is nothing beside its work, small
// enough that progress moves and the block costs little memory.
constexpr std::size_t kBlockBytes = std::size_t{8} << 20;
// Below this a block half is not worth a thread.
constexpr std::size_t kParallelBytes = std::size_t{1} << 20;

int columns_for_version(int version) {
    if (version == 5) return 15;
    if (version >= 3) return 14;
    return 11;
}

int version_of(std::string_view word) {
    if (word == "5.0") return 5;
    if (word == "4.0") return 4;
    if (word == "3.0") return 3;
    return 2;
}

// What reading a stretch of text found besides its samples.
struct ReadCounts {
    std::int64_t non_finite = 0;
    std::int64_t numeric_samples = 0;  // samples at least half of whose words are numbers
    int overlong_words = 0;
};

void store_words(LogSample& sample, std::span<const std::string_view> words, ReadCounts& counts) {
    const auto columns = log_columns();
    int numeric = 0;
    for (std::size_t c = 0; c < words.size(); ++c) {
        const LogColumn& column = columns[c];
        const std::string_view word = words[c];
        numeric += word_looks_numeric(word) ? 1 : 0;
        switch (column.kind) {
            case LogColumnKind::integer:
                sample.*column.int_field = word_to_int(word);
                break;
            case LogColumnKind::truncated:
                sample.*column.int_field = word_to_truncated_int(word);
                break;
            case LogColumnKind::real:
                sample.*column.real_field = word_to_real(word, counts.non_finite);
                break;
        }
    }
    if (2 * numeric >= static_cast<int>(words.size())) ++counts.numeric_samples;
}

// Reads lines of exactly `columns` words (blank lines are nothing) into
// `out` until a line of another shape; returns where that line begins, or
// the end of the text.
std::size_t read_regular_lines(std::string_view text, int columns, std::vector<LogSample>& out,
                               ReadCounts& counts) {
    std::array<std::string_view, 15> words{};
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t eol = text.find('\n', pos);
        const std::size_t end = eol == std::string_view::npos ? text.size() : eol + 1;
        LogWordReader reader(text.substr(pos, end - pos));
        int n = 0;
        std::string_view word;
        while (n <= columns && reader.next(word)) {
            if (n < columns) words[static_cast<std::size_t>(n)] = word;
            ++n;
        }
        if (n != 0 && n != columns) return pos;
        if (n == columns) {
            LogSample& sample = out.emplace_back();
            store_words(sample, {words.data(), static_cast<std::size_t>(columns)}, counts);
            counts.overlong_words += reader.overlong_words();
        }
        pos = end;
    }
    return pos;
}

// The stream of a file's text: header words first, then samples.
class LogTextParser {
  public:
    explicit LogTextParser(std::vector<LogSample>& samples) : samples_(samples) {}

    // Text that ends at a line end (or is the end of the file).
    void feed(std::string_view text) {
        std::size_t pos = 0;
        while (pos < text.size()) {
            if (in_header_ || filled_ > 0) {
                // Up to the end of the line: the halves may take over there.
                const std::size_t eol = text.find('\n', pos);
                pos = feed_words(text, pos, eol == std::string_view::npos ? text.size() : eol + 1);
            } else if (!regular_ || text.size() - pos < 2 * kParallelBytes) {
                pos = feed_words(text, pos, text.size());
            } else {
                const std::size_t stop = read_halves(text.substr(pos));
                // A line of another shape: the rest of the file goes word by word.
                if (stop < text.size() - pos) regular_ = false;
                pos += stop;
            }
        }
        keep_carried_words();
    }

    // A short last sample takes its missing columns from the words of the
    // sample before, as a reader with one field per column would.
    void finish() {
        if (filled_ > 0) {
            store_words(samples_.emplace_back(), {fields_.data(), columns()}, counts_);
            filled_ = 0;
        }
    }

    int version() const { return version_; }
    bool begins_as_log() const { return begins_as_log_; }
    const ReadCounts& counts() const { return counts_; }
    bool ended_mid_sample() const { return filled_ > 0; }

  private:
    std::size_t columns() const { return static_cast<std::size_t>(columns_for_version(version_)); }

    // Word by word over [pos, end) of the text; returns end.
    std::size_t feed_words(std::string_view text, std::size_t pos, std::size_t end) {
        LogWordReader reader(text.substr(pos, end - pos));
        std::string_view word;
        while (reader.next(word)) {
            if (in_header_) {
                header_word(word);
                continue;
            }
            fields_[filled_++] = word;
            if (filled_ == columns()) {
                store_words(samples_.emplace_back(), {fields_.data(), columns()}, counts_);
                filled_ = 0;
            }
        }
        counts_.overlong_words += reader.overlong_words();
        return end;
    }

    // The file's name for itself (not checked), its version and the titles.
    void header_word(std::string_view word) {
        ++header_words_;
        if (header_words_ == 1) begins_as_log_ = sniff_log_file(word);
        if (header_words_ == 2) version_ = version_of(word);
        if (header_words_ == 2 + static_cast<int>(columns())) in_header_ = false;
    }

    // Both halves of the text as regular lines, the second on a thread of
    // its own; returns how far the samples read are the text's.
    std::size_t read_halves(std::string_view text) {
        std::size_t middle = text.find('\n', text.size() / 2);
        middle = middle == std::string_view::npos ? text.size() : middle + 1;
        const int n = static_cast<int>(columns());
        ReadCounts second_counts;
        std::size_t second_stop = 0;
        second_.clear();
        std::thread second([&] {
            second_stop = read_regular_lines(text.substr(middle), n, second_, second_counts);
        });
        ReadCounts first_counts;
        const std::size_t first_stop =
            read_regular_lines(text.substr(0, middle), n, samples_, first_counts);
        second.join();
        add(first_counts);
        if (first_stop < middle) return first_stop;
        samples_.insert(samples_.end(), second_.begin(), second_.end());
        add(second_counts);
        return middle + second_stop;
    }

    void add(const ReadCounts& c) {
        counts_.non_finite += c.non_finite;
        counts_.numeric_samples += c.numeric_samples;
        counts_.overlong_words += c.overlong_words;
    }

    // The words of a sample begun in this block point into it; they are
    // copied before the block goes.
    void keep_carried_words() {
        for (std::size_t c = 0; c < fields_.size(); ++c) {
            carried_[c].assign(fields_[c]);
            fields_[c] = carried_[c];
        }
    }

    std::vector<LogSample>& samples_;
    std::vector<LogSample> second_;
    ReadCounts counts_;
    int version_ = 2;
    int header_words_ = 0;
    bool in_header_ = true;
    bool begins_as_log_ = false;
    bool regular_ = true;  // every line so far was one sample
    std::array<std::string_view, 15> fields_{};
    std::array<std::string, 15> carried_;
    std::size_t filled_ = 0;
};

std::string plural(std::int64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Builds the result of a reading that reached its end; refuses text that is
// not a log at all.
// A file must also begin as a log or hold a sample: text is read even so.
LogReadResult conclude(LogTextParser& parser, std::vector<LogSample>& samples, bool cut_line,
                       bool binary, bool file) {
    const bool mid_sample = parser.ended_mid_sample();
    parser.finish();
    const ReadCounts& counts = parser.counts();
    LogReadResult result;
    result.version = parser.version();
    const bool unheaded = file && !parser.begins_as_log();
    if (counts.numeric_samples == 0 && (!samples.empty() || binary || unheaded)) {
        result.message = "it is not a log: no sample of it holds numbers";
        return result;
    }
    result.ok = true;
    result.overlong_words = counts.overlong_words;
    result.non_finite = counts.non_finite;
    std::vector<std::string> notes;
    if (cut_line || mid_sample) {
        notes.push_back("the last line is cut off; it was read up to where it ends");
    }
    if (binary) notes.push_back("the file ends in binary bytes; the text before them was read");
    if (counts.non_finite > 0) {
        notes.push_back(plural(counts.non_finite, "value is", "values are") +
                        " not a finite number and show as gaps");
    }
    if (const std::string words = describe_read_problems(counts.overlong_words); !words.empty()) {
        notes.push_back(words);
    }
    for (const std::string& note : notes)
        result.message += (result.message.empty() ? "" : "; ") + note;
    return result;
}

// The samples read become the log; what the viewer keeps of its own
// (channel flags, cursor) stays.
void take_samples(LogBuffer& log, std::vector<LogSample>& samples) {
    log.samples.swap(samples);
    log.count = static_cast<std::int32_t>(log.samples.size());
    log.mazda_log = false;
    log.has_times = false;
    log.markers.clear();
    log.mark_changed();
}

bool ends_in_line_end(std::string_view text) {
    return text.empty() || text.back() == '\n' || text.back() == '\r';
}

}  // namespace

LogReadResult read_log_text(LogBuffer& log, std::string_view text) {
    std::vector<LogSample> samples;
    LogTextParser parser(samples);
    const std::size_t nul = text.find('\0');
    const std::string_view before = text.substr(0, nul);
    parser.feed(before);
    LogReadResult result =
        conclude(parser, samples, !ends_in_line_end(before), nul != std::string_view::npos, false);
    if (result.ok) take_samples(log, samples);
    return result;
}

LogReadResult log_read_file(LogBuffer& log, const std::filesystem::path& path,
                            const LogReadProgress& progress) {
    LogReadResult result;
    std::string error;
    if (!check_regular_file(path, error)) {
        result.message = error;
        return result;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        result.message = "cannot open " + path.string() + ": " + std::strerror(errno);
        return result;
    }
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    std::vector<LogSample> samples;
    // A written line is about 140 bytes; a short-lined file grows the vector.
    if (!ec) samples.reserve(static_cast<std::size_t>(size / 128 + 16));
    LogTextParser parser(samples);
    std::string block;
    std::size_t carried = 0;
    std::uintmax_t done = 0;
    bool binary = false;
    bool failed = false;
    bool cancelled = false;
    for (;;) {
        block.resize(carried + kBlockBytes);
        const std::size_t n = std::fread(block.data() + carried, 1, kBlockBytes, file);
        failed = std::ferror(file) != 0;
        done += n;
        std::size_t length = carried + n;
        // Text ends at a NUL byte: a binary file, or the zeroed tail a power
        // cut leaves behind the last line a recording wrote.
        if (const void* nul = std::memchr(block.data() + carried, 0, n); nul != nullptr) {
            length = static_cast<std::size_t>(static_cast<const char*>(nul) - block.data());
            binary = true;
        }
        const bool last = n == 0 || binary || failed;
        std::size_t cut = length;
        if (!last) {
            const auto eol = std::string_view(block.data(), length).rfind('\n');
            cut = eol == std::string_view::npos ? 0 : eol + 1;
        }
        parser.feed({block.data(), cut});
        if (last) {
            block.resize(length);
            carried = length;
            break;
        }
        std::memmove(block.data(), block.data() + cut, length - cut);
        carried = length - cut;
        if (progress &&
            !progress(size > 0 ? static_cast<double>(done) / static_cast<double>(size) : 1.0)) {
            cancelled = true;
            break;
        }
    }
    const int read_errno = errno;
    std::fclose(file);
    if (failed) {
        result.message = "cannot read " + path.string() + ": " + std::strerror(read_errno);
        return result;
    }
    if (cancelled) {
        result.cancelled = true;
        result.message = "reading " + path.string() + " was cancelled; the log is as it was";
        return result;
    }
    result = conclude(parser, samples, !ends_in_line_end(block), binary, true);
    if (!result.ok) {
        result.message = path.string() + ": " + result.message;
        return result;
    }
    const std::uint32_t count = static_cast<std::uint32_t>(samples.size());
    std::vector<std::uint32_t> times;
    const bool timed = read_log_times(log_times_path(path), count, times);
    take_samples(log, samples);
    if (timed) {
        for (std::size_t i = 0; i < times.size(); ++i)
            log.samples[i].time_ms = times[i];
        log.has_times = true;
    }
    const std::string markers = read_log_markers(path, log);
    if (!markers.empty()) result.message += (result.message.empty() ? "" : "; ") + markers;
    return result;
}

}  // namespace veloquin
