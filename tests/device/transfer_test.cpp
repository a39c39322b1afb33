#include "device/transfer.h"

#include <gtest/gtest.h>

#include "calibration/conversions.h"
#include "tests/device/scripted_device.h"

namespace veloquin {
namespace {

using testing::FakePlatform;
using testing::ScriptedDevice;
using Bytes = std::vector<std::uint8_t>;

int wire_word(const Bytes& bytes, int word) {
    return static_cast<std::int16_t>(
        static_cast<std::uint16_t>(bytes[static_cast<std::size_t>(2 * word)] |
                                   (bytes[static_cast<std::size_t>(2 * word + 1)] << 8)));
}

Bytes words_to_bytes(std::initializer_list<std::pair<int, int>> words, std::size_t size) {
    Bytes bytes(size, 0);
    for (const auto& [word, value] : words) {
        bytes[static_cast<std::size_t>(2 * word)] = static_cast<std::uint8_t>(value & 0xFF);
        bytes[static_cast<std::size_t>(2 * word + 1)] =
            static_cast<std::uint8_t>((value >> 8) & 0xFF);
    }
    return bytes;
}

Calibration sample_calibration() {
    Calibration cal;
    set_start_values(cal);
    for (int i = 0; i < kMapCells; ++i) {
        cal.map(MapId::map_2_maf)[static_cast<std::size_t>(i)] = low16(i * 7);
        cal.map(MapId::boost_duty)[static_cast<std::size_t>(i)] = low16(i % 90);
    }
    cal.param(hw::REV_DIV) = 4;
    cal.param(hw::ACC_MAX) = 3;
    cal.param(hw::BOOST_HZ) = 2;
    cal.param(hw::O2FB_Target) = 1470;
    cal.param(hw::BOOST_HZ_device) = 31;  // what the device reports back for index 2
    recompute_derived_values(cal, Edition::full);
    complete_header_after_download(cal);
    return cal;
}

void mark_synced(Calibration& cal) {
    update_sums(cal);
    for (auto& s : cal.sums)
        s.synced = s.current;
}

TEST(FuelCorrectionOnTheWire, OffsetAndScaleBothWays) {
    Calibration cal;
    cal.cell(MapId::fuel_correction, 0, 0) = 0;
    cal.cell(MapId::fuel_correction, 0, 1) = -100;
    const Bytes sent = encode_block(cal, Block::f_map);
    EXPECT_EQ(wire_word(sent, 0), 12800);
    EXPECT_EQ(wire_word(sent, 1), 0);
    EXPECT_EQ(cal.cell(MapId::fuel_correction, 0, 0), 0);  // the map itself is not converted

    ASSERT_TRUE(apply_downloaded_block(
        cal, Block::f_map, words_to_bytes({{0, 12927}, {1, 127}, {2, -129}}, 960), Edition::full));
    EXPECT_EQ(cal.cell(MapId::fuel_correction, 0, 0), 0);
    EXPECT_EQ(cal.cell(MapId::fuel_correction, 0, 1), -100);  // 127 / 128 truncates to 0
    // The word is unsigned: 0xFF7F is 65407, not -129.
    EXPECT_EQ(cal.cell(MapId::fuel_correction, 0, 2), 410);
}

TEST(FuelCorrectionOnTheWire, EveryCorrectionTheDeviceCanHoldSurvivesARoundTrip) {
    Calibration cal;
    for (int v = -100; v <= 411; ++v) {
        cal.map(MapId::fuel_correction).fill(low16(v));
        const Bytes sent = encode_block(cal, Block::f_map);
        Calibration back;
        ASSERT_TRUE(apply_downloaded_block(back, Block::f_map, sent, Edition::full));
        ASSERT_EQ(back.map(MapId::fuel_correction), cal.map(MapId::fuel_correction)) << v;
    }
}

TEST(HeaderOnTheWire, RevDivTableAndItsReverse) {
    const int device[] = {1, 2, 4, 6, 8, 12, 16, 32, 64, 64, 116};
    const int back[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 8, 10};
    for (int index = 0; index <= 10; ++index) {
        Calibration cal = sample_calibration();
        cal.param(hw::REV_DIV) = low16(index);
        const Bytes sent = encode_block(cal, Block::header);
        EXPECT_EQ(wire_word(sent, hw::REV_DIV), device[index]) << index;
        ASSERT_TRUE(apply_downloaded_block(cal, Block::header, sent, Edition::full));
        EXPECT_EQ(cal.param(hw::REV_DIV), back[index]) << index;
    }
}

TEST(HeaderOnTheWire, DamagedIndexesStayInsideTheTables) {
    Calibration cal = sample_calibration();
    cal.param(hw::REV_DIV) = 300;
    cal.param(hw::BOOST_HZ) = 11;
    Bytes sent = encode_block(cal, Block::header);
    EXPECT_EQ(wire_word(sent, hw::REV_DIV), 116);
    EXPECT_EQ(wire_word(sent, hw::BOOST_HZ_device), 0);
    cal.param(hw::REV_DIV) = -3;
    cal.param(hw::BOOST_HZ) = -32768;
    sent = encode_block(cal, Block::header);
    EXPECT_EQ(wire_word(sent, hw::REV_DIV), 1);
    EXPECT_EQ(wire_word(sent, hw::BOOST_HZ_device), 20);
}

TEST(HeaderOnTheWire, SolenoidFrequencyAccMaxAndUnknownDivider) {
    Calibration cal = sample_calibration();
    const int hz[] = {20, 24, 31, 40, 1, 1, 1, 1, 1, 1, 0};
    for (int index = 0; index <= 10; ++index) {
        cal.param(hw::BOOST_HZ) = low16(index);
        EXPECT_EQ(wire_word(encode_block(cal, Block::header), hw::BOOST_HZ_device), hz[index]);
    }
    cal.param(hw::ACC_MAX) = 3;
    Bytes sent = encode_block(cal, Block::header);
    EXPECT_EQ(wire_word(sent, hw::ACC_MAX), 384);

    sent = words_to_bytes({{hw::ACC_MAX, 383}, {hw::REV_DIV, 7}, {hw::BOOST_HZ_device, 31}}, 364);
    ASSERT_TRUE(apply_downloaded_block(cal, Block::header, sent, Edition::full));
    EXPECT_EQ(cal.param(hw::ACC_MAX), 2);
    EXPECT_EQ(cal.param(hw::REV_DIV), 7);  // no table entry matches: kept as received
    EXPECT_EQ(cal.param(hw::BOOST_HZ_device), 31);
    EXPECT_EQ(cal.param(hw::O2FB_Target), 1400);  // the default for a device that sent 0
}

TEST(DownloadedBlocks, WrongSizeChangesNothing) {
    Calibration cal = sample_calibration();
    const Calibration before = cal;
    EXPECT_FALSE(apply_downloaded_block(cal, Block::e_map, Bytes(959, 1), Edition::full));
    EXPECT_FALSE(apply_downloaded_block(cal, Block::header, Bytes(960, 1), Edition::full));
    EXPECT_EQ(cal.maps, before.maps);
    EXPECT_EQ(cal.header, before.header);
}

TEST(Sums, FuelMapIsSummedAsHeldNotAsSent) {
    Calibration cal;
    cal.cell(MapId::fuel_correction, 1, 1) = 0x0102;
    cal.cell(MapId::boost_duty, 0, 0) = -1;
    update_sums(cal);
    EXPECT_EQ(cal.block_sums(Block::f_map).current, 3u);
    EXPECT_EQ(cal.block_sums(Block::boost_map).current, 510u);
    EXPECT_EQ(cal.block_sums(Block::e_map).current, 0u);
}

struct TransferFixture : ::testing::Test {
    FakePlatform platform;
    DeviceLink link;
    ScriptedDevice device;
    Calibration cal = sample_calibration();

    void SetUp() override {
        device.attach(platform.ports[1]);
        link.port_number = 1;
        ASSERT_TRUE(open_port(link, platform));
    }
    std::vector<int> written_codes() const {
        std::vector<int> codes;
        for (const auto& f : platform.ports.at(1).frames)
            codes.push_back(f[2]);
        return codes;
    }
};

TEST_F(TransferFixture, OneBoostCellEditUploadsOnlyTheBoostMap) {
    mark_synced(cal);
    cal.cell(MapId::boost_duty, 5, 5) += 1;
    upload_changed_blocks(link, cal, platform, Edition::full);
    EXPECT_EQ(written_codes(), (std::vector<int>{0x08}));
    EXPECT_EQ(platform.ports.at(1).frames[0].size(), 964u);
    EXPECT_EQ(platform.sleeps, (std::vector<std::uint32_t>{100, 500}));
    EXPECT_EQ(platform.lower_status, (std::vector<std::string>{"(uploading boost-map...)", ""}));
    upload_changed_blocks(link, cal, platform, Edition::full);
    EXPECT_EQ(written_codes().size(), 1u);
}

TEST_F(TransferFixture, LoadedFileUploadsAllSixInOrderAndHeaderKeepsProgramValues) {
    mark_synced(cal);
    mark_all_unsynced(cal);
    const auto header_before = cal.header;
    upload_changed_blocks(link, cal, platform, Edition::full);
    EXPECT_EQ(written_codes(), (std::vector<int>{0x03, 0x04, 0x05, 0x07, 0x08, 0x06}));
    EXPECT_EQ(platform.sleeps, (std::vector<std::uint32_t>{100, 300, 100, 500, 100, 500, 100, 500,
                                                           100, 500, 100, 500}));
    EXPECT_EQ(cal.header, header_before);
    const Bytes& header_frame = platform.ports.at(1).frames[0];
    EXPECT_EQ(header_frame.size(), 368u);
    EXPECT_EQ(wire_word(Bytes(header_frame.begin() + 3, header_frame.end() - 1), hw::ACC_MAX), 384);
    for (const Block b : kBlockOrder)
        EXPECT_EQ(cal.block_sums(b).synced, cal.block_sums(b).current);
}

TEST_F(TransferFixture, FailedUploadIsRetriedAtTheNextCall) {
    mark_synced(cal);
    cal.cell(MapId::map_2_maf, 0, 0) += 5;
    platform.ports.at(1).fail_writes = true;
    upload_changed_blocks(link, cal, platform, Edition::full);
    EXPECT_NE(cal.block_sums(Block::e_map).synced, cal.block_sums(Block::e_map).current);
    platform.ports.at(1).fail_writes = false;
    upload_changed_blocks(link, cal, platform, Edition::full);
    EXPECT_EQ(written_codes(), (std::vector<int>{0x04}));
    EXPECT_EQ(cal.block_sums(Block::e_map).synced, cal.block_sums(Block::e_map).current);
}

TEST_F(TransferFixture, DownloadAllTakesTheDevicesCopyAndMarksItSynced) {
    Calibration device_cal = sample_calibration();
    device_cal.cell(MapId::map_2_maf, 3, 4) = 1234;
    device_cal.cell(MapId::fuel_correction, 2, 2) = -7;
    device_cal.cell(MapId::meth_correction, 1, 1) = 55;
    device_cal.curve_word(cv::KNOCK) = 99;
    for (const Block b : kBlockOrder)
        device.downloads[download_code(b)] = encode_block(device_cal, b);
    mark_all_unsynced(cal);
    link.connected = true;
    download_all_blocks(link, cal, platform, Edition::full);
    EXPECT_TRUE(link.connected);
    EXPECT_EQ(written_codes(), (std::vector<int>{0x13, 0x14, 0x15, 0x17, 0x18, 0x16}));
    EXPECT_EQ(platform.sleeps, (std::vector<std::uint32_t>{100, 100, 100}));
    EXPECT_EQ(cal.maps, device_cal.maps);
    EXPECT_EQ(cal.curves, device_cal.curves);
    EXPECT_EQ(cal.header, device_cal.header);
    EXPECT_EQ(platform.refills, 1);
    EXPECT_EQ(platform.lower_status.front(), "(downloading header...)");
    EXPECT_EQ(platform.last_lower(), "");
    for (const Block b : kBlockOrder)
        EXPECT_EQ(cal.block_sums(b).synced, cal.block_sums(b).current);
}

TEST_F(TransferFixture, UnprogrammedDeviceLeavesCalibrationAndStaysConnected) {
    for (const Block b : kBlockOrder) {
        device.downloads[download_code(b)] = Bytes(static_cast<std::size_t>(block_bytes(b)), 0xFF);
    }
    const Calibration before = cal;
    link.connected = true;
    download_all_blocks(link, cal, platform, Edition::full);
    EXPECT_TRUE(link.connected);
    EXPECT_EQ(cal.header, before.header);
    EXPECT_EQ(cal.maps, before.maps);
    EXPECT_EQ(cal.curves, before.curves);
}

TEST_F(TransferFixture, DownloadCutOffTakesNothingAndSaysWhichBlockFailed) {
    for (const Block b : kBlockOrder)
        device.downloads[download_code(b)] = encode_block(cal, b);
    device.downloads[download_code(Block::e_map)] = Bytes(960, 0x01);
    device.downloads[download_code(Block::header)] = Bytes(364, 0x02);
    device.answer_downloads = 2;
    mark_all_unsynced(cal);
    const Calibration before = cal;
    link.connected = true;
    download_all_blocks(link, cal, platform, Edition::full);
    EXPECT_FALSE(link.connected);
    EXPECT_EQ(written_codes(), (std::vector<int>{0x13, 0x14, 0x15}));
    // The header and e-map that did arrive are not taken: no mix of the two.
    EXPECT_EQ(cal.header, before.header);
    EXPECT_EQ(cal.maps, before.maps);
    EXPECT_EQ(cal.curves, before.curves);
    EXPECT_EQ(platform.refills, 0);
    EXPECT_EQ(cal.block_sums(Block::e_map).synced, kNeverSynced);
    EXPECT_EQ(platform.last_lower(), "Download failed: f-map");

    link.connected = false;
    download_all_blocks(link, cal, platform, Edition::full);
    EXPECT_EQ(written_codes().size(), 3u);  // not connected: nothing asked
}

TEST_F(TransferFixture, KeptBlocksAreAskedForButStayTheProgramsAndChanged) {
    Calibration device_cal = sample_calibration();
    device_cal.cell(MapId::map_2_maf, 3, 4) = 1234;
    device_cal.cell(MapId::boost_duty, 5, 5) = 77;
    for (const Block b : kBlockOrder)
        device.downloads[download_code(b)] = encode_block(device_cal, b);
    mark_synced(cal);
    cal.cell(MapId::boost_duty, 5, 5) = 12;  // the tuner's edit, not sent yet
    const BlockSet unsent = unsent_blocks(cal);
    EXPECT_EQ(unsent, (BlockSet{false, false, false, false, true, false}));
    link.connected = true;
    download_all_blocks(link, cal, platform, Edition::full, unsent);
    EXPECT_TRUE(link.connected);
    EXPECT_EQ(written_codes(), (std::vector<int>{0x13, 0x14, 0x15, 0x17, 0x18, 0x16}));
    EXPECT_EQ(cal.cell(MapId::map_2_maf, 3, 4), 1234);
    EXPECT_EQ(cal.cell(MapId::boost_duty, 5, 5), 12);
    EXPECT_NE(cal.block_sums(Block::boost_map).synced, cal.block_sums(Block::boost_map).current);
    EXPECT_EQ(cal.block_sums(Block::e_map).synced, cal.block_sums(Block::e_map).current);
}

TEST_F(TransferFixture, BytesWaitingBeforeARequestFailTheDownloadAndAreNeverTaken) {
    for (const Block b : kBlockOrder)
        device.downloads[download_code(b)] = encode_block(cal, b);
    const Calibration before = cal;
    // The tail of an earlier header reply, start pair and all, still on the line.
    platform.ports.at(1).feed(testing::reply_frame(Bytes(364, 0x77)));
    link.connected = true;
    download_all_blocks(link, cal, platform, Edition::full);
    EXPECT_FALSE(link.connected);
    EXPECT_TRUE(written_codes().empty());
    EXPECT_TRUE(platform.ports.at(1).input.empty());
    EXPECT_EQ(cal.header, before.header);
    EXPECT_EQ(platform.last_lower(), "Download failed: header");
}

}  // namespace
}  // namespace veloquin
