#include <gtest/gtest.h>

#include "editors/cursor_keys.h"
#include "editors/map_operations.h"
#include "editors/pages.h"
#include "tests/editors/editor_fixture.h"

namespace veloquin {
namespace {

using testing::select_cells;
using testing::select_points;
using testing::tuned_calibration;

TEST(Pages, FullEditionNumbersTwelvePages) {
    EXPECT_EQ(page_count(Edition::full), 12);
    EXPECT_EQ(page_number(Page::parameters, Edition::full), 1);
    EXPECT_EQ(page_number(Page::afr_protect, Edition::full), 7);
    EXPECT_EQ(page_number(Page::nos_methanol, Edition::full), 8);
    EXPECT_EQ(page_number(Page::dashboard, Edition::full), 12);
    EXPECT_EQ(page_at(10, Edition::full), Page::boost_control);
    EXPECT_EQ(page_title(*page_at(12, Edition::full)), "Dash board");
    EXPECT_FALSE(page_at(0, Edition::full).has_value());
    EXPECT_FALSE(page_at(13, Edition::full).has_value());
}

TEST(Pages, LiteEditionDropsAfrProtectAndRenumbersTheRest) {
    EXPECT_EQ(page_count(Edition::lite), 11);
    EXPECT_FALSE(page_number(Page::afr_protect, Edition::lite).has_value());
    EXPECT_EQ(page_number(Page::knock_calibration, Edition::lite), 6);
    EXPECT_EQ(page_number(Page::nos_methanol, Edition::lite), 7);
    EXPECT_EQ(page_number(Page::ls_switches, Edition::lite), 8);
    EXPECT_EQ(page_number(Page::boost_control, Edition::lite), 9);
    EXPECT_EQ(page_number(Page::log_viewer, Edition::lite), 10);
    EXPECT_EQ(page_number(Page::dashboard, Edition::lite), 11);
    EXPECT_FALSE(page_at(12, Edition::lite).has_value());
    for (Edition e : {Edition::full, Edition::lite}) {
        for (int n = 1; n <= page_count(e); ++n)
            EXPECT_EQ(page_number(*page_at(n, e), e), n);
    }
}

// The rules follow the page's name: the page under the same number in the two
// editions edits different tables, the page of the same name the same one.
TEST(Pages, SameOperationsByNameGiveTheSameResultInBothEditions) {
    for (const char* name : {"NOS/Methanol", "Boost Control"}) {
        Calibration results[2];
        int i = 0;
        for (Edition e : {Edition::full, Edition::lite}) {
            Calibration cal = tuned_calibration();
            EditorState s;
            Page page = Page::parameters;
            for (int n = 1; n <= page_count(e); ++n) {
                if (page_title(*page_at(n, e)) == name) page = *page_at(n, e);
            }
            select_cells(s, 0, 0, 5, 3);
            step_values(s, cal, page, ValueStep::increase);
            select_cells(s, 0, 2, 5, 2);
            cal.cell(MapId::meth_correction, 5, 2) = 60;
            cal.cell(MapId::boost_duty, 5, 2) = 60;
            interpolate_selection(s, cal, page);
            results[i++] = cal;
        }
        EXPECT_EQ(results[0].maps, results[1].maps) << name;
        EXPECT_NE(results[0].maps, tuned_calibration().maps) << name;
    }
    // Page 7 of the lite program is "NOS/Methanol", not "AFR Protect".
    Calibration cal = tuned_calibration();
    EditorState s;
    select_points(s, 0, 3);
    select_cells(s, 0, 0, 0, 0);
    step_values(s, cal, *page_at(7, Edition::lite), ValueStep::increase);
    EXPECT_EQ(cal.cell(MapId::meth_correction, 0, 0), 1);
    EXPECT_EQ(cal.curve_word(cv::AFR_PROTECT), 0);
}

}  // namespace
}  // namespace veloquin
