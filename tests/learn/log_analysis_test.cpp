// The arithmetic of the log bench: conditions as typed, the words a
// histogram writes into a map, and points binned to pixels.

#include <gtest/gtest.h>

#include "calibration/conversions.h"
#include "learn/learn_maps.h"
#include "learn/log_histogram.h"
#include "learn/log_scatter.h"
#include "tests/learn/learn_logs.h"

namespace veloquin {
namespace {

TEST(LogCondition, ParsesComparisonsAndRangesAndNamesWhatIsWrong) {
    struct Good {
        const char* text;
        std::string_view channel;
        ConditionOp op;
        double a, b;
    };
    for (const Good& g :
         {Good{"THROTTLE > 80", "THROTTLE", ConditionOp::greater, 80, 0},
          Good{" rpm<=3000 ", "RPM", ConditionOp::less_equal, 3000, 0},
          Good{"BOOST between 1.0 and 0.2", "BOOST", ConditionOp::between, 0.2, 1.0},
          Good{"AFR error % != -2.5", kAfrErrorName, ConditionOp::not_equal, -2.5, 0},
          Good{"Inj. pulse >= 3", "INJ.PULSE", ConditionOp::greater_equal, 3, 0}}) {
        const ConditionParse p = parse_condition(g.text);
        ASSERT_TRUE(p.condition) << g.text << ": " << p.error;
        EXPECT_EQ(p.condition->channel.name(), g.channel) << g.text;
        EXPECT_EQ(p.condition->op, g.op) << g.text;
        EXPECT_EQ(p.condition->a, g.a) << g.text;
        if (g.op == ConditionOp::between) {
            EXPECT_EQ(p.condition->b, g.b);
        }
    }
    for (const auto& [text, named] :
         std::vector<std::pair<const char*, const char*>>{{"THRTL > 80", "unknown channel 'THRTL'"},
                                                          {"THROTTLE 80", "no comparison"},
                                                          {"THROTTLE > eighty", "'eighty'"},
                                                          {"BOOST between 1", "A and B"},
                                                          {"> 3", "no channel"}}) {
        const ConditionParse p = parse_condition(text);
        EXPECT_FALSE(p.condition) << text;
        EXPECT_NE(p.error.find(named), std::string::npos) << p.error;
        EXPECT_NE(p.error.find(text), std::string::npos) << "the error quotes the condition";
    }
    LogSample s;
    s.throttle = 80.0F;
    const AfrTarget none = [](const LogSample&) { return 0.0; };
    EXPECT_FALSE(condition_holds(*parse_condition("THROTTLE > 80").condition, s, none));
    EXPECT_TRUE(condition_holds(*parse_condition("THROTTLE >= 80").condition, s, none));
    EXPECT_FALSE(condition_holds(*parse_condition("AFR error % < 100").condition, s, none))
        << "a sample without an AFR error holds no condition on it";
}

Histogram one_cell(MapId map, double value, int hits = 5) {
    Histogram h;
    h.ok = true;
    h.map = map;
    h.min_samples = 3;
    h.value[0] = value;
    h.hits[0] = hits;
    h.value[1] = 99.0;
    h.hits[1] = 2;  // too few: left alone
    return h;
}

TEST(HistogramApply, WritesSetAddAndPercentInTheMapsUnitsWithinItsRange) {
    Calibration cal = testing::learning_calibration();
    cal.cell(MapId::fuel_correction, 0, 0) = 10;
    cal.cell(MapId::boost_duty, 0, 0) = 40;
    const auto word = [&](MapId map, double v, ApplyMode mode) {
        const MapProposal p = histogram_proposal(cal, one_cell(map, v), mode);
        EXPECT_EQ(p.at(0, 1).state, ProposalCell::too_few);
        EXPECT_EQ(p.at(0, 2).state, ProposalCell::no_samples);
        return p.at(0, 0).value;
    };
    EXPECT_EQ(word(MapId::fuel_correction, 7.6, ApplyMode::add), 18);
    EXPECT_EQ(word(MapId::fuel_correction, 250.0, ApplyMode::add), kFuelCorrectionMax);
    EXPECT_EQ(word(MapId::fuel_correction, -4.4, ApplyMode::set), -4);
    EXPECT_EQ(word(MapId::boost_duty, -25.0, ApplyMode::percent), 30);
    EXPECT_EQ(word(MapId::boost_duty, 130.0, ApplyMode::set), 100);
    EXPECT_EQ(word(MapId::map_2_maf, 2.5, ApplyMode::set), volts_to_counts(2.5));
    const int maf = cal.cell(MapId::map_2_maf, 0, 0);
    const int richer = word(MapId::map_2_maf, 10.0, ApplyMode::percent);
    EXPECT_NEAR(maf_counts_to_airflow(cal, richer), maf_counts_to_airflow(cal, maf) * 1.1,
                maf_counts_to_airflow(cal, maf) * 0.01);

    const AnalysisChannel afr_error{nullptr};
    EXPECT_EQ(apply_refusal(MapId::fuel_correction, afr_error, HistogramStat::mean, ApplyMode::add),
              "");
    EXPECT_NE(
        apply_refusal(MapId::fuel_correction, afr_error, HistogramStat::count, ApplyMode::add), "");
    const std::string rpm = apply_refusal(MapId::boost_duty, *find_analysis_channel("RPM"),
                                          HistogramStat::mean, ApplyMode::set);
    EXPECT_NE(rpm.find("units do not match"), std::string::npos) << rpm;
    EXPECT_NE(rpm.find("WGDuty"), std::string::npos) << "it says what the map takes";
}

TEST(ScatterBinning, PointsLandInTheirPixelsAndASelectionFindsTheirSamples) {
    ScatterPoints p;
    p.request.x = *find_analysis_channel("RPM");
    p.request.y = *find_analysis_channel("BOOST");
    p.x = {0.0F, 0.0F, 9.99F, 5.0F};
    p.y = {0.0F, 0.0F, 9.99F, 20.0F};  // the last lies above the plot
    p.sample = {3, 7, 8, 9};
    p.x_range = {0.0, 10.0};
    p.y_range = {0.0, 10.0};
    const PlotRect plot{100, 50, 10, 10};
    ScatterImage image;
    render_scatter(p, plot, {7, 7}, image);
    ASSERT_EQ(image.pixels.size(), 100u);
    EXPECT_EQ(image.counts[9 * 10 + 0], 2u) << "bottom left holds the two overlapping points";
    EXPECT_EQ(image.counts[0 * 10 + 9], 1u) << "top right";
    EXPECT_EQ(std::count(image.counts.begin(), image.counts.end(), 0u), 98);
    EXPECT_EQ(image.pixels[90] & 0xFFFFFFU, 0xE600A0U) << "sample 7 is in the viewer's range";
    EXPECT_NE(image.pixels[9], image.pixels[50]) << "a point shows on the paper";
    EXPECT_EQ(scatter_samples_in(p, plot, {100, 55, 4, 5}), (std::vector<std::int32_t>{3, 7}));
    EXPECT_EQ(scatter_samples_in(p, plot, {105, 50, 5, 3}), (std::vector<std::int32_t>{8}));
}

}  // namespace
}  // namespace veloquin
