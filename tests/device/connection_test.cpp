#include "device/connection.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "device/transfer.h"
#include "tests/device/scripted_device.h"

namespace veloquin {
namespace {

constexpr std::uint32_t kPollMs = 20;

using testing::FakePlatform;
using testing::ScriptedDevice;
using Bytes = std::vector<std::uint8_t>;

TEST(IdentificationLine, SerialAndVersionsAsTwoDigitDecimals) {
    EXPECT_EQ(identification_line(Bytes{'K', 'V', 'X', 1, 2, 3, 4, 5, 6, 7, 2, 15}),
              "KVX serial# 01020304050607 HW.Ver:02 SW.Ver:15");
    EXPECT_EQ(identification_line(Bytes{'K', 'V', 'X', 255, 0, 99, 100, 5, 6, 7, 200, 0}),
              "KVX serial# 2550099100050607 HW.Ver:200 SW.Ver:00");
    EXPECT_EQ(identification_line(Bytes{'K', 'V', 'Y', 1, 2, 3, 4, 5, 6, 7, 2, 15}), "");
    EXPECT_EQ(identification_line(Bytes{'K', 'V', 'X'}), "");
}

struct PollFixture : ::testing::Test {
    FakePlatform platform;
    DeviceLink link;
    Calibration cal;
    PollHooks hooks;
    ScriptedDevice device;

    void found(std::initializer_list<int> ports) {
        for (const int p : ports)
            link.found_ports[static_cast<std::size_t>(link.found_count++)] = p;
        start_search_at_first_found_port(link);
    }
    void device_on(int port) {
        for (const Block b : kBlockOrder) {
            device.downloads[download_code(b)] =
                Bytes(static_cast<std::size_t>(block_bytes(b)), 0xFF);
        }
        device.attach(platform.ports[port]);
    }
    // Ticks of the 20 ms timer.
    void ticks(int n) {
        for (int i = 0; i < n; ++i) {
            platform.clock_ms += kPollMs;
            poll_tick(link, cal, platform, Edition::full, hooks);
        }
    }
    bool upper_shown(const std::string& text) const {
        return std::find(platform.upper_status.begin(), platform.upper_status.end(), text) !=
               platform.upper_status.end();
    }
};

TEST_F(PollFixture, PassOverTwoEmptyPortsEndsNotConnectedBackAtTheFirst) {
    platform.ports[3];  // ports that open with nothing behind them
    platform.ports[5];
    found({3, 5});
    ticks(1);
    EXPECT_EQ(platform.opens.back().first, 3);
    EXPECT_EQ(link.port_number, 5);
    ticks(4);
    EXPECT_EQ(platform.opens.size(), 1u);  // five ticks between attempts
    ticks(1);
    EXPECT_EQ(platform.opens.back().first, 5);
    EXPECT_TRUE(link.stopped);
    EXPECT_EQ(platform.last_upper(), "Not connected");
    EXPECT_EQ(link.port_number, 3);
    EXPECT_TRUE(upper_shown("Search COM3..."));
    EXPECT_TRUE(upper_shown("Search COM5..."));
    ticks(20);
    EXPECT_EQ(platform.opens.size(), 2u);
    EXPECT_TRUE(platform.connect_enabled);

    connect_button_pressed(link, platform);
    EXPECT_EQ(platform.focus_requests, 1);
    ticks(1);
    EXPECT_FALSE(platform.connect_enabled);
    EXPECT_EQ(platform.opens.size(), 3u);  // the very next tick tries port 3 again
    EXPECT_EQ(platform.opens.back().first, 3);
}

TEST_F(PollFixture, PortThatWillNotOpenIsRetriedWithoutGivingUp) {
    found({2, 4});
    platform.open_errors[2] = "busy — another program has it open";
    ticks(30);
    EXPECT_FALSE(link.stopped);
    EXPECT_EQ(platform.opens.size(), 6u);
    EXPECT_EQ(link.port_number, 2);
    EXPECT_EQ(platform.last_upper(), "Search COM2...");
    EXPECT_EQ(platform.last_lower(), "COM2: FAILED (busy — another program has it open)");
}

TEST_F(PollFixture, NoPortFoundFailsEveryAttemptOnPortZero) {
    found({});
    ticks(11);
    EXPECT_EQ(link.port_number, 0);
    EXPECT_FALSE(link.stopped);
    EXPECT_EQ(platform.opens.size(), 3u);
    EXPECT_EQ(platform.last_lower(), "COM0: FAILED (no such device)");
}

TEST_F(PollFixture, PortChosenWithoutProbeIsSearchedOnceThenStops) {
    platform.ports[6];
    link.port_number = 6;
    ticks(1);
    EXPECT_TRUE(link.stopped);
    EXPECT_EQ(link.port_number, 6);
    EXPECT_EQ(platform.last_upper(), "Not connected");
}

TEST_F(PollFixture, DeviceIsIdentifiedDownloadedAndPolled) {
    device_on(3);
    found({3});
    cal.block_sums(Block::meth_map) = {7, 7};
    ticks(1);
    ASSERT_TRUE(link.connected);
    EXPECT_EQ(platform.titles,
              (std::vector<std::string>{"KVX serial# 01020304050607 HW.Ver:02 SW.Ver:15"}));
    EXPECT_EQ(platform.refills, 1);
    EXPECT_EQ(platform.last_upper(), "");
    // The tick that found the device already asks for its first live record.
    EXPECT_EQ(link.live.bytes[0], 0x22);
    EXPECT_EQ(platform.live_refreshes, 1);
    ticks(1);
    EXPECT_EQ(platform.live_refreshes, 2);
}

TEST_F(PollFixture, IdentifiedButSilentOnFirstDownloadIsNeverConnected) {
    device_on(3);
    device.answer_downloads = 0;
    found({3});
    ticks(1);
    EXPECT_FALSE(link.connected);
    EXPECT_TRUE(link.stopped);
    EXPECT_EQ(platform.last_upper(), "Not connected");
    EXPECT_EQ(platform.live_refreshes, 0);
}

TEST_F(PollFixture, TwoMissedLiveRecordsAreToleratedThreeDisconnect) {
    device_on(1);
    found({1});
    int processed = 0;
    hooks.process_live_data = [&] { ++processed; };
    ticks(1);
    ASSERT_TRUE(link.connected);
    device.live_misses = 2;
    ticks(1);
    EXPECT_TRUE(link.connected);
    EXPECT_FALSE(link.stopped);
    EXPECT_EQ(link.live.bytes[5], 0x22);
    device.live_misses = 3;
    ticks(1);
    EXPECT_FALSE(link.connected);
    EXPECT_TRUE(link.stopped);
    EXPECT_EQ(platform.last_upper(), "Disconnected");
    EXPECT_EQ(link.live.bytes[5], 0);  // a failed tick leaves the record cleared
    EXPECT_EQ(processed, 3);           // the tick that connected, the tolerated one, the failed one
    EXPECT_EQ(platform.live_refreshes, 3);
}

TEST_F(PollFixture, WrongSignaturePausesAndMovesOn) {
    device_on(3);
    device.identification[2] = 'Y';
    found({3, 5});
    ticks(1);
    EXPECT_TRUE(upper_shown("Wrong HW/SW version"));
    EXPECT_EQ(platform.sleeps, (std::vector<std::uint32_t>{1000}));
    EXPECT_EQ(link.port_number, 5);
    EXPECT_FALSE(link.connected);
    EXPECT_TRUE(platform.titles.empty());
}

// The upper line moves on to "Not connected" a second later; the reason stays.
TEST_F(PollFixture, WrongSignatureStaysInTheLowerLineAfterTheSearchGaveUp) {
    device_on(3);
    device.identification[2] = 'Y';
    found({3});
    ticks(1);
    EXPECT_EQ(platform.last_upper(), "Not connected");
    EXPECT_EQ(platform.last_lower(), "COM3: Wrong HW/SW version");
}

TEST_F(PollFixture, ChangesGoOutOnEvery51stConnectedTickUnlessAutomapping) {
    device_on(1);
    found({1});
    ticks(1);
    ASSERT_TRUE(link.connected);
    auto& script = platform.ports.at(1);
    auto uploads = [&] { return device.upload_codes.size(); };
    cal.cell(MapId::boost_duty, 0, 0) += 3;
    ticks(49);  // the tick that connected was the first connected tick
    EXPECT_EQ(uploads(), 0u);
    ticks(1);
    EXPECT_EQ(platform.last_lower(), "(uploading boost-map...)");
    const std::size_t frames_before = script.frames.size();
    ticks(4);
    EXPECT_EQ(uploads(), 0u) << "100 ms pass before the frame";
    EXPECT_EQ(script.frames.size(), frames_before) << "no live request during an upload";
    ticks(1);
    EXPECT_EQ(device.upload_codes, (std::vector<std::uint8_t>{0x08}));
    ticks(24);
    EXPECT_EQ(script.frames.size(), frames_before + 1) << "500 ms of quiet after the frame";
    ticks(1);
    EXPECT_EQ(platform.last_lower(), "");
    EXPECT_EQ(script.frames.size(), frames_before + 2) << "then the poll asks again";

    bool automapping = true;
    hooks.automapping_on = [&] { return automapping; };
    cal.cell(MapId::boost_duty, 0, 0) += 3;
    ticks(120);
    EXPECT_EQ(uploads(), 1u);
    automapping = false;
    ticks(51 + 5);
    EXPECT_EQ(uploads(), 2u);
    EXPECT_GT(script.frames.size(), 200u);
}

TEST_F(PollFixture, AttemptForgetsSyncOfTheFirstThreeBlocksOnly) {
    for (auto& s : cal.sums)
        s = {11, 11};
    found({7});
    connection_attempt(link, cal, platform, Edition::full);
    EXPECT_EQ(cal.block_sums(Block::header).current, kNeverSynced);
    EXPECT_EQ(cal.block_sums(Block::f_map).synced, kNeverSynced);
    EXPECT_EQ(cal.block_sums(Block::meth_map).synced, 11u);
    EXPECT_EQ(cal.block_sums(Block::sensors).current, 11u);
}

}  // namespace
}  // namespace veloquin
