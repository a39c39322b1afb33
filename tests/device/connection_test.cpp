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

TEST_F(PollFixture, PassWithoutAnswerSaysNotConnectedThenSearchesQuietlyEverySecond) {
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
    EXPECT_EQ(platform.last_upper(), "Not connected");
    EXPECT_EQ(platform.last_lower(),
              "No device answered - still looking (Tools, Serial port... lists the ports)");
    EXPECT_EQ(link.port_number, 3);
    EXPECT_TRUE(upper_shown("Search COM3..."));
    EXPECT_TRUE(upper_shown("Search COM5..."));
    EXPECT_TRUE(platform.connect_enabled);
    EXPECT_FALSE(link.is_open());  // a port nobody answers on is not held

    const std::size_t texts = platform.upper_status.size();
    ticks(kQuietPassTicks - 1);
    EXPECT_EQ(platform.opens.size(), 2u);
    EXPECT_EQ(platform.rescans, 0);
    ticks(1);  // a second later: the ports looked for and probed again, port 3 asked
    EXPECT_EQ(platform.rescans, 1);
    EXPECT_EQ(platform.ports[3].frames.size(), 2u);
    EXPECT_EQ(platform.ports[5].frames.size(), 1u);
    EXPECT_EQ(platform.upper_status.size(), texts);  // quietly

    // A device that turns up between passes is found by the next one.
    device_on(5);
    ticks(kRetryTicks + kQuietPassTicks + kRetryTicks);
    ASSERT_TRUE(link.connected);
    EXPECT_EQ(link.port_number, 5);
    EXPECT_FALSE(platform.connect_enabled);
    EXPECT_EQ(platform.last_upper(), "");
}

TEST_F(PollFixture, PortThatWillNotOpenIsPassedOverToTheNext) {
    found({2, 4});
    platform.open_errors[2] = "busy — another program has it open";
    device_on(4);
    ticks(1);
    EXPECT_EQ(platform.last_lower(), "COM2: FAILED (busy — another program has it open)");
    EXPECT_EQ(link.port_number, 4);
    ticks(kRetryTicks);
    EXPECT_TRUE(link.connected);
}

TEST_F(PollFixture, NoPortSaysWhatToDoKeepsConnectEnabledAndTriesAPluggedInOneAtOnce) {
    platform.port_table = std::vector<SerialPortEntry>{};
    start_search(link, platform);
    ticks(1);
    EXPECT_EQ(platform.last_upper(), "No serial port found");
    EXPECT_EQ(platform.last_lower(),
              "Plug in the device, or start with --simulate to try the program");
    EXPECT_TRUE(platform.connect_enabled);
    EXPECT_TRUE(platform.opens.empty());
    ticks(kQuietPassTicks);
    EXPECT_EQ(platform.rescans, 2);  // the start and a second later
    EXPECT_EQ(platform.upper_status.size(), 1u);

    platform.on_rescan = [&] {
        platform.port_table = std::vector<SerialPortEntry>{{"/dev/ttyUSB0", "usb-Unit-if00"}};
    };
    device_on(1);
    platform.ports_changed = true;  // the watcher saw the adapter's node appear
    ticks(1);
    EXPECT_TRUE(link.connected);
    EXPECT_EQ(platform.rescans, 3);
}

TEST_F(PollFixture, PortsThatExistButWillNotOpenSayWhy) {
    platform.port_table = std::vector<SerialPortEntry>{{"/dev/ttyUSB0", ""}};
    platform.open_errors[1] = "permission denied — is the user in the dialout group?";
    platform.open_access[1] = PortAccess::no_permission;
    start_search(link, platform);
    ticks(1);
    EXPECT_EQ(platform.last_upper(), "Not connected");
    EXPECT_EQ(platform.last_lower(),
              "COM1: FAILED (permission denied — is the user in the dialout group?)");
}

TEST_F(PollFixture, ConnectLooksForPortsAgainAndSearchesAloudAtOnce) {
    platform.ports[3];
    found({3});
    ticks(1);
    ASSERT_EQ(platform.last_upper(), "Not connected");
    connect_button_pressed(link, platform);
    EXPECT_EQ(platform.focus_requests, 1);
    ticks(1);
    EXPECT_EQ(platform.rescans, 1);
    EXPECT_EQ(platform.ports[3].frames.size(), 2u);  // the very next tick asks port 3 again
    EXPECT_EQ(
        std::count(platform.upper_status.begin(), platform.upper_status.end(), "Search COM3..."),
        2);
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

TEST_F(PollFixture, DownloadCutOffTakesNothingAndIsRetriedWithTheSearch) {
    device_on(3);
    for (const Block b : kBlockOrder)
        device.downloads[download_code(b)] = Bytes(static_cast<std::size_t>(block_bytes(b)), 1);
    device.answer_downloads = 2;  // the header and the e-map, then silence
    found({3});
    set_start_values(cal);
    const Calibration before = cal;
    ticks(1);
    EXPECT_FALSE(link.connected);
    EXPECT_EQ(cal.header, before.header);
    EXPECT_EQ(cal.maps, before.maps);
    EXPECT_EQ(cal.curves, before.curves);
    EXPECT_EQ(platform.last_upper(), "Not connected");
    EXPECT_EQ(platform.last_lower(), "Download failed: f-map");
    EXPECT_EQ(platform.live_refreshes, 0);
    EXPECT_TRUE(platform.titles.size() == 1);

    device.answer_downloads = 100;
    ticks(kQuietPassTicks);
    EXPECT_TRUE(link.connected);
    EXPECT_EQ(cal.cell(MapId::map_2_maf, 0, 0), 0x0101);
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
    EXPECT_EQ(link.live.bytes[5], 0x22);
    device.live_misses = 3;
    ticks(1);
    EXPECT_FALSE(link.connected);
    EXPECT_EQ(platform.last_upper(), "Disconnected");
    EXPECT_EQ(platform.last_lower(), "Device lost - retrying");
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

TEST_F(PollFixture, FirstAttemptsForgetSyncOfTheFirstThreeBlocksOnlyReconnectsNone) {
    for (auto& s : cal.sums)
        s = {11, 11};
    found({7});
    connection_attempt(link, cal, platform, Edition::full);
    EXPECT_EQ(cal.block_sums(Block::header).current, kNeverSynced);
    EXPECT_EQ(cal.block_sums(Block::f_map).synced, kNeverSynced);
    EXPECT_EQ(cal.block_sums(Block::meth_map).synced, 11u);
    EXPECT_EQ(cal.block_sums(Block::sensors).current, 11u);

    // Once a device's calibration was taken, the sums say what it was not sent.
    for (auto& s : cal.sums)
        s = {11, 11};
    link.search.device_identity = "KVX serial# 01020304050607 HW.Ver:02 SW.Ver:15";
    connection_attempt(link, cal, platform, Edition::full);
    EXPECT_EQ(cal.block_sums(Block::header).synced, 11u);
}

// Two ports; the device is on the second, with its own calibration.
struct ReconnectFixture : PollFixture {
    Calibration device_cal;
    void SetUp() override {
        set_start_values(cal);
        device_cal = cal;
        device_cal.cell(MapId::map_2_maf, 0, 0) = 1111;
        device_cal.cell(MapId::boost_duty, 0, 0) = 30;
        platform.port_table =
            std::vector<SerialPortEntry>{{"/dev/ttyS0", ""}, {"/dev/ttyUSB0", "usb-Unit-if00"}};
        platform.ports[1];
        device.attach(platform.ports[2]);
        for (const Block b : kBlockOrder)
            device.downloads[download_code(b)] = encode_block(device_cal, b);
        start_search(link, platform);
        ticks(1 + kRetryTicks);
        ASSERT_TRUE(link.connected);
        ASSERT_EQ(link.port_number, 2);
    }
    // The ports opened since `from`, by the probe and by the attempts.
    std::vector<int> opened_since(std::size_t from) const {
        std::vector<int> ports;
        for (std::size_t i = from; i < platform.opens.size(); ++i)
            ports.push_back(platform.opens[i].first);
        return ports;
    }
};

TEST_F(ReconnectFixture, LostDeviceIsAskedForQuietlyOnItsPortFirstAndComesBackWithTheEdits) {
    EXPECT_EQ(cal.cell(MapId::boost_duty, 0, 0), 30);  // the first connection: the device wins
    device.unplugged = true;
    ticks(1);
    EXPECT_FALSE(link.connected);
    EXPECT_FALSE(link.is_open());
    EXPECT_EQ(platform.last_upper(), "Disconnected");
    EXPECT_EQ(platform.last_lower(), "Device lost - retrying");
    EXPECT_TRUE(platform.connect_enabled);
    cal.cell(MapId::boost_duty, 0, 0) = 42;  // edited while the device is away

    const std::size_t opens = platform.opens.size();
    const std::size_t texts = platform.upper_status.size();
    ticks(kRetryTicks + kRetryTicks);
    // The probe opens both, then the attempts go to the device's port first.
    EXPECT_EQ(opened_since(opens), (std::vector<int>{1, 2, 2, 1}));
    EXPECT_EQ(platform.upper_status.size(), texts);
    ticks(kQuietPassTicks - 1);
    EXPECT_EQ(platform.opens.size(), opens + 4);  // a second between passes

    device.unplugged = false;
    ticks(1);
    ASSERT_TRUE(link.connected);
    EXPECT_EQ(platform.last_lower(), "Reconnected");
    EXPECT_EQ(cal.cell(MapId::map_2_maf, 0, 0), 1111);
    EXPECT_EQ(cal.cell(MapId::boost_duty, 0, 0), 42);
    ticks(kUploadEveryTicks + 10);  // the round, and the frame after its pause
    EXPECT_EQ(device.upload_codes, (std::vector<std::uint8_t>{0x08}));
}

TEST_F(ReconnectFixture, AnotherDeviceOnTheSamePortWinsOverTheEdits) {
    device.live_misses = 3;
    ticks(1);
    ASSERT_FALSE(link.connected);
    cal.cell(MapId::boost_duty, 0, 0) = 42;
    device.identification[9] = 99;  // another unit's serial number
    ticks(kRetryTicks);
    ASSERT_TRUE(link.connected);
    EXPECT_EQ(cal.cell(MapId::boost_duty, 0, 0), 30);
    ticks(kUploadEveryTicks + 10);
    EXPECT_TRUE(device.upload_codes.empty());
}

TEST_F(ReconnectFixture, PortListShowsEachStateAndAChosenPortIsTriedFirst) {
    platform.port_table->push_back({"/dev/ttyUSB1", ""});
    platform.port_table->push_back({"/dev/ttyUSB2", ""});
    platform.open_errors[3] = "busy — another program has it open";
    platform.open_access[3] = PortAccess::busy;
    platform.open_errors[4] = "permission denied — is the user in the dialout group?";
    platform.open_access[4] = PortAccess::no_permission;
    const std::vector<SerialPortChoice> list = list_serial_ports(link, platform);
    ASSERT_EQ(list.size(), 4u);
    std::vector<std::string> states;
    for (const SerialPortChoice& p : list)
        states.push_back(p.state);
    EXPECT_EQ(states, (std::vector<std::string>{"free", "connected", "busy", "no permission"}));
    EXPECT_EQ(list[1].port.by_id, "usb-Unit-if00");
    ticks(1);
    EXPECT_TRUE(link.connected);  // the device kept its line through the listing

    choose_port(link, platform, list[0]);
    EXPECT_FALSE(link.connected);
    EXPECT_EQ(link.search.chosen_port, "/dev/ttyS0");
    const std::size_t opens = platform.opens.size();
    ticks(1);
    // Probed (the busy and refused ports fail), then the chosen port asked first.
    EXPECT_EQ(opened_since(opens), (std::vector<int>{1, 2, 3, 4, 1}));
}

}  // namespace
}  // namespace veloquin
