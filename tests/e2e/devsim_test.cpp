// The simulated device's own logic, without a terminal: request framing,
// the calibration it starts from, and the car it simulates.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "calibration/conversions.h"
#include "devsim/device_store.h"
#include "devsim/engine_model.h"
#include "devsim/request_parser.h"

namespace veloquin::devsim {
namespace {

std::vector<Request> feed_all(RequestParser& parser, const std::vector<std::uint8_t>& bytes) {
    std::vector<Request> out;
    for (std::uint8_t b : bytes) {
        if (auto r = parser.feed(b)) out.push_back(*r);
    }
    return out;
}

std::vector<std::uint8_t> concat(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST(RequestParser, EveryCommandShapeComesBackWhole) {
    struct Case {
        std::uint8_t code;
        std::size_t data;
        std::size_t frame_length;
    };
    const Case cases[] = {{0x01, 0, 5},     {0x10, 0, 5},      {0x13, 0, 5},     {0x18, 0, 5},
                          {0x20, 0, 5},     {0x21, 0, 5},      {0x03, 364, 368}, {0x04, 960, 964},
                          {0x05, 960, 964}, {0x06, 856, 860},  {0x07, 960, 964}, {0x08, 960, 964},
                          {0x22, 64, 69},   {0x23, 1024, 1029}};
    for (const Case& c : cases) {
        Request r;
        r.code = c.code;
        r.value = c.code == 0x23 ? 7 : 0;
        for (std::size_t i = 0; i < c.data; ++i)
            r.data.push_back(static_cast<std::uint8_t>(i * 7));
        const auto frame = encode_request(r);
        ASSERT_EQ(frame.size(), c.frame_length) << "code " << int{c.code};
        RequestParser parser;
        const auto got = feed_all(parser, frame);
        ASSERT_EQ(got.size(), 1U) << "code " << int{c.code};
        EXPECT_EQ(got[0].value, r.value);
        EXPECT_EQ(got[0].data, r.data);
    }
}

TEST(RequestParser, KnownFramesOfTheProtocol) {
    EXPECT_EQ(encode_request({0x10, 0, {}}),
              (std::vector<std::uint8_t>{0x13, 0x14, 0x10, 0x00, 0x37}));
    EXPECT_EQ(encode_request({0x01, 0, {}}),
              (std::vector<std::uint8_t>{0x13, 0x14, 0x01, 0x00, 0x28}));
}

TEST(RequestParser, ResynchronisesBehindGarbageAndFalseStarts) {
    RequestParser parser;
    const auto identify = encode_request({0x10, 0, {}});
    const auto live = encode_request({0x01, 0, {}});
    // Noise, a lone start byte, a doubled start byte, a start pair with a
    // code the device does not know, and a start byte right before a frame.
    const auto bytes = concat({{0x00, 0xFF, 0x13, 0x55},
                               {0x13},
                               identify,
                               {0x13, 0x14, 0x99},
                               {0x13, 0x13, 0x14, 0x01, 0x00, 0x28},
                               live});
    const auto got = feed_all(parser, bytes);
    ASSERT_EQ(got.size(), 3U);
    EXPECT_EQ(got[0].code, 0x10);
    EXPECT_EQ(got[1].code, 0x01);
    EXPECT_EQ(got[2].code, 0x01);
}

TEST(RequestParser, BadChecksumIsDroppedAndTheNextFrameStillCounts) {
    RequestParser parser;
    auto broken = encode_request({0x04, 0, std::vector<std::uint8_t>(960, 0x42)});
    broken.back() ^= 0x01;
    const auto got = feed_all(parser, concat({broken, encode_request({0x14, 0, {}})}));
    ASSERT_EQ(got.size(), 1U);
    EXPECT_EQ(got[0].code, 0x14);
    EXPECT_EQ(parser.bad_checksums(), 1U);
}

TEST(RequestParser, TornFrameIsForgottenWhenTheLineGoesQuiet) {
    RequestParser parser;
    const auto upload = encode_request({0x08, 0, std::vector<std::uint8_t>(960, 1)});
    feed_all(parser, std::vector<std::uint8_t>(upload.begin(), upload.begin() + 100));
    EXPECT_TRUE(parser.mid_frame());
    parser.abandon_partial();
    const auto got = feed_all(parser, encode_request({0x10, 0, {}}));
    ASSERT_EQ(got.size(), 1U);
    EXPECT_EQ(got[0].code, 0x10);
}

TEST(DeviceStore, HoldsTheHeaderAndFuelMapInTheDevicesForm) {
    Calibration cal = plausible_calibration();
    cal.param(hw::REV_DIV) = 10;
    cal.param(hw::ACC_MAX) = 3;
    cal.param(hw::BOOST_HZ) = 1;
    cal.cell(MapId::fuel_correction, 2, 3) = -100;
    const DeviceStore store = encode_for_device(cal);
    EXPECT_EQ(store.header_word(hw::REV_DIV), 116);
    EXPECT_EQ(store.header_word(hw::ACC_MAX), 384);
    EXPECT_EQ(store.header_word(hw::BOOST_HZ_device), 24);
    EXPECT_EQ(store.map_cell(Block::f_map, 0, 0), 12800);
    EXPECT_EQ(store.map_cell(Block::f_map, 2, 3), 0);
    EXPECT_EQ(store.fuel_correction(2, 3), -100);
    for (Block b : kBlockOrder)
        EXPECT_EQ(store.block(b).size(), static_cast<std::size_t>(block_bytes(b)));
}

TEST(DeviceStore, RevDivTableMapsBackToTheFirstMatchingIndex) {
    for (int index = 0; index <= 10; ++index) {
        const int expected = index == 9 ? 8 : index;  // "64" and "32" share the device value 64
        EXPECT_EQ(rev_div_index(rev_div_device_value(index)), expected) << index;
    }
    EXPECT_EQ(rev_div_device_value(200), 116);  // a damaged index stays inside the table
    EXPECT_EQ(rev_div_index(5), 5);             // an unknown device value is kept
}

TEST(DeviceStore, BlankStoreIsAllFF) {
    EXPECT_TRUE(blank_store().blank());
    EXPECT_FALSE(encode_for_device(plausible_calibration()).blank());
}

TEST(PlausibleCalibration, IsTheFactoryCalibrationWithTheSimulatedCarsKitOn) {
    const Calibration cal = plausible_calibration();
    const Calibration factory = factory_calibration();
    EXPECT_EQ(cal.map(MapId::map_2_maf), factory.map(MapId::map_2_maf));
    EXPECT_EQ(cal.map(MapId::boost_duty), factory.map(MapId::boost_duty));
    EXPECT_EQ(cal.curves, factory.curves);
    EXPECT_EQ(factory.param(hw::METH_MODE), 0);
    EXPECT_EQ(cal.param(hw::METH_MODE), 1);
    EXPECT_EQ(cal.param(sw::record_start(0) + sw::MODE), 2);
    EXPECT_EQ(cal.curve_word(cv::AFR_OUTPUT), 5000);
    // The sender and the curve describe the same sensor.
    EXPECT_NEAR(iat_counts_to_celsius(cal, static_cast<int>(iat_sender_volts(30.0) * 819.0)), 30,
                1);
}

// One full lap of the driving cycle at the poll's 20 ms, with the records.
struct Lap {
    std::vector<LiveRecord> records;
    std::vector<EngineState> states;
};

Lap drive_lap(std::uint32_t seed, const DeviceStore& store, int seconds = 90) {
    EngineModel model(seed);
    Lap lap;
    for (int i = 0; i < seconds * 50; ++i) {
        lap.records.push_back(model.step(20, store));
        lap.states.push_back(model.state());
    }
    return lap;
}

TEST(EngineModel, SameSeedGivesTheSameRecords) {
    const DeviceStore store = encode_for_device(plausible_calibration());
    const Lap a = drive_lap(7, store, 20);
    const Lap b = drive_lap(7, store, 20);
    const Lap c = drive_lap(8, store, 20);
    bool differs = false;
    for (std::size_t i = 0; i < a.records.size(); ++i) {
        ASSERT_EQ(a.records[i].bytes, b.records[i].bytes) << i;
        differs = differs || a.records[i].bytes != c.records[i].bytes;
    }
    EXPECT_TRUE(differs);
}

TEST(EngineModel, DrivingCycleIsSmoothAndPlausible) {
    const Calibration cal = plausible_calibration();
    const DeviceStore store = encode_for_device(cal);
    const Lap lap = drive_lap(3, store);
    std::set<DrivePhase> phases;
    double max_boost = -1.0;
    double min_boost = 1.0;
    double max_speed = 0.0;
    int max_duty = 0;
    for (std::size_t i = 0; i < lap.records.size(); ++i) {
        const LiveRecord& r = lap.records[i];
        const EngineState& s = lap.states[i];
        phases.insert(s.phase);
        ASSERT_GE(r.rpm(), 600);
        ASSERT_LE(r.rpm(), 7500);
        ASSERT_GE(r.throttle_counts(), cal.param(hw::THROTTLE_LO) - 1);
        ASSERT_LE(r.throttle_counts(), cal.param(hw::THROTTLE_HI) + 1);
        ASSERT_GE(r.afr_counts(), 0);
        ASSERT_LE(r.afr_counts(), 4095);
        const double bar = counts_to_bar(cal, r.map_counts());
        max_boost = std::max(max_boost, bar);
        min_boost = std::min(min_boost, bar);
        max_speed = std::max(max_speed, s.speed_kmh);
        max_duty = std::max(max_duty, r.wastegate_duty());
        const int iat = iat_counts_to_celsius(cal, r.iat_counts());
        ASSERT_GE(iat, 10);
        ASSERT_LE(iat, 80);
        // The emulated output is the map the device holds at this point.
        ASSERT_EQ(r.maf_out_counts(), emulated_maf_counts(store, r.map_counts(), s.rpm));
        if (i > 0) {
            const LiveRecord& p = lap.records[i - 1];
            ASSERT_LE(std::abs(r.rpm() - p.rpm()), 250) << "rpm jumps at " << i;
            ASSERT_LE(std::abs(r.map_counts() - p.map_counts()), 200) << "MAP jumps at " << i;
            ASSERT_LE(std::abs(r.speed_kmh() - p.speed_kmh()), 2) << "speed jumps at " << i;
        }
    }
    EXPECT_EQ(phases.size(), 5U);
    EXPECT_GT(max_boost, 0.6);
    EXPECT_LT(min_boost, -0.6);
    EXPECT_GT(max_speed, 100.0);
    EXPECT_GT(max_duty, 20);
}

TEST(EngineModel, BoostFollowsTheBoostDutyMapItHolds) {
    Calibration cal = plausible_calibration();
    cal.map(MapId::boost_duty).fill(0);
    const DeviceStore no_duty = encode_for_device(cal);
    const Lap lap = drive_lap(3, no_duty, 40);
    double max_boost = -1.0;
    for (const LiveRecord& r : lap.records) {
        EXPECT_EQ(r.wastegate_duty(), 0);
        max_boost = std::max(max_boost, counts_to_bar(cal, r.map_counts()));
    }
    // Only the wastegate spring's pressure is left.
    EXPECT_LT(max_boost, 0.4);
    EXPECT_GT(max_boost, 0.2);
}

TEST(EngineModel, SwitchedOutputsFollowTheSwitchRecords) {
    const DeviceStore store = encode_for_device(plausible_calibration());
    const Lap lap = drive_lap(3, store, 40);
    bool meth_seen = false;
    for (std::size_t i = 0; i < lap.records.size(); ++i) {
        const LiveRecord& r = lap.records[i];
        EXPECT_TRUE(r.switched_outputs() & 2) << "output B is always on";
        EXPECT_FALSE(r.switched_outputs() & 8) << "output D is always off";
        const double bar = lap.states[i].map_bar;
        const bool meth = (r.switched_outputs() & 1) != 0;
        if (meth) {
            meth_seen = true;
            EXPECT_GE(r.rpm(), 3000);
            EXPECT_GT(bar, 0.45);
        }
    }
    EXPECT_TRUE(meth_seen);
}

TEST(EngineEvents, ScriptedFromTheCommandLineAndPlayedOnTheEngine) {
    std::string error;
    for (const char* bad :
         {"boost@1s", "lean@", "knock@.s", "lean@1s:0s", "overboost@-1s", "knock@5"}) {
        EXPECT_FALSE(parse_engine_event(bad, error)) << bad;
        EXPECT_NE(error.find(bad), std::string::npos);
    }
    const Calibration cal = plausible_calibration();
    const DeviceStore store = encode_for_device(cal);
    EngineModel model(3);
    for (const char* text : {"lean@1s:1s", "knock@2500ms:200ms", "overboost@3s"}) {
        const auto event = parse_engine_event(text, error);
        ASSERT_TRUE(event) << error;
        model.add_event(*event);
    }
    double lean_afr = 0.0, knock_volts = 0.0, top_boost = -1.0;
    for (int ms = 20; ms <= 5000; ms += 20) {
        const LiveRecord r = model.step(20, store);
        const double bar = counts_to_bar(cal, r.map_counts());
        if (ms > 1500 && ms < 2000 && bar > 0.3) lean_afr = afr_counts_to_afr(cal, r.afr_counts());
        if (ms > 2500 && ms < 2700)
            knock_volts = std::max(knock_volts, counts_to_volts(r.knock_counts()) * 1.0);
        if (ms > 3000) top_boost = std::max(top_boost, bar);
    }
    EXPECT_GT(lean_afr, 13.5) << "lean under boost";
    EXPECT_GT(knock_volts, 2.5);
    EXPECT_GT(top_boost, cal.param(hw::MAP_BAR_HI) / 100.0 + 0.2) << "past the map's top pressure";
}

TEST(EngineModel, BlankDeviceEmulatesNothingAndDoesNotFault) {
    const Lap lap = drive_lap(1, blank_store(), 30);
    for (const LiveRecord& r : lap.records) {
        EXPECT_EQ(r.maf_out_counts(), 0);
        EXPECT_EQ(r.wastegate_duty(), 0);
    }
}

}  // namespace
}  // namespace veloquin::devsim
