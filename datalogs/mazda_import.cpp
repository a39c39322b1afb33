#include "datalogs/mazda_import.h"

#include <array>
#include <string>

#include "datalogs/log_words.h"

namespace veloquin {

namespace {

constexpr int kWordsPerSample = 6;

// The Mazda log's 0.01 and 0.1 are single-precision constants; the products
// are formed at double precision and rounded to float once.
constexpr double kKpaToBar = static_cast<double>(0.01F);
constexpr double kAirFlowScale = static_cast<double>(0.1F);

void store_group(LogSample& sample, const std::array<std::string_view, kWordsPerSample>& w) {
    sample = LogSample{};
    const double load = word_to_double(w[0]);
    sample.inj_duty = static_cast<float>(load);
    // A load near the float limit would double past it.
    sample.fuel_corr = hold_to_float(2.0 * load);
    sample.boost = hold_to_float(word_to_double(w[1]) * kKpaToBar - 1.0);
    sample.rpm = word_to_int(w[2]);
    sample.temperature = word_to_truncated_int(w[3]);
    sample.maf_in = hold_to_float(word_to_double(w[4]) * kAirFlowScale);
    sample.throttle = word_to_float(w[5]);
}

void select_mazda_channels(LogBuffer& log) {
    using C = LogChannel;
    const bool wg_duty = log.visible(C::wg_duty);
    log.flags.fill(false);
    for (C on : {C::rpm, C::boost, C::throttle, C::maf_in, C::temperature, C::fuel_corr}) {
        log.set_visible(on, true);
    }
    log.set_visible(C::wg_duty, wg_duty);
}

bool is_number(std::string_view w) {
    std::size_t i = 0;
    if (i < w.size() && (w[i] == '+' || w[i] == '-')) ++i;
    if (i < w.size() && w[i] == '.') ++i;
    return i < w.size() && w[i] >= '0' && w[i] <= '9';
}

struct LineCount {
    int lines = 0;    // lines holding anything
    int numbers = 0;  // lines of numbers only
};

// The import reads words, not lines, so any file "reads"; a Mazda log is
// lines of numbers (a title line aside), and a file most of whose lines are
// not is no Mazda log.
LineCount count_sample_lines(std::string_view text) {
    LineCount n;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        LogWordReader words(text.substr(start, end - start));
        std::string_view w;
        bool any = false;
        bool numbers = true;
        while (words.next(w)) {
            any = true;
            numbers = numbers && is_number(w);
        }
        if (any) ++n.lines;
        if (any && numbers) ++n.numbers;
        start = end + 1;
    }
    return n;
}

}  // namespace

LogReadResult read_mazda_text(LogBuffer& log, std::string_view text) {
    LogReadResult result;
    const LineCount lines = count_sample_lines(text);
    if (lines.numbers * 2 < lines.lines) {
        result.message = "not a Mazda data log: only " + std::to_string(lines.numbers) + " of " +
                         std::to_string(lines.lines) + " lines hold numbers";
        return result;
    }
    result.ok = true;
    select_mazda_channels(log);
    log.count = 0;

    LogWordReader words(text);
    std::array<std::string_view, kWordsPerSample> group{};
    std::string_view word;
    while (!words.at_end()) {
        // Samples are counted in words, not lines; a short last group keeps
        // the words of the group before for what it lacks.
        for (auto& slot : group) {
            if (!words.next(word)) break;
            slot = word;
        }
        store_group(log.next_slot(), group);
        ++log.count;
    }
    log.mazda_log = true;
    log.mark_changed();

    result.overlong_words = words.overlong_words();
    result.message = describe_read_problems(result.overlong_words);
    return result;
}

LogReadResult mazda_read_file(LogBuffer& log, const std::filesystem::path& path) {
    return read_log_file_with(log, path, read_mazda_text, mazda_read_limit());
}

LogReaderChoice choose_log_readers(std::string_view path) {
    return {path.find(".log") != std::string_view::npos,
            path.find(".mdl") != std::string_view::npos};
}

LogReadResult load_log_by_name(LogBuffer& log, const std::filesystem::path& path,
                               const LogReadProgress& progress) {
    const std::string name = path.string();
    const LogReaderChoice choice = choose_log_readers(name);
    LogReadResult result;
    if (!choice.log_file && !choice.mazda) {
        result.message =
            name + ": not a log file (the name must contain \".log\" or \".mdl\", in lower case)";
        return result;
    }
    if (choice.log_file) result = log_read_file(log, path, progress);
    if (choice.mazda && (result.ok || !choice.log_file)) result = mazda_read_file(log, path);
    return result;
}

}  // namespace veloquin
