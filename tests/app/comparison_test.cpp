#include <gtest/gtest.h>

#include <algorithm>

#include "app/application.h"
#include "app/commands.h"
#include "editors/page_rules.h"
#include "tests/support/fake_platform.h"
#include "tests/support/temp_dir.h"

namespace veloquin {
namespace {

using testing::FakePlatform;
using testing::TempDir;

const CalibrationDifference* find_text(const std::vector<CalibrationDifference>& list,
                                       std::string_view start) {
    for (const CalibrationDifference& d : list) {
        if (d.text.rfind(start, 0) == 0) return &d;
    }
    return nullptr;
}

// Every kind of difference leads to the page that edits it: a key to its
// field, a cell to the editor cursor (held in the twelve rows the methanol
// editor shows), a point to the cursor of the right curve.
TEST(Comparison, EachDifferenceLeadsToThePageAndCursorThatShowIt) {
    Calibration file;
    Calibration cal;
    cal.param(hw::SPD_DIV) = 7;
    cal.param(hw::REV2x_RPMOFF) = 7;  // read back from REV2x_RPMON, no field of its own
    cal.cell(MapId::map_2_maf, 5, 9) = 100;
    cal.cell(MapId::meth_correction, 15, 2) = 4;
    cal.curve_word(cv::IAT_CORRECTION + 3) = 12;
    cal.curve_word(cv::AFR_PROTECT + 2) = 120;
    const auto list = calibration_differences(file, cal, Edition::full);

    const auto key = difference_target(*find_text(list, "SPD_DIV"), Edition::full);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->page, Page::parameters);
    EXPECT_EQ(key->control, control_index(Page::parameters, "SPD_DIV"));
    EXPECT_FALSE(difference_target(*find_text(list, "REV2x_RPMOFF"), Edition::full));

    EditorState editor;
    const auto cell = difference_target(*find_text(list, "MAP-2-MAF"), Edition::full);
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->page, Page::maf_emulation);
    place_cursor(editor, *cell);
    EXPECT_EQ(editor.cursor.map_cursor_row, 5);
    EXPECT_EQ(editor.cursor.map_anchor_col, 9);

    const auto meth = difference_target(*find_text(list, "METH-CORRECTION"), Edition::full);
    ASSERT_TRUE(meth);
    EXPECT_EQ(meth->page, Page::nos_methanol);
    place_cursor(editor, *meth);
    EXPECT_EQ(editor.cursor.map_cursor_row, kTwelveRowLimit);

    const auto point = difference_target(*find_text(list, "IAT-Correction"), Edition::full);
    ASSERT_TRUE(point);
    EXPECT_EQ(point->page, Page::temp_correction);
    place_cursor(editor, *point);
    EXPECT_EQ(editor.active_temp_curve, TempCurve::correction);
    EXPECT_EQ(editor.cursor.curve_cursor, 3);
    EXPECT_EQ(editor.cursor.curve_anchor, 3);

    const auto afr = difference_target(*find_text(list, "AFR-PROTECT"), Edition::full);
    ASSERT_TRUE(afr);
    EXPECT_EQ(afr->page, Page::afr_protect);
    EXPECT_EQ(find_text(calibration_differences(file, cal, Edition::lite), "AFR-PROTECT"), nullptr);
}

class CompareTest : public ::testing::Test {
  protected:
    CompareTest() {
        platform.clock_ms = 500;
        app.start(working_folders(base_folder(dir.path().string())), dir.path());
        app.create_main_window();
        saved = (dir / "saved.emu").string();
        // A tuner's file has its pressure limits; without them each side
        // would derive its own from its own sensor limits.
        cal().param(hw::MAP_BAR_LO) = -60;
        cal().param(hw::MAP_BAR_HI) = 150;
        EXPECT_TRUE(app.save_calibration(saved));
    }
    Calibration& cal() { return app.state().cal; }
    const Comparison& comparison() { return app.state().comparison; }

    TempDir dir;
    FakePlatform platform;
    Application app{platform, Edition::full};
    std::string saved;
};

TEST_F(CompareTest, LastFileListFollowsTheCalibrationAndStopEndsIt) {
    cal().cell(MapId::fuel_correction, 2, 3) += 5;
    app.command(cmd::compare_with_last_file);
    ASSERT_TRUE(comparison().active);
    ASSERT_EQ(comparison().differences.size(), 1U);
    EXPECT_EQ(comparison().differences[0].row, 2);
    EXPECT_EQ(comparison().name, "saved.emu");

    // Unchanged, the list is not made again; a change in a field is listed
    // and marks that field with the file's value.
    const int revision = comparison().revision;
    EXPECT_FALSE(app.refresh_comparison());
    cal().param(hw::SPD_DIV) = static_cast<std::int16_t>(cal().param(hw::SPD_DIV) + 10);
    EXPECT_TRUE(app.refresh_comparison());
    EXPECT_GT(comparison().revision, revision);
    EXPECT_EQ(comparison().differences.size(), 2U);
    const auto marks = differing_controls(cal(), comparison());
    const auto spd = static_cast<std::size_t>(control_index(Page::parameters, "SPD_DIV"));
    EXPECT_EQ(marks[spd], "In saved.emu: " + std::to_string(cal().param(hw::SPD_DIV) - 10));
    EXPECT_EQ(std::count_if(marks.begin(), marks.end(), [](const auto& m) { return !m.empty(); }),
              1);

    const auto target = app.go_to_difference(1);
    ASSERT_TRUE(target);
    ASSERT_FALSE(platform.pages_shown.empty());
    EXPECT_EQ(platform.pages_shown.back(), Page::fuel_correction);
    EXPECT_EQ(app.state().editor.cursor.map_cursor_col, 3);
    EXPECT_FALSE(app.go_to_difference(2));

    const int repaints = platform.repaints;
    app.command(cmd::stop_comparing);
    EXPECT_FALSE(comparison().active);
    EXPECT_TRUE(comparison().differences.empty());
    EXPECT_GT(platform.repaints, repaints);
    EXPECT_FALSE(app.refresh_comparison());
}

TEST_F(CompareTest, UnreadableOrMissingFilesChangeNothing) {
    platform.file_choices.push_back(saved);
    app.command(cmd::compare_with_calibration);
    ASSERT_TRUE(comparison().active);
    ASSERT_EQ(platform.dialogs.size(), 1U);
    EXPECT_EQ(platform.dialogs[0].title, "Compare with calibration");

    platform.file_choices.push_back((dir / "gone.emu").string());
    app.command(cmd::compare_with_calibration);
    ASSERT_EQ(platform.messages.size(), 1U);
    EXPECT_EQ(platform.messages[0].caption, "Error");
    EXPECT_EQ(platform.messages[0].text.rfind("The calibration was not loaded.", 0), 0U);
    EXPECT_TRUE(comparison().active);
    EXPECT_EQ(comparison().path, saved);

    testing::write_file(dir / "random.emu", std::string(2048, '\x9d'));
    EXPECT_FALSE(app.compare_with((dir / "random.emu").string()));
    EXPECT_NE(platform.messages.back().text.find("no calibration found"), std::string::npos);
    EXPECT_EQ(comparison().path, saved);
    platform.messages.pop_back();

    Application fresh{platform, Edition::full};
    fresh.command(cmd::compare_with_last_file);
    ASSERT_EQ(platform.messages.size(), 2U);
    EXPECT_EQ(platform.messages[1].caption, "Compare with last file");
    EXPECT_FALSE(fresh.state().comparison.active);
}

}  // namespace
}  // namespace veloquin
