#include <gtest/gtest.h>

#include <numeric>
#include <set>

#include "editors/trace_automap.h"
#include "learn/learn_maps.h"
#include "learn/replay_record.h"
#include "tests/learn/learn_logs.h"
#include "tests/support/fake_platform.h"

namespace veloquin {
namespace {

using testing::append_record;
using testing::learning_calibration;
using testing::live_record;

TEST(ReplayRecord, EveryRecordedCountComesBack) {
    Calibration cal = learning_calibration();
    for (int c = 0; c <= kFullScaleCounts; ++c) {
        LogSample s;
        fill_sample_from_live(s, live_record(c, c, c, c), cal, 0);
        const LiveRecord back = replay_record(s, cal);
        ASSERT_EQ(back.rpm(), c);
        ASSERT_EQ(back.map_counts(), c);
        ASSERT_EQ(back.maf_in_counts(), c);
        ASSERT_EQ(back.throttle_counts(), c);
    }
    // Beyond the converter's range as well: a record word is signed.
    for (int c : {-2000, -1, 4500, 32000}) {
        LogSample s;
        fill_sample_from_live(s, live_record(0, c, 0, c), cal, 0);
        EXPECT_EQ(replay_record(s, cal).map_counts(), c);
        EXPECT_EQ(replay_record(s, cal).throttle_counts(), c);
    }
}

// A drive wandering over the whole map, below and above it, vacuum at -1 bar included.
std::vector<LiveRecord> wandering_drive(const Calibration& cal, int records) {
    std::vector<LiveRecord> out;
    std::uint32_t seed = 12345;
    const auto next = [&seed](int n) {
        seed = seed * 1103515245U + 12345U;
        return static_cast<int>((seed >> 8) % static_cast<std::uint32_t>(n));
    };
    int rpm = 900;
    int map = cal.param(hw::MAP_LO);
    for (int i = 0; i < records; ++i) {
        rpm = std::clamp(rpm + next(401) - 200, 300, 10500);
        map = std::clamp(map + next(121) - 60, 0, 4095);
        const int maf = std::clamp(map / 2 + rpm / 5 + next(200), 0, 4095);
        out.push_back(live_record(rpm, map, maf, 1000));
    }
    return out;
}

TEST(LearnMaf, ReplayEqualsLiveAutomappingOverTheSameRecords) {
    const Calibration before = learning_calibration();
    Calibration live_cal = before;
    live_cal.cell(MapId::map_2_maf, 0, 0) = 0;  // an empty cell takes its first estimate alone
    Calibration start = live_cal;
    EditorState editor;
    testing::FakePlatform platform;
    set_automapping(editor, platform);
    LogBuffer log;
    // Live automapping clips a point beyond the map to its edge; learning
    // leaves it out, so only the records on the map are fed to both.
    int beyond = 0;
    for (const LiveRecord& r : wandering_drive(start, 5000)) {
        append_record(log, start, r);
        if (!within_map_axes(start, r, Page::maf_emulation)) {
            ++beyond;
            continue;
        }
        process_live_data(editor, live_cal, r, Page::maf_emulation, platform, false);
    }
    const LearnResult learnt = learn_from_log(start, log, LearnMap::maf, LearnFilters::none());
    ASSERT_TRUE(learnt.ok) << learnt.error;
    int reached = 0;
    for (int r = 0; r < kMapRows; ++r) {
        for (int c = 0; c < kMapCols; ++c) {
            const CellLearning& cell = learnt.proposal.at(r, c);
            const AutomapCell& acc = editor.automap_cell(r, c);
            const int weight = acc.count == 0 || start.cell(MapId::map_2_maf, r, c) <= 0 ? 0 : 10;
            ASSERT_EQ(cell.hits, acc.count - weight) << r << "," << c;
            if (cell.hits == 0) continue;
            ++reached;
            ASSERT_EQ(cell.state, ProposalCell::proposed);
            ASSERT_EQ(cell.value, live_cal.cell(MapId::map_2_maf, r, c)) << r << "," << c;
        }
    }
    EXPECT_GT(reached, 200);
    EXPECT_EQ(learnt.summary.verdicts[0], 5000);
    EXPECT_GT(beyond, 500);
    EXPECT_EQ(learnt.summary.outside, beyond);
    EXPECT_LT(learnt.summary.used, 5000);  // the records at or below -1 bar teach nothing
}

struct FuelDrive {
    Calibration cal = learning_calibration();
    LogBuffer log;
    // The calibration's AFR wanted in every cell: these tests are about the arithmetic.
    TargetAfrTable targets = uniform_target_afr(140);

    // `records` steady records in the middle of one cell.
    void hold(int row, int col, int records, float afr, int rpm = 0) {
        const LiveRecord r = live_record(rpm != 0 ? rpm : 500 * (col + 1), 1500, 1000,
                                         testing::throttle_counts_of_row(cal, row));
        for (int i = 0; i < records; ++i) {
            append_record(log, cal, r);
            log.samples[static_cast<std::size_t>(log.count - 1)].temperature = 30;
            log.samples[static_cast<std::size_t>(log.count - 1)].afr = afr;
        }
    }
};

bool lean_region(int row, int col) {
    return row >= 8 && row <= 11 && col >= 5 && col <= 7;
}

TEST(LearnFuel, LeanRegionGetsItsCorrectionAndEveryOtherCellStays) {
    FuelDrive d;
    d.cal.cell(MapId::fuel_correction, 9, 6) = 5;
    // Held at the map's 200, it would still run at 15.1: leaner than AFR protect allows.
    d.cal.cell(MapId::fuel_correction, 10, 6) = 195;
    d.cal.cell(MapId::fuel_correction, 5, 3) = -7;
    d.hold(0, 0, 150, 14.0F, 800);  // lead-in and lead-out: idle, and the trimmed seconds
    // Every block starts with a throttle step, so each loses the settling records.
    for (int col = 2; col <= 9; ++col) {
        for (int row = 4; row <= 15; ++row)
            d.hold(row, col, 100, lean_region(row, col) ? 15.4F : 14.0F);
    }
    d.hold(0, 0, 150, 14.0F, 800);

    const LearnResult learnt =
        learn_from_log(d.cal, d.log, LearnMap::fuel, LearnFilters{}, &d.targets);
    ASSERT_TRUE(learnt.ok) << learnt.error;
    for (int r = 0; r < kMapRows; ++r) {
        for (int c = 0; c < kMapCols; ++c) {
            const CellLearning& cell = learnt.proposal.at(r, c);
            const int now = d.cal.cell(MapId::fuel_correction, r, c);
            if (r < 4 || r > 15 || c < 2 || c > 9) {
                EXPECT_EQ(cell.state, ProposalCell::no_samples) << r << "," << c;
                continue;
            }
            EXPECT_EQ(cell.hits, 100 - 41) << r << "," << c;  // the settling after each step
            if (r == 10 && c == 6) {
                EXPECT_EQ(cell.state, ProposalCell::refused);
                continue;
            }
            ASSERT_EQ(cell.state, ProposalCell::proposed) << r << "," << c;
            const int expected = lean_region(r, c) ? now + 10 : now;
            EXPECT_EQ(cell.value, expected) << r << "," << c;
        }
    }
    EXPECT_EQ(learnt.summary.changed_cells, 11);
    EXPECT_EQ(learnt.summary.refused_cells, 1);
    EXPECT_EQ(learnt.proposal.at(9, 6).value, 15);
}

TEST(LearnFuel, TooFewSamplesLeaveTheCellAlone) {
    FuelDrive d;
    d.hold(6, 4, 30, 15.4F);
    LearnFilters f = LearnFilters::none();
    f.min_samples = 31;
    const LearnResult learnt = learn_from_log(d.cal, d.log, LearnMap::fuel, f, &d.targets);
    EXPECT_EQ(learnt.proposal.at(6, 4).state, ProposalCell::too_few);
    EXPECT_EQ(learnt.proposal.at(6, 4).value, 0);
    EXPECT_EQ(learnt.summary.too_few_cells, 1);
    EXPECT_EQ(learnt.summary.proposed_cells, 0);
}

TEST(LearnFuel, AimsAtEachCellsTargetAndRefusesWhatAfrProtectForbids) {
    FuelDrive d;
    d.cal.param(hw::MAP_BAR_HI) = 190;  // AFR protect point 15 at 1.9 bar
    for (int i = 0; i < cv::AFR_PROTECT_POINTS; ++i)
        d.cal.curve_word(cv::AFR_PROTECT + i) = static_cast<std::int16_t>(150 - 2 * i);
    d.targets.word(20, 10) = 118;  // full throttle wants it rich
    d.targets.word(20, 12) = 147;  // a careless target, under boost
    d.hold(20, 10, 60, 11.8F);
    d.hold(20, 12, 60, 11.8F);
    d.hold(6, 4, 60, 15.4F);  // cruise, lean of its 14.0
    // The pull is at 1.2 bar, where AFR protect allows 13.1.
    for (LogSample& s : d.log.valid())
        s.boost = s.throttle > 80.0F ? 1.2F : -0.4F;
    EXPECT_NEAR(afr_protect_limit(d.cal, 1.2), 13.1, 0.01);
    EXPECT_NEAR(afr_protect_limit(d.cal, -0.4), 15.0, 1e-9);

    const LearnResult learnt =
        learn_from_log(d.cal, d.log, LearnMap::fuel, LearnFilters::none(), &d.targets);
    ASSERT_TRUE(learnt.ok);
    EXPECT_EQ(learnt.proposal.at(20, 10).state, ProposalCell::proposed);
    EXPECT_EQ(learnt.proposal.at(20, 10).value, 0);
    EXPECT_EQ(learnt.proposal.at(6, 4).value, 10);
    // 14.7 would take -20 %, running at 14.7: leaner than 13.1.
    EXPECT_EQ(learnt.proposal.at(20, 12).state, ProposalCell::refused);
    EXPECT_EQ(learnt.summary.refused_cells, 1);
    Calibration cal = d.cal;
    MapProposal proposal = learnt.proposal;
    apply_proposal(cal, proposal, nullptr);
    EXPECT_EQ(cal.cell(MapId::fuel_correction, 20, 12), 0) << "a refused cell is never applied";
    EXPECT_NEAR(expected_afr(11.8, 0, -20), 14.75, 1e-9);
}

TEST(LearnFromLog, OverrunAndPointsBeyondTheMapTeachNoCell) {
    const Calibration cal = learning_calibration();
    LogBuffer log;
    const int closed = cal.param(hw::THROTTLE_LO);
    const auto add = [&](int records, int rpm, int map_counts, int throttle, float afr) {
        for (int i = 0; i < records; ++i) {
            append_record(log, cal, live_record(rpm, map_counts, 900, throttle));
            log.samples[static_cast<std::size_t>(log.count - 1)].temperature = 30;
            log.samples[static_cast<std::size_t>(log.count - 1)].afr = afr;
        }
    };
    add(200, 2500, cal.param(hw::MAP_LO) - 60, closed, 22.0F);          // below the map: fuel cut
    add(150, 3000, testing::map_counts_of_row(cal, 0), closed, 22.0F);  // overrun on row 0
    add(100, 3000, testing::map_counts_of_row(cal, 5), closed + 200, 14.0F);
    add(50, 12000, testing::map_counts_of_row(cal, 5), closed + 200, 14.0F);  // past 10000 rpm

    LearnFilters f = LearnFilters::none();
    f.overrun_on = true;
    for (const LearnMap map : {LearnMap::maf, LearnMap::fuel}) {
        const LearnResult learnt = learn_from_log(cal, log, map, f);
        ASSERT_TRUE(learnt.ok);
        EXPECT_EQ(learnt.summary.verdicts[static_cast<std::size_t>(SampleFilter::overrun)], 350);
        EXPECT_EQ(learnt.summary.outside, 50);
        EXPECT_EQ(learnt.summary.used, 100);
    }
    const LearnResult maf = learn_from_log(cal, log, LearnMap::maf, f);
    const MapHitCounts hits = hit_counts(cal, log, f);
    for (int c = 0; c < kMapCols; ++c) {
        EXPECT_EQ(maf.proposal.at(0, c).hits, 0) << c;
        EXPECT_EQ(hits_at(hits[0], 0, c), 0) << c;
        EXPECT_EQ(hits_at(hits[0], 5, c), c == 5 ? 100 : 0) << c;
    }
    // Without the filter the overrun on the map teaches; below it, still nothing.
    f.overrun_on = false;
    const LearnResult unfiltered = learn_from_log(cal, log, LearnMap::maf, f);
    EXPECT_EQ(unfiltered.summary.outside, 250);
    EXPECT_EQ(unfiltered.proposal.at(0, 5).hits, 150);
    EXPECT_EQ(unfiltered.proposal.at(0, 4).hits, 0);
    EXPECT_TRUE(LearnFilters{}.overrun_on);
}

// 1000 good samples 20 ms apart with one of each event the filters name.
LogBuffer eventful_log() {
    LogBuffer log;
    log.count = 1000;
    log.make_room(1000);
    for (int i = 0; i < log.count; ++i) {
        LogSample& s = log.samples[static_cast<std::size_t>(i)];
        s.time_ms = 5000U + 20U * static_cast<std::uint32_t>(i);
        s.rpm = 3000;
        s.speed = 60;  // R/S 50
        s.temperature = 30;
        s.throttle = i >= 500 ? 30.0F : 20.0F;  // a step at 500
        s.afr = 14.0F;
        if (i >= 150 && i < 160) {
            s.rpm = 800;  // idle, R/S kept so no gear change is seen
            s.speed = 16;
        }
        if (i >= 300 && i < 305) s.temperature = -5;
        if (i >= 700) s.speed = 100;  // R/S 30: the next gear
        if (i >= 850 && i < 853) s.afr = 25.0F;
    }
    return log;
}

std::set<int> removed(const LogBuffer& log, const LearnFilters& f, bool fuel) {
    std::set<int> out;
    const auto verdicts = classify_samples(log, f, fuel);
    for (std::size_t i = 0; i < verdicts.size(); ++i) {
        if (verdicts[i] != SampleFilter::kept) out.insert(static_cast<int>(i));
    }
    return out;
}

std::set<int> span(int first, int last) {
    std::set<int> out;
    for (int i = first; i <= last; ++i)
        out.insert(i);
    return out;
}

TEST(LearnFilters, EachFilterRemovesExactlyWhatItNames) {
    const LogBuffer log = eventful_log();
    struct Case {
        const char* name;
        bool LearnFilters::*on;
        std::set<int> expected;
    };
    std::set<int> edges = span(0, 99);
    edges.merge(span(900, 999));
    std::set<int> settling = span(500, 540);
    settling.merge(span(700, 740));
    const Case cases[] = {
        {"trim", &LearnFilters::trim_on, edges},
        {"min rpm", &LearnFilters::min_rpm_on, span(150, 159)},
        {"temperature", &LearnFilters::min_temperature_on, span(300, 304)},
        {"throttle step", &LearnFilters::throttle_step_on, {500}},
        {"settle", &LearnFilters::settle_on, settling},
        {"afr", &LearnFilters::max_afr_on, span(850, 852)},
    };
    const LearnFilters defaults;
    for (const Case& c : cases) {
        LearnFilters f = LearnFilters::none();
        f.*c.on = true;
        EXPECT_EQ(removed(log, f, true), c.expected) << c.name;
    }
    LearnFilters afr_only = LearnFilters::none();
    afr_only.max_afr_on = true;
    EXPECT_TRUE(removed(log, afr_only, false).empty()) << "the AFR filter is the fuel learning's";
    EXPECT_EQ(defaults.trim_seconds, 2.0F);
    EXPECT_EQ(defaults.settle_samples, 40);

    // Without sample times the trimmed seconds are counted at the stream rate.
    LogBuffer untimed = log;
    for (LogSample& s : untimed.valid())
        s.time_ms = 0;
    LearnFilters trim = LearnFilters::none();
    trim.trim_on = true;
    trim.trim_seconds = 0.5F;
    const int edge = static_cast<int>(std::round(0.5 * kStreamRecordsPerSecond));
    std::set<int> untimed_edges = span(0, edge - 1);
    untimed_edges.merge(span(1000 - edge, 999));
    EXPECT_EQ(removed(untimed, trim, true), untimed_edges);

    // All together, each sample counts under the first filter that names it.
    const auto counts = count_verdicts(classify_samples(log, defaults, true));
    EXPECT_EQ(counts[static_cast<std::size_t>(SampleFilter::log_edges)], 200);
    EXPECT_EQ(counts[static_cast<std::size_t>(SampleFilter::low_rpm)], 10);
    EXPECT_EQ(counts[static_cast<std::size_t>(SampleFilter::throttle_step)], 1);
    EXPECT_EQ(counts[static_cast<std::size_t>(SampleFilter::settling)], 40 + 41);
    EXPECT_EQ(counts[static_cast<std::size_t>(SampleFilter::afr_range)], 3);
}

TEST(ApplyProposal, AllOrTheSelectionAndEachCellOnce) {
    FuelDrive d;
    d.hold(6, 4, 50, 15.4F);
    d.hold(12, 8, 50, 12.6F);
    LearnResult learnt =
        learn_from_log(d.cal, d.log, LearnMap::fuel, LearnFilters::none(), &d.targets);
    ASSERT_EQ(pending_cells(learnt.proposal), 2);
    EditorCursor selection;
    selection.first_row = selection.last_row = 12;
    selection.first_col = selection.last_col = 8;
    Calibration cal = d.cal;
    EXPECT_EQ(apply_proposal(cal, learnt.proposal, &selection), 1);
    EXPECT_EQ(cal.cell(MapId::fuel_correction, 12, 8), -10);
    EXPECT_EQ(cal.cell(MapId::fuel_correction, 6, 4), 0);
    EXPECT_EQ(learnt.proposal.at(12, 8).state, ProposalCell::applied);
    EXPECT_EQ(pending_cells(learnt.proposal), 1);
    EXPECT_EQ(apply_proposal(cal, learnt.proposal, nullptr), 1);
    EXPECT_EQ(cal.cell(MapId::fuel_correction, 6, 4), 10);
    EXPECT_EQ(apply_proposal(cal, learnt.proposal, nullptr), 0);
}

TEST(HitCounts, EveryMapCountsTheSamplesThatReachEachCell) {
    Calibration cal = learning_calibration();
    LogBuffer log;
    const int throttle = testing::throttle_counts_of_row(cal, 12);  // half open
    for (int i = 0; i < 7; ++i)
        append_record(log, cal,
                      live_record(2000, testing::map_counts_of_row(cal, 10), 900, throttle));
    for (LogSample& s : log.valid())
        s.temperature = 20;
    const MapHitCounts hits = hit_counts(cal, log, LearnFilters::none());
    const auto& maf = hits[static_cast<std::size_t>(MapId::map_2_maf)];
    EXPECT_EQ(hits_at(maf, 10, 3), 7);
    EXPECT_EQ(std::accumulate(maf.begin(), maf.end(), 0), 7);
    EXPECT_EQ(hits_at(hits[static_cast<std::size_t>(MapId::fuel_correction)], 12, 3), 7);
    // Half open lies between rows 5 and 6 of the boost map's twelve.
    const auto& boost = hits[static_cast<std::size_t>(MapId::boost_duty)];
    EXPECT_EQ(hits_at(boost, 5, 3), 7);
    EXPECT_EQ(hits_at(boost, 6, 3), 7);
    EXPECT_EQ(std::accumulate(boost.begin(), boost.end(), 0), 14);
    EXPECT_EQ(hit_counts(cal, log, LearnFilters{})[0][0], 0);
}

TEST(LearnFromLog, RefusesWhatCannotTeachWithAReason) {
    Calibration cal = learning_calibration();
    LogBuffer log;
    EXPECT_EQ(learn_from_log(cal, log, LearnMap::maf, {}).error, "The log holds no samples.");
    append_record(log, cal, live_record(2000, 1500, 900, 1000));
    log.mazda_log = true;
    EXPECT_FALSE(learn_from_log(cal, log, LearnMap::fuel, {}).ok);
    log.mazda_log = false;
    cal.param(hw::O2FB_Target) = 0;
    EXPECT_EQ(learn_from_log(cal, log, LearnMap::fuel, {}).error,
              "O2FB_Target is not set: there is no AFR to aim for.");
    EXPECT_TRUE(learn_from_log(cal, log, LearnMap::maf, {}).ok);
    cal.param(hw::MAP_HI) = cal.param(hw::MAP_LO);
    EXPECT_FALSE(learn_from_log(cal, log, LearnMap::maf, {}).ok);
}

}  // namespace
}  // namespace veloquin
