#include "datalogs/recording_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "datalogs/log_file.h"
#include "datalogs/log_times.h"

namespace veloquin {

namespace {

// Two recordings can begin within one second (the guard between them is a
// second); beyond this many a folder is not one to write into.
constexpr int kMostNameSuffixes = 100;

}  // namespace

std::string recording_file_name(const std::tm& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d_%02d-%02d-%02d.log", t.tm_year + 1900,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

RecordingFile::~RecordingFile() {
    close();
}

bool RecordingFile::open(const std::filesystem::path& folder, const std::string& name,
                         std::uint32_t now_ms) {
    close();
    error_.clear();
    samples_ = 0;
    const std::filesystem::path plain(name);
    for (int n = 1; n <= kMostNameSuffixes; ++n) {
        path_ = folder /
                (n == 1 ? plain
                        : std::filesystem::path(plain.stem().string() + "-" + std::to_string(n) +
                                                plain.extension().string()));
        fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd_ >= 0 || errno != EEXIST) break;
    }
    if (fd_ < 0) {
        error_ = "cannot create " + path_.string() + ": " + std::strerror(errno);
        return false;
    }
    pending_.clear();
    append_log_header(pending_);
    last_flush_ms_ = now_ms;
    return open_companions() && write_pending(true);
}

bool RecordingFile::open_companions() {
    const std::filesystem::path times = log_times_path(path_);
    // The recording's name was free, so a companion there is a leftover.
    times_fd_ = ::open(times.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (times_fd_ < 0) return fail(times);
    pending_times_.clear();
    append_log_times_header(pending_times_);
    return true;
}

void RecordingFile::append_companions(const LogSample& sample) {
    if (samples_ == 0) first_time_ms_ = sample.time_ms;
    append_log_time(pending_times_, sample.time_ms - first_time_ms_);
}

void RecordingFile::append(const LogSample& sample) {
    if (fd_ < 0) return;
    append_log_line(pending_, sample);
    append_companions(sample);
    ++samples_;
}

bool RecordingFile::fail(const std::filesystem::path& path) {
    error_ = "cannot write " + path.string() + ": " + std::strerror(errno);
    for (int* fd : {&fd_, &times_fd_}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
    return false;
}

bool RecordingFile::flush_if_due(std::uint32_t now_ms) {
    if (fd_ < 0) return error_.empty();
    if (now_ms - last_flush_ms_ < kFlushEveryMs) return true;
    last_flush_ms_ = now_ms;
    return write_pending(true);
}

namespace {

bool write_all(int fd, std::string& pending) {
    std::size_t done = 0;
    while (done < pending.size()) {
        const ssize_t n = ::write(fd, pending.data() + done, pending.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = ENOSPC;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    pending.clear();
    return true;
}

}  // namespace

bool RecordingFile::write_pending(bool sync) {
    if (!write_all(fd_, pending_)) return fail(path_);
    if (!write_all(times_fd_, pending_times_)) return fail(log_times_path(path_));
    // fdatasync: the lines must survive a power cut, the file's times need not.
    if (sync && ::fdatasync(fd_) != 0) return fail(path_);
    return true;
}

bool RecordingFile::close() {
    if (fd_ < 0) return error_.empty();
    if (!write_pending(false)) return false;
    if (::fsync(fd_) != 0 || ::fsync(times_fd_) != 0) return fail(path_);
    for (int* fd : {&fd_, &times_fd_}) {
        ::close(*fd);
        *fd = -1;
    }
    return true;
}

}  // namespace veloquin
