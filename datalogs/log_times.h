#pragma once
// The sample times of a log, kept beside it in "<name>.log.times" so that the
// version-5 file stays as every reader of it knows it. The companion is text:
// a first line naming it, then one line per sample with its time in
// milliseconds after the first sample's.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "datalogs/log_sample.h"

namespace veloquin {

inline constexpr std::string_view kLogTimesFirstLine = "VELOQUIN_SAMPLE_TIMES 1";

std::filesystem::path log_times_path(const std::filesystem::path& log_path);

void append_log_times_header(std::string& out);
// One sample's line: its time after the first sample's, in milliseconds.
void append_log_time(std::string& out, std::uint32_t after_first_ms);
// The companion of a log with times.
std::string format_log_times(const LogBuffer& log);

// The times of a log of `count` samples, when the companion exists, names
// itself and holds exactly that many non-decreasing times; false otherwise
// (the log is then read without times).
bool read_log_times(const std::filesystem::path& path, std::uint32_t count,
                    std::vector<std::uint32_t>& times);

// Writes every companion a log has beside its file and removes those it
// lacks, so that a stale companion never describes a log saved over it.
// False with the reason in `error`.
bool write_log_companions(const LogBuffer& log, const std::filesystem::path& log_path,
                          std::string& error);

}  // namespace veloquin
