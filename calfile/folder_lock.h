#pragma once
// One program per working folder: a lock file held with flock for as long
// as the holder lives. The system lets go of it when the process ends, by
// a crash or a kill too, so a lock file left behind by a dead program is no
// sign of a folder in use.

#include <filesystem>
#include <memory>

namespace veloquin {

inline constexpr const char* kFolderLockFile = ".veloquin.lock";

class FolderLock {
  public:
    enum class Result { held, in_use, not_lockable };
    // The lock of `folder`, or null with why: another process holds it, or
    // no lock file can be made there (a folder that cannot be written).
    static std::unique_ptr<FolderLock> acquire(const std::filesystem::path& folder, Result& result);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

  private:
    explicit FolderLock(int fd) : fd_(fd) {}
    int fd_;
};

}  // namespace veloquin
