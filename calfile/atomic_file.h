#pragma once
// Replacing a file so that a crash, a full disk or a failed write at any point
// leaves either the complete old file or the complete new one.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace veloquin {

// Faults a test can inject into the write path (a full disk has no portable
// stand-in that works when the tests run as root).
struct AtomicWriteFaults {
    std::size_t fail_after_bytes = static_cast<std::size_t>(-1);  // write fails with ENOSPC here
    bool fail_fsync = false;
    bool fail_rename = false;
};

bool write_file_atomically(const std::filesystem::path& path, std::string_view bytes,
                           std::string* error, const AtomicWriteFaults* faults = nullptr);

// Whether a file can be replaced atomically in `folder` (a temporary file is
// made and removed); else `error` says why.
bool check_writable_folder(const std::filesystem::path& folder, std::string& error);

// Whether `path` names a regular file that reading may open; else `error`
// says why ("cannot open PATH: ..."). A folder or a device would otherwise
// be read as an empty or endless file.
bool check_regular_file(const std::filesystem::path& path, std::string& error);

}  // namespace veloquin
