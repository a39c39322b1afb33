#include "calfile/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace veloquin {

std::unique_ptr<FolderLock> FolderLock::acquire(const std::filesystem::path& folder,
                                                Result& result) {
    const std::string path = (folder / kFolderLockFile).string();
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        result = Result::not_lockable;
        return nullptr;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        result = errno == EWOULDBLOCK ? Result::in_use : Result::not_lockable;
        ::close(fd);
        return nullptr;
    }
    // Who holds it, for a person looking at the folder.
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0) {
        [[maybe_unused]] const ssize_t n = ::write(fd, pid.data(), pid.size());
    }
    result = Result::held;
    return std::unique_ptr<FolderLock>(new FolderLock(fd));
}

FolderLock::~FolderLock() {
    ::close(fd_);
}

}  // namespace veloquin
