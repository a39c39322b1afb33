// Learning from a recording against the simulated device: live automapping
// runs on every polled record while the same records are recorded, and the
// proposal from the recorded log must be the map automapping made.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <tuple>

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

// The simulated drive pulls through the gears at full throttle, AFR 11.8 once
// the boost passes 1 bar, then cruises at 14.7. With the default target
// table the pull is not leaned out toward the cruise target.
TEST(LearnE2E, FuelLearningFromTheSimulatedDriveKeepsAfrProtectAndCruiseAtItsTarget) {
    testing::LinkRig rig;
    rig.add_device(1);
    ASSERT_TRUE(rig.connect());
    const Calibration cal = rig.cal;
    LogBuffer log;
    begin_log_recording(log);
    PollHooks hooks;
    hooks.process_live_data = [&] {
        fill_sample_from_live(log.next_slot(), rig.link.live, rig.cal, rig.platform.now_ms());
        ++log.count;
    };
    for (int i = 0; i < 2500 && rig.link.connected; ++i)
        rig.tick(hooks);
    ASSERT_EQ(log.count, 2500);

    const LearnResult learnt = learn_from_log(cal, log, LearnMap::fuel, LearnFilters{});
    ASSERT_TRUE(learnt.ok) << learnt.error;
    EXPECT_EQ(learnt.summary.refused_cells, 0);
    // Each sample's own cell, by the nearest row and column: the mean AFR and
    // pressure of the pull (under boost) and of the cruise there.
    struct Seen {
        double afr = 0.0, bar = 0.0;
        int n = 0;
    };
    std::map<std::tuple<bool, int, int>, Seen> seen;
    for (const LogSample& s : log.valid()) {
        const bool pulling = s.throttle > 95.0F && s.boost > 1.0F;
        if (!pulling && !(s.throttle > 10.0F && s.throttle < 26.0F && s.boost < 0.0F)) continue;
        Seen& cell = seen[{pulling, static_cast<int>(std::lround(s.throttle * 23.0F / 100.0F)),
                           std::clamp(static_cast<int>(std::lround(s.rpm / 500.0)) - 1, 0, 19)}];
        cell.afr += static_cast<double>(s.afr);
        cell.bar += static_cast<double>(s.boost);
        ++cell.n;
    }
    int checked[2] = {0, 0};
    for (const auto& [at, sum] : seen) {
        const auto [pulling, row, col] = at;
        const CellLearning& cell = learnt.proposal.at(row, col);
        if (cell.state != ProposalCell::proposed || sum.n < 20) continue;
        const double afr = sum.afr / sum.n;
        const double expected =
            expected_afr(afr, cal.cell(MapId::fuel_correction, row, col), cell.value);
        const double limit = pulling ? afr_protect_limit(cal, sum.bar / sum.n) + 0.05
                                     : 14.7 + std::max(std::fabs(afr - 14.7), 0.1);
        EXPECT_LE(expected, limit) << "row " << row << " col " << col << ": " << cell.value;
        if (!pulling) {
            EXPECT_GE(expected, 14.7 - std::max(std::fabs(afr - 14.7), 0.1));
        }
        ++checked[pulling ? 1 : 0];
    }
    EXPECT_GE(checked[1], 3) << "the pull taught too few cells under boost";
    EXPECT_GE(checked[0], 3) << "the cruise taught too few cells";
}

}  // namespace
}  // namespace veloquin
