#pragma once
// The log file: the writer (always version 5) and the reader of versions 2 to
// 5, which works on the file's bytes so that it needs no disk.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "datalogs/log_sample.h"

namespace veloquin {

inline constexpr std::string_view kLogFileFirstLine = "MAF-EMULATOR_LOG_FILE_Ver 5.0";

// How a column's word becomes a field: integer columns take the leading
// digits, the speed is read as a number and truncated, the rest are floats.
enum class LogColumnKind { integer, truncated, real };

struct LogColumn {
    std::string_view title;  // as written, blanks included
    LogColumnKind kind;
    std::int32_t LogSample::*int_field;  // set for integer and truncated columns
    float LogSample::*real_field;        // set for real columns
    int width;
    int precision;  // -1 for integer formats
    int trailing_blanks;
};

// The fifteen columns in file order.
std::span<const LogColumn> log_columns();
// The title without its blanks ("RPM", "INJ.DUTY"), for the export.
std::string_view log_column_name(const LogColumn& column);

struct LogReadResult {
    bool ok = false;              // false: nothing was read and the log is unchanged
    int version = 0;              // 2 to 5
    bool cut = false;             // only the first part of an absurdly large file was read
    int overlong_words = 0;       // words cut to 31 characters
    std::int64_t non_finite = 0;  // values read as gaps
    bool cancelled = false;       // the progress callback stopped the reading
    std::string message;          // empty when the file read cleanly
};

// True when the text begins with this system's log header word, whatever
// the version after it.
bool sniff_log_file(std::string_view text);

// Replaces the log with the samples of a log file's text, as they are. Any
// text reads word by word, up to a NUL byte; only text none of whose samples
// holds numbers is refused (ok false, the log unchanged).
LogReadResult read_log_text(LogBuffer& log, std::string_view text);

// Told how much of a file was read (0 to 1); false cancels the reading.
using LogReadProgress = std::function<bool(double done)>;

// The same from a file, in blocks, with the sample times of its companion
// file when there is one that fits. A file that cannot be read, is not a
// log, or whose reading was cancelled leaves the log unchanged.
LogReadResult log_read_file(LogBuffer& log, const std::filesystem::path& path,
                            const LogReadProgress& progress = {});

// The smoothing the viewer and the dashboard apply where they draw speed,
// boost, injector duty and ECU ignition (the file keeps the values as read).
void smooth_log(LogBuffer& log);

// The version-5 header (first line and column titles) and one sample's line:
// a file is the header and then the lines, so it can be written as a
// recording goes.
void append_log_header(std::string& out);
void append_log_line(std::string& out, const LogSample& sample);

// Samples 0 to count - 1 as a version-5 log file.
std::string format_log_file(const LogBuffer& log);

struct LogWriteResult {
    bool ok = false;
    std::string message;
};

// Replaces the file only once the new one is completely on disk, so a failed
// save keeps the old file; the log's companions (its times) go beside it.
LogWriteResult log_write_file(const LogBuffer& log, const std::filesystem::path& path);

// How much of a file a reader can use, so that a file of gigabytes chosen by
// mistake is never read whole into memory: the words a full log is made of
// and one more (which tells the reader that the file goes on), and a bound on
// the bytes for files whose words or blank runs are absurdly long.
struct LogReadLimit {
    std::size_t words = 0;
    std::size_t bytes = 0;
};
// A log file: the two header words, fifteen titles and fifteen words a sample.
LogReadLimit log_file_read_limit();
// A Mazda log: six words a sample, no header.
LogReadLimit mazda_read_limit();

// Why reading a file's bytes stopped: at its end or its word bound, at the
// byte bound, or at a NUL byte (the text ends there).
enum class LogBytesStop { end, byte_bound, nul };

// Reads a file up to the limit or its first NUL byte, refusing anything that
// is not a readable regular file.
bool read_log_bytes(const std::filesystem::path& path, std::string& bytes, std::string& error,
                    LogReadLimit limit = log_file_read_limit(), LogBytesStop* stop = nullptr);

// Reads the file's bytes and hands them to a text reader; a file that cannot be
// read leaves the log unchanged and says why.
LogReadResult read_log_file_with(LogBuffer& log, const std::filesystem::path& path,
                                 LogReadResult (*read_text)(LogBuffer&, std::string_view),
                                 LogReadLimit limit);

}  // namespace veloquin
