// Learning from a recording against the simulated device: live automapping
// runs on every polled record while the same records are recorded, and the
// proposal from the recorded log must be the map automapping made.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>

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
        fill_sample_from_live(log.samples[static_cast<std::size_t>(log.count)], rig.link.live,
                              rig.cal, rig.platform.now_ms());
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
        fill_sample_from_live(log.samples[static_cast<std::size_t>(log.count)], rig.link.live,
                              rig.cal, rig.platform.now_ms());
        ++log.count;
    };
    for (int i = 0; i < 2500 && rig.link.connected; ++i)
        rig.tick(hooks);
    ASSERT_EQ(log.count, 2500);

    const LearnResult learnt = learn_from_log(cal, log, LearnMap::fuel, LearnFilters{});
    ASSERT_TRUE(learnt.ok) << learnt.error;
    EXPECT_EQ(learnt.summary.refused_cells, 0);
    // Each sample's own cell, by the nearest row and column.
    struct Seen {
        double afr = 0.0;
        double bar = 0.0;
        int n = 0;
    };
    std::map<std::pair<int, int>, Seen> boost, cruise;
    for (const LogSample& s : log.valid()) {
        const std::pair cell{static_cast<int>(std::lround(s.throttle * 23.0F / 100.0F)),
                             std::clamp(static_cast<int>(std::lround(s.rpm / 500.0)) - 1, 0, 19)};
        const bool pulling = s.throttle > 95.0F && s.boost > 1.0F;
        const bool cruising = s.throttle > 10.0F && s.throttle < 26.0F && s.boost < 0.0F;
        if (!pulling && !cruising) continue;
        Seen& seen = (pulling ? boost : cruise)[cell];
        seen.afr += static_cast<double>(s.afr);
        seen.bar += static_cast<double>(s.boost);
        ++seen.n;
    }
    const auto check = [&](const std::map<std::pair<int, int>, Seen>& cells, bool pulling) {
        int checked = 0;
        for (const auto& [at, seen] : cells) {
            const CellLearning& cell = learnt.proposal.at(at.first, at.second);
            if (cell.state != ProposalCell::proposed || seen.n < 20) continue;
            const int now = cal.cell(MapId::fuel_correction, at.first, at.second);
            const double afr = seen.afr / seen.n;
            const double expected = expected_afr(afr, now, cell.value);
            if (pulling) {
                EXPECT_LE(expected, afr_protect_limit(cal, seen.bar / seen.n) + 0.05)
                    << "row " << at.first << " col " << at.second << ": " << cell.value;
            } else {
                EXPECT_LE(std::fabs(expected - 14.7), std::max(std::fabs(afr - 14.7), 0.1))
                    << "row " << at.first << " col " << at.second << ": " << cell.value;
            }
            ++checked;
        }
        return checked;
    };
    EXPECT_GE(check(boost, true), 3) << "the pull taught too few cells under boost";
    EXPECT_GE(check(cruise, false), 3) << "the cruise taught too few cells";
}

}  // namespace
}  // namespace veloquin
