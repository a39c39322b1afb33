#pragma once
// A recording written to disk as it arrives: a new version-5 log file per
// recording, named by the local date and time it began, with its sample
// times beside it, its lines handed to the disk at least once a second. A crash, a kill or a power
// cut loses at most the last second, and what is on disk reads as a log as it stands.

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>

#include "datalogs/log_sample.h"

namespace veloquin {

// "2026-12-07_14-05-09.log"
std::string recording_file_name(const std::tm& local_time);

class RecordingFile {
  public:
    static constexpr std::uint32_t kFlushEveryMs = 1000;

    RecordingFile() = default;
    ~RecordingFile();
    RecordingFile(const RecordingFile&) = delete;
    RecordingFile& operator=(const RecordingFile&) = delete;

    // Creates the file in `folder` under `name` (or "name-2.log" and so on
    // when taken; an existing file is never replaced) and writes the header.
    // False with the reason in error().
    bool open(const std::filesystem::path& folder, const std::string& name, std::uint32_t now_ms);
    bool is_open() const { return fd_ >= 0; }
    const std::filesystem::path& path() const { return path_; }

    // The sample's line, and its time in the times companion.
    void append(const LogSample& sample);
    // Writes the lines held back and waits for the disk to have them, once a
    // second at most. False once a write failed (the file keeps what it had).
    bool flush_if_due(std::uint32_t now_ms);
    // Everything to disk, fsynced, and the file closed.
    bool close();

    std::uint64_t samples() const { return samples_; }
    const std::string& error() const { return error_; }

  private:
    bool write_pending(bool sync);
    bool fail(const std::filesystem::path& path);
    // The files beside the recording's own, written as it goes: its times.
    bool open_companions();
    void append_companions(const LogSample& sample);

    int fd_ = -1;
    int times_fd_ = -1;
    std::filesystem::path path_;
    std::string pending_;
    std::string pending_times_;
    std::uint32_t first_time_ms_ = 0;
    std::uint32_t last_flush_ms_ = 0;
    std::uint64_t samples_ = 0;
    std::string error_;
};

}  // namespace veloquin
