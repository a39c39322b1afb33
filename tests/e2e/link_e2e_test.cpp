// The program's device link against the simulated device over real
// pseudo-terminals: search, identification, transfers, live data, unplugging.

#include <gtest/gtest.h>

#include <algorithm>

#include "calfile/calibration_file.h"
#include "calibration/conversions.h"
#include "device/transfer.h"
#include "devsim/device_store.h"
#include "tests/e2e/link_rig.h"
#include "tests/support/temp_dir.h"

namespace veloquin::testing {
namespace {

using devsim::SimulatorOptions;

bool contains(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

std::vector<Block> all_blocks() {
    return {kBlockOrder.begin(), kBlockOrder.end()};
}

TEST(LinkSearch, DeadPortIsPassedOverAndTheDeviceOnTheNextIsFound) {
    LinkRig rig;
    SimulatorOptions dead;
    dead.silent = true;
    rig.add_device(2, dead);
    SimulatorOptions live;
    live.serial = {10, 20, 30, 40, 50, 60, 70};
    live.hardware = 3;
    live.software = 21;
    rig.add_device(5, live);
    ASSERT_TRUE(rig.connect());
    EXPECT_EQ(rig.link.port_number, 5);
    EXPECT_TRUE(contains(rig.platform.upper_status, "Search COM2..."));
    EXPECT_TRUE(contains(rig.platform.upper_status, "Search COM5..."));
    ASSERT_FALSE(rig.platform.titles.empty());
    EXPECT_EQ(rig.platform.titles.back(), "KVX serial# 10203040506070 HW.Ver:03 SW.Ver:21");
}

TEST(LinkSearch, WrongSignatureMovesTheSearchToTheNextPort) {
    LinkRig rig;
    SimulatorOptions impostor;
    impostor.wrong_signature = true;
    rig.add_device(1, impostor);
    rig.add_device(2);
    ASSERT_TRUE(rig.connect());
    EXPECT_EQ(rig.link.port_number, 2);
    EXPECT_TRUE(contains(rig.platform.upper_status, "Wrong HW/SW version"));
    EXPECT_NE(std::find(rig.platform.sleeps.begin(), rig.platform.sleeps.end(), 1000U),
              rig.platform.sleeps.end());
    EXPECT_EQ(rig.platform.titles.size(), 1U);
}

TEST(LinkSearch, PassWithoutAnswerEndsNotConnected) {
    LinkRig rig;
    SimulatorOptions dead;
    dead.silent = true;
    rig.add_device(3, dead);
    rig.add_device(5, dead);
    EXPECT_FALSE(rig.connect());
    EXPECT_EQ(rig.platform.last_upper(), "Not connected");
    EXPECT_EQ(rig.link.port_number, 3);
}

TEST(LinkSearch, DeviceThatRefusesTheFirstDownloadIsConnectedAtTheNextPass) {
    LinkRig rig;
    SimulatorOptions o;
    o.refuse_downloads = 1;
    devsim::Simulator& sim = rig.add_device(1, o);
    rig.add_found_port(2);  // a second port, with nothing behind it
    rig.tick();
    EXPECT_FALSE(rig.link.connected);
    EXPECT_EQ(sim.log().codes(), (std::vector<std::uint8_t>{0x10, 0x13}));
    EXPECT_EQ(rig.platform.last_lower(), "Download failed: header");
    EXPECT_FALSE(rig.connect());  // port 2 ends the first pass
    rig.ticks(kQuietPassTicks);
    EXPECT_TRUE(rig.link.connected);
    EXPECT_EQ(rig.link.port_number, 1);
}

TEST(LinkSearch, NoiseBeforeEveryReplyIsSkipped) {
    LinkRig rig;
    SimulatorOptions o;
    o.noise_bytes = 3;
    rig.add_device(1, o);
    ASSERT_TRUE(rig.connect());
    rig.ticks(5);
    EXPECT_TRUE(rig.link.connected);
    EXPECT_GT(rig.link.live.rpm(), 500);
}

TEST(LinkTransfer, DownloadTakesExactlyWhatTheDeviceHolds) {
    LinkRig rig;
    devsim::Simulator& sim = rig.add_device(1);
    // The header arrives before the sensors block and its derived words are
    // recomputed from the IAT curve held at that moment; with the device's
    // curve already in place they come out as the device has them.
    rig.cal.curves = devsim::plausible_calibration().curves;
    ASSERT_TRUE(rig.connect());
    const devsim::DeviceStore store = sim.store();
    for (Block b : kBlockOrder) {
        EXPECT_TRUE(encode_block(rig.cal, b) == store.block(b)) << block_name(b);
    }
    EXPECT_EQ(sim.log().codes(),
              (std::vector<std::uint8_t>{0x10, 0x13, 0x14, 0x15, 0x17, 0x18, 0x16, 0x01}));
}

TEST(LinkTransfer, OneBoostDutyCellEditUploadsOnlyTheBoostMap) {
    LinkRig rig;
    devsim::Simulator& sim = rig.add_device(1);
    ASSERT_TRUE(rig.connect());
    sim.clear_log();
    rig.cal.cell(MapId::boost_duty, 6, 7) = low16(rig.cal.cell(MapId::boost_duty, 6, 7) + 5);
    rig.upload_round();
    ASSERT_TRUE(wait_until([&] { return !sim.log().uploads.empty(); }));
    rig.upload_round();  // a second round finds nothing left to send
    EXPECT_EQ(sim.log().uploaded_blocks(), std::vector<Block>{Block::boost_map});
    EXPECT_EQ(sim.store().block(Block::boost_map), encode_block(rig.cal, Block::boost_map));
    EXPECT_TRUE(rig.link.connected);
}

TEST(LinkTransfer, FileLoadUploadsAllSixBlocksInOrder) {
    TempDir dir;
    LinkRig rig;
    devsim::Simulator& sim = rig.add_device(1);
    ASSERT_TRUE(rig.connect());
    Calibration edited = rig.cal;
    edited.cell(MapId::map_2_maf, 10, 10) = 1234;
    edited.cell(MapId::fuel_correction, 3, 4) = -12;
    ASSERT_TRUE(write_calibration_file(edited, dir / "tune.emu", Edition::full));
    sim.clear_log();
    ASSERT_TRUE(read_calibration_file(rig.cal, dir / "tune.emu", Edition::full));
    rig.upload_round();
    ASSERT_TRUE(wait_until([&] { return sim.log().uploads.size() >= 6; }));
    EXPECT_EQ(sim.log().uploaded_blocks(), all_blocks());
    const devsim::DeviceStore store = sim.store();
    EXPECT_EQ(store.map_cell(Block::e_map, 10, 10), 1234);
    EXPECT_EQ(store.fuel_correction(3, 4), -12);
}

// Values from 156 up went out as words above 32767 and came back negative
// (200 as -312) after every reconnect.
TEST(LinkTransfer, EveryFuelCorrectionTheEditorAllowsSurvivesTheDevice) {
    LinkRig rig;
    devsim::Simulator& sim = rig.add_device(1);
    ASSERT_TRUE(rig.connect());
    Map& fuel = rig.cal.map(MapId::fuel_correction);
    for (std::size_t i = 0; i < fuel.size(); ++i)
        fuel[i] = low16(-75 + static_cast<int>(i % 276));
    const Map sent = fuel;
    rig.upload_round();
    ASSERT_TRUE(wait_until([&] { return !sim.log().uploads.empty(); }));
    EXPECT_EQ(sim.store().fuel_correction(13, 15), 200);
    Calibration back;
    set_start_values(back);
    rig.link.connected = true;
    download_all_blocks(rig.link, back, rig.platform, Edition::full);
    ASSERT_TRUE(rig.link.connected);
    EXPECT_EQ(back.map(MapId::fuel_correction), sent);
}

TEST(LinkTransfer, RevDivAndAccMaxSurviveTheRoundTripThroughTheDevice) {
    struct Case {
        int rev_div, acc_max;
        int wire_rev_div, wire_acc_max;
        int back_rev_div, back_acc_max;
    };
    const Case cases[] = {{10, 3, 116, 384, 10, 3}, {9, 1, 64, 128, 8, 1}, {2, 0, 4, 0, 2, 0}};
    for (const Case& c : cases) {
        LinkRig rig;
        devsim::Simulator& sim = rig.add_device(1);
        ASSERT_TRUE(rig.connect());
        rig.cal.param(hw::REV_DIV) = low16(c.rev_div);
        rig.cal.param(hw::ACC_MAX) = low16(c.acc_max);
        rig.upload_round();
        ASSERT_TRUE(wait_until([&] { return !sim.log().uploads.empty(); }));
        EXPECT_EQ(sim.store().header_word(hw::REV_DIV), c.wire_rev_div);
        EXPECT_EQ(sim.store().header_word(hw::ACC_MAX), c.wire_acc_max);
        // What the program keeps is its own value, not the wire's.
        EXPECT_EQ(rig.cal.param(hw::REV_DIV), c.rev_div);
        Calibration back;
        set_start_values(back);
        rig.link.connected = true;
        download_all_blocks(rig.link, back, rig.platform, Edition::full);
        ASSERT_TRUE(rig.link.connected);
        EXPECT_EQ(back.param(hw::REV_DIV), c.back_rev_div);
        EXPECT_EQ(back.param(hw::ACC_MAX), c.back_acc_max);
    }
}

TEST(LinkTransfer, AccMaxFromTheDeviceIsTruncated) {
    LinkRig rig;
    devsim::Simulator& sim = rig.add_device(1);
    devsim::DeviceStore store = sim.store();
    store.block(Block::header)[2 * hw::ACC_MAX] = 383 & 0xFF;
    store.block(Block::header)[2 * hw::ACC_MAX + 1] = 383 >> 8;
    sim.set_store(store);
    ASSERT_TRUE(rig.connect());
    EXPECT_EQ(rig.cal.param(hw::ACC_MAX), 2);
}

TEST(LinkTransfer, UnprogrammedDeviceLeavesTheCalibrationAndStaysConnected) {
    LinkRig rig;
    SimulatorOptions o;
    o.blank = true;
    devsim::Simulator& sim = rig.add_device(1, o);
    rig.cal = devsim::plausible_calibration();
    const Calibration before = rig.cal;
    ASSERT_TRUE(rig.connect());
    EXPECT_EQ(rig.cal.header, before.header);
    EXPECT_EQ(rig.cal.maps, before.maps);
    EXPECT_EQ(rig.cal.curves, before.curves);
    rig.ticks(5);
    EXPECT_TRUE(rig.link.connected);
    // Nothing changed since the download, so nothing is written over the blank unit.
    rig.ticks(kUploadEveryTicks);
    EXPECT_TRUE(sim.log().uploads.empty());
}

TEST(LinkLive, TwoMissedRequestsAreForgivenThreeAreADisconnect) {
    LinkRig rig;
    devsim::Simulator& sim = rig.add_device(1);
    ASSERT_TRUE(rig.connect());
    sim.miss_live_requests(2);
    rig.tick();
    EXPECT_TRUE(rig.link.connected);
    EXPECT_GT(rig.link.live.rpm(), 0);
    sim.miss_live_requests(3);
    rig.tick();
    EXPECT_FALSE(rig.link.connected);
    EXPECT_EQ(rig.platform.last_upper(), "Disconnected");
}

TEST(LinkLive, VanishedDeviceEndsInDisconnectedAndTheSearchGoesOn) {
    LinkRig rig;
    SimulatorOptions o;
    o.vanish_after = 7 + 4;  // identification, six downloads, four live requests
    devsim::Simulator& sim = rig.add_device(1, o);
    ASSERT_TRUE(rig.connect());
    for (int i = 0; i < 20 && rig.link.connected; ++i)
        rig.tick();
    EXPECT_TRUE(sim.vanished());
    EXPECT_FALSE(rig.link.connected);
    EXPECT_EQ(rig.platform.last_upper(), "Disconnected");
    EXPECT_EQ(rig.platform.last_lower(), "Device lost - retrying");
    // Passes over a port whose device node is gone: nothing opens, nothing breaks.
    const std::size_t opens = rig.platform.opens.size();
    rig.ticks(3 * kQuietPassTicks);
    EXPECT_FALSE(rig.link.connected);
    EXPECT_GT(rig.platform.opens.size(), opens);
    EXPECT_EQ(rig.platform.last_lower(), "Device lost - retrying");
}

TEST(LinkLive, StreamRunsUntilTheIdentificationRequestEndsIt) {
    LinkRig rig;
    devsim::Simulator& sim = rig.add_device(1);
    ASSERT_TRUE(rig.connect());
    ASSERT_TRUE(send_command(rig.link, cmd::start_stream, 0));
    int received = 0;
    int misses = 0;
    while (received < 200 && misses < 50) {
        if (receive_streamed_reply(rig.link, LiveRecord::kSize)) {
            ++received;
        } else {
            ++misses;
        }
    }
    EXPECT_EQ(received, 200);
    EXPECT_TRUE(sim.streaming());
    ASSERT_TRUE(send_command(rig.link, cmd::identify, 0));
    EXPECT_TRUE(wait_until([&] { return !sim.streaming(); }));
    EXPECT_GE(sim.log().streamed_records, 200U);
    // Records already on their way when the stream stopped are thrown away,
    // as the recording does before it goes back to polling.
    std::this_thread::sleep_for(20ms);
    rig.link.line->purge_input();
    rig.tick();
    EXPECT_TRUE(rig.link.connected);
    EXPECT_GT(rig.link.live.rpm(), 0);
}

TEST(LinkFirmware, LoaderConfirmsStepsAndRefusesABlockAsOftenAsAsked) {
    LinkRig rig;
    SimulatorOptions o;
    o.refuse_firmware_block = 2;
    devsim::Simulator& sim = rig.add_device(1, o);
    rig.link.timeouts = TimeoutSet::firmware;
    ASSERT_TRUE(open_port(rig.link, rig.platform));
    const std::vector<std::uint8_t> header(64, 0xA5);
    std::vector<std::uint8_t> block(1024);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<std::uint8_t>(i);
    // A block before the loader was entered is refused.
    ASSERT_TRUE(send_numbered_block(rig.link, cmd::firmware_block, 0, block.data(), block.size()));
    EXPECT_NE(receive_status(rig.link), 0);
    ASSERT_TRUE(send_command(rig.link, cmd::firmware_start, 0));
    EXPECT_EQ(receive_status(rig.link), 0);
    ASSERT_TRUE(
        send_numbered_block(rig.link, cmd::firmware_header, 0, header.data(), header.size()));
    EXPECT_EQ(receive_status(rig.link), 0);
    std::vector<int> statuses;
    for (int attempt = 0; attempt < 3; ++attempt) {
        ASSERT_TRUE(
            send_numbered_block(rig.link, cmd::firmware_block, 0, block.data(), block.size()));
        statuses.push_back(receive_status(rig.link));
    }
    EXPECT_EQ(statuses[0] != 0, true);
    EXPECT_EQ(statuses[1] != 0, true);
    EXPECT_EQ(statuses[2], 0);
    const devsim::FirmwareRecord fw = sim.firmware();
    EXPECT_EQ(fw.header, header);
    EXPECT_EQ(fw.accepted_blocks, std::vector<std::uint32_t>{0});
    EXPECT_EQ(fw.image.at(0), block);
}

}  // namespace
}  // namespace veloquin::testing
