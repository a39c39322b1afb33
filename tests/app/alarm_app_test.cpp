#include <gtest/gtest.h>

#include "app/application.h"
#include "tests/support/fake_platform.h"
#include "tests/support/temp_dir.h"

namespace veloquin {
namespace {

TEST(AlarmRulesAtStart, UnreadableFileIsSaidAndTheDefaultsWatch) {
    testing::TempDir dir;
    testing::write_file(dir / "alarm-rules.txt", "Overboost | on | BOOST > lots\n");
    testing::FakePlatform platform;
    Application app(platform, Edition::full);
    app.start(working_folders(base_folder(dir.path().string())), dir.path());
    app.create_main_window();
    EXPECT_EQ(platform.last_lower(),
              "alarm-rules.txt not read (line 1: 6 fields separated by | expected, 3 found): the "
              "default alarms are used");
    EXPECT_EQ(format_alarm_settings(app.state().alarm_settings),
              format_alarm_settings(default_alarm_settings()));
    EXPECT_EQ(app.state().alarms.rules().size(), 4U);
}

}  // namespace
}  // namespace veloquin
