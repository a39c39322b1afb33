// Learning from a recording against the simulated device: live automapping
// runs on every polled record while the same records are recorded, and the
// proposal from the recorded log must be the map automapping made.

#include <gtest/gtest.h>

#include <cstdlib>

#include "datalogs/live_sample.h"
#include "editors/trace_automap.h"
#include "learn/learn_maps.h"
#include "tests/e2e/link_rig.h"

namespace veloquin {
namespace {

TEST(LearnE2E, ProposalFromTheRecordingEqualsLiveAutomappingOnTheSimulatedDevice) {
    testing::LinkRig rig;
    rig.add_device(1);
    ASSERT_TRUE(rig.connect());
    const Calibration downloaded = rig.cal;
    EditorState editor;
    set_automapping(editor, rig.platform);
    LogBuffer log;
    begin_log_recording(log);

    PollHooks hooks;
    hooks.automapping_on = [] { return true; };  // no upload meanwhile, as in the program
    hooks.process_live_data = [&] {
        fill_sample_from_live(log.next_slot(), rig.link.live, rig.cal, rig.platform.now_ms());
        ++log.count;
        process_live_data(editor, rig.cal, rig.link.live, Page::maf_emulation, rig.platform, false);
    };
    // 30 s of the simulated drive at 20 ms a record: idle, the pull through
    // the gears and into the cruise.
    for (int i = 0; i < 1500 && rig.link.connected; ++i)
        rig.tick(hooks);
    ASSERT_TRUE(rig.link.connected);
    ASSERT_EQ(log.count, 1500);

    const LearnResult learnt = learn_from_log(downloaded, log, LearnMap::maf, LearnFilters::none());
    ASSERT_TRUE(learnt.ok) << learnt.error;
    int moved = 0;
    for (int r = 0; r < kMapRows; ++r) {
        for (int c = 0; c < kMapCols; ++c) {
            const int automapped = rig.cal.cell(MapId::map_2_maf, r, c);
            const int proposed = learnt.proposal.at(r, c).state == ProposalCell::proposed
                                     ? learnt.proposal.at(r, c).value
                                     : downloaded.cell(MapId::map_2_maf, r, c);
            EXPECT_LE(std::abs(proposed - automapped), 1) << "row " << r << ", column " << c;
            if (automapped != downloaded.cell(MapId::map_2_maf, r, c)) ++moved;
        }
    }
    EXPECT_GT(moved, 20) << "the drive taught too few cells to prove anything";
}

}  // namespace
}  // namespace veloquin
