#include "calfile/atomic_file.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veloquin {
namespace {

bool report(std::string* error, const std::string& what, int err) {
    if (error != nullptr) *error = what + ": " + std::strerror(err);
    return false;
}

bool write_all(int fd, std::string_view bytes, const AtomicWriteFaults* faults) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        std::size_t chunk = bytes.size() - done;
        if (faults != nullptr && faults->fail_after_bytes != static_cast<std::size_t>(-1)) {
            if (done >= faults->fail_after_bytes) {
                errno = ENOSPC;
                return false;
            }
            chunk = std::min(chunk, faults->fail_after_bytes - done);
        }
        const ssize_t n = ::write(fd, bytes.data() + done, chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Makes the rename itself durable; a folder that cannot be synced is not an error.
void sync_folder(const std::filesystem::path& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

bool write_file_atomically(const std::filesystem::path& path, std::string_view bytes,
                           std::string* error, const AtomicWriteFaults* faults) {
    const std::filesystem::path folder = path.parent_path();
    std::string temp = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return report(error, "cannot create a file in " + folder.string(), errno);

    // Keep the permissions of the file being replaced (mkstemp makes it 0600).
    struct stat old_stat {};
    const mode_t mode = ::stat(path.c_str(), &old_stat) == 0 ? (old_stat.st_mode & 07777) : 0644;
    ::fchmod(fd, mode);

    auto abandon = [&](const std::string& what) {
        const int err = errno;
        ::close(fd);
        ::unlink(temp.c_str());
        return report(error, what, err);
    };
    if (!write_all(fd, bytes, faults)) return abandon("cannot write " + path.string());
    if ((faults != nullptr && faults->fail_fsync && (errno = EIO)) || ::fsync(fd) != 0) {
        return abandon("cannot flush " + path.string());
    }
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        return report(error, "cannot write " + path.string(), err);
    }
    if ((faults != nullptr && faults->fail_rename && (errno = EXDEV)) ||
        ::rename(temp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        return report(error, "cannot replace " + path.string(), err);
    }
    sync_folder(folder);
    return true;
}

bool check_writable_folder(const std::filesystem::path& folder, std::string& error) {
    std::string temp = (folder / ".veloquin-write-check.XXXXXX").string();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return report(&error, "cannot create a file in " + folder.string(), errno);
    ::close(fd);
    ::unlink(temp.c_str());
    return true;
}

bool check_regular_file(const std::filesystem::path& path, std::string& error) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec) {
        error = "cannot open " + path.string() + ": " + ec.message();
        return false;
    }
    if (!std::filesystem::is_regular_file(status)) {
        error = "cannot open " + path.string() + ": not a regular file";
        return false;
    }
    return true;
}

}  // namespace veloquin
