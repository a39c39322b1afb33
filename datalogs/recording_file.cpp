#include "datalogs/recording_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "datalogs/log_file.h"

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
    return write_pending(true);
}

void RecordingFile::append(const LogSample& sample) {
    if (fd_ < 0) return;
    append_log_line(pending_, sample);
    ++samples_;
}

bool RecordingFile::flush_if_due(std::uint32_t now_ms) {
    if (fd_ < 0) return error_.empty();
    if (now_ms - last_flush_ms_ < kFlushEveryMs) return true;
    last_flush_ms_ = now_ms;
    return write_pending(true);
}

bool RecordingFile::write_pending(bool sync) {
    std::size_t done = 0;
    while (done < pending_.size()) {
        const ssize_t n = ::write(fd_, pending_.data() + done, pending_.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error_ = "cannot write " + path_.string() + ": " + std::strerror(errno);
            ::close(fd_);
            fd_ = -1;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    pending_.clear();
    // fdatasync: the lines must survive a power cut, the file's times need not.
    if (sync && ::fdatasync(fd_) != 0) {
        error_ = "cannot write " + path_.string() + ": " + std::strerror(errno);
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    return true;
}

bool RecordingFile::close() {
    if (fd_ < 0) return error_.empty();
    bool ok = write_pending(false);
    if (ok && ::fsync(fd_) != 0) {
        error_ = "cannot write " + path_.string() + ": " + std::strerror(errno);
        ok = false;
    }
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    return ok;
}

}  // namespace veloquin
