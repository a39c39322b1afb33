#include <gtest/gtest.h>

#include <cstdlib>

#include "device/serial_access.h"
#include "tests/support/temp_dir.h"

namespace veloquin {
namespace {

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(SerialAccess, HelpGivesTheCommandForThisUserOrSaysWhatIsLeftToDo) {
    SerialAccess access{"tuner", false, false};
    std::string text = serial_access_text(access);
    EXPECT_TRUE(has(text, "\"dialout\"")) << text;
    EXPECT_TRUE(has(text, "\n    sudo usermod -aG dialout tuner\n")) << text;
    EXPECT_TRUE(has(text, "log out and log in again")) << text;

    // Added already, but this login started before: only the new login is missing.
    access.account_has_group = true;
    text = serial_access_text(access);
    EXPECT_FALSE(has(text, "usermod")) << text;
    EXPECT_TRUE(has(text, "Log out and log in again")) << text;

    access.session_has_group = true;
    text = serial_access_text(access);
    EXPECT_FALSE(has(text, "usermod")) << text;
    EXPECT_TRUE(has(text, "another program may have it open")) << text;

    EXPECT_FALSE(query_serial_access().user.empty());
}

TEST(SerialAccess, PackageReadmeGivesTheSameCommand) {
    const char* source = std::getenv("VELOQUIN_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    const std::string readme =
        testing::read_file(std::filesystem::path(source) / "packaging/README.Debian");
    EXPECT_TRUE(has(readme, "    " + serial_group_command("$USER") + "\n")) << readme;
    EXPECT_TRUE(has(readme, "log out and log in again")) << readme;
}

}  // namespace
}  // namespace veloquin
