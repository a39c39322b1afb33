#include <gtest/gtest.h>

#include <filesystem>

#include "datalogs/log_file.h"
#include "datalogs/recording_file.h"
#include "tests/datalogs/log_samples.h"
#include "tests/support/temp_dir.h"

namespace veloquin {
namespace {

using testing::numbered_sample;
using testing::TempDir;

TEST(RecordingFile, ReachesTheDiskOnceASecondAndReadsAsALogAtAnyMoment) {
    TempDir dir;
    RecordingFile file;
    ASSERT_TRUE(file.open(dir.path(), "2026-12-07_14-05-09.log", 1000)) << file.error();
    EXPECT_EQ(file.path().filename(), "2026-12-07_14-05-09.log");
    for (int i = 0; i < 40; ++i)
        file.append(numbered_sample(i));
    ASSERT_TRUE(file.flush_if_due(1999));
    LogBuffer so_far;
    ASSERT_TRUE(log_read_file(so_far, file.path()).ok);
    EXPECT_EQ(so_far.count, 0) << "held back until a second has passed";

    ASSERT_TRUE(file.flush_if_due(2000));
    // What a kill now would leave behind: read as the file stands.
    LogBuffer cut_off;
    ASSERT_TRUE(log_read_file(cut_off, file.path()).ok);
    ASSERT_EQ(cut_off.count, 40);
    EXPECT_EQ(cut_off.samples[39].rpm, numbered_sample(39).rpm);

    file.append(numbered_sample(40));
    ASSERT_TRUE(file.close());
    LogBuffer whole;
    ASSERT_TRUE(log_read_file(whole, file.path()).ok);
    EXPECT_EQ(whole.count, 41);

    // A second recording in the same second gets a name of its own.
    RecordingFile next;
    ASSERT_TRUE(next.open(dir.path(), "2026-12-07_14-05-09.log", 3000));
    EXPECT_EQ(next.path().filename(), "2026-12-07_14-05-09-2.log");

    RecordingFile nowhere;
    EXPECT_FALSE(nowhere.open(dir / "missing", "a.log", 0));
    EXPECT_NE(nowhere.error().find("cannot create"), std::string::npos);

    std::tm t{};
    t.tm_year = 126;
    t.tm_mon = 11;
    t.tm_mday = 7;
    t.tm_hour = 9;
    t.tm_min = 5;
    t.tm_sec = 3;
    EXPECT_EQ(recording_file_name(t), "2026-12-07_09-05-03.log");
}

}  // namespace
}  // namespace veloquin
