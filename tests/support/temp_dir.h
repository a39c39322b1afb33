#pragma once
// A fresh folder per test, removed afterwards; and golden-file comparison with
// a deliberate update switch (VELOQUIN_UPDATE_GOLDEN=1) so goldens never change by accident.

#include <filesystem>
#include <string>

namespace veloquin::testing {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

std::string read_file(const std::filesystem::path& p);
void write_file(const std::filesystem::path& p, const std::string& bytes);
// The source tree's tests/golden folder.
std::filesystem::path golden_dir();
// Compares with the golden file; with VELOQUIN_UPDATE_GOLDEN=1 rewrites it instead.
// Returns an empty string when equal, else a description of the first difference.
std::string compare_with_golden(const std::string& name, const std::string& actual);

}  // namespace veloquin::testing
