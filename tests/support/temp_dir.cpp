#include "tests/support/temp_dir.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <unistd.h>

namespace veloquin::testing {

TempDir::TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "veloquin-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    // A test may leave a folder without write permission behind.
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ec)) {
        if (entry.is_directory(ec)) {
            std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
        }
    }
    std::filesystem::remove_all(path_, ec);
}

std::string read_file(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_file(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::filesystem::path golden_dir() {
    const char* src = std::getenv("VELOQUIN_SOURCE_DIR");
    return std::filesystem::path(src ? src : ".") / "tests" / "golden";
}

std::string compare_with_golden(const std::string& name, const std::string& actual) {
    const auto path = golden_dir() / name;
    const char* update = std::getenv("VELOQUIN_UPDATE_GOLDEN");
    if (update != nullptr && std::string(update) == "1") {
        std::filesystem::create_directories(path.parent_path());
        write_file(path, actual);
        return {};
    }
    if (!std::filesystem::exists(path)) return "golden file missing: " + path.string();
    const std::string expected = read_file(path);
    if (expected == actual) return {};
    std::size_t i = 0;
    while (i < expected.size() && i < actual.size() && expected[i] == actual[i])
        ++i;
    return name + " differs at byte " + std::to_string(i) + " (expected size " +
           std::to_string(expected.size()) + ", actual " + std::to_string(actual.size()) + ")";
}

}  // namespace veloquin::testing
