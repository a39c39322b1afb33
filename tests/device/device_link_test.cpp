#include "device/device_link.h"

#include <gtest/gtest.h>

#include <numeric>

#include "tests/device/scripted_device.h"

namespace veloquin {
namespace {

using testing::FakePlatform;
using testing::reply_frame;
using Bytes = std::vector<std::uint8_t>;

TEST(RequestFrame, ShortCommandsAreByteExact) {
    EXPECT_EQ(request_frame(0x10, 0), (Bytes{0x13, 0x14, 0x10, 0x00, 0x37}));
    EXPECT_EQ(request_frame(0x01, 0), (Bytes{0x13, 0x14, 0x01, 0x00, 0x28}));
}

TEST(RequestFrame, BlockChecksumCoversStartBytesCodeAndEveryDataByte) {
    Bytes data(960);
    std::iota(data.begin(), data.end(), std::uint8_t{7});
    const Bytes frame = block_frame(0x04, data);
    ASSERT_EQ(frame.size(), 964u);
    EXPECT_EQ(Bytes(frame.begin() + 3, frame.end() - 1), data);
    const unsigned sum = std::accumulate(frame.begin(), frame.end() - 1, 0u);
    EXPECT_EQ(frame.back(), sum & 0xFF);

    const Bytes numbered = numbered_block_frame(0x23, 0x2A, data);
    ASSERT_EQ(numbered.size(), 965u);
    EXPECT_EQ(numbered[3], 0x2A);
    EXPECT_EQ(numbered.back(), (std::accumulate(numbered.begin(), numbered.end() - 1, 0u)) & 0xFF);
}

// Feeds bytes (negative = empty read) until the receiver decides.
ReplyReceiver::Step run(ReplyReceiver& r, const std::vector<int>& input) {
    for (const int b : input) {
        const auto step = r.feed(b);
        if (step != ReplyReceiver::Step::needs_more) return step;
    }
    return ReplyReceiver::Step::needs_more;
}

TEST(ReplyReceiver, SkipsNoiseAndStoresPayloadWithTrailer) {
    std::array<std::uint8_t, 8> store{};
    ReplyReceiver r(store, 2);
    EXPECT_EQ(run(r, {0x00, 0x12, 0x11, 0x12, 0xAA, 0xBB, 0xCC}), ReplyReceiver::Step::complete);
    EXPECT_EQ(store[0], 0xAA);
    EXPECT_EQ(store[1], 0xBB);
    EXPECT_EQ(store[2], 0xCC);
    EXPECT_EQ(store[3], 0x00);
}

TEST(ReplyReceiver, DoubledFirstStartByteDoesNotSynchronise) {
    std::array<std::uint8_t, 8> store{};
    ReplyReceiver r(store, 4);
    // 11 11 12 resets on the second 0x11; the following AA BB are noise.
    EXPECT_EQ(run(r, {0x11, 0x11, 0x12, 0xAA, 0xBB}), ReplyReceiver::Step::needs_more);
    EXPECT_EQ(r.stored(), 0u);
    EXPECT_EQ(run(r, {0x11, 0x12, 0x01, 0x02}), ReplyReceiver::Step::needs_more);
    EXPECT_EQ(r.stored(), 2u);
    EXPECT_EQ(store[0], 0x01);
}

TEST(ReplyReceiver, FailsWhenTheLineTalksTooLongWithoutAReply) {
    std::array<std::uint8_t, 32> store{};
    ReplyReceiver r(store, 24);
    std::vector<int> noise(50, 0x55);
    EXPECT_EQ(run(r, noise), ReplyReceiver::Step::needs_more);
    EXPECT_EQ(r.feed(0x55), ReplyReceiver::Step::failed);  // the 51st byte
}

TEST(ReplyReceiver, GivesUpAfterFiveSilentReadsAtStartAndFourAfterAByte) {
    std::array<std::uint8_t, 4> store{};
    ReplyReceiver at_start(store, 1);
    EXPECT_EQ(run(at_start, {-1, -1, -1, -1}), ReplyReceiver::Step::needs_more);
    EXPECT_EQ(at_start.feed(-1), ReplyReceiver::Step::failed);

    ReplyReceiver after_byte(store, 1);
    EXPECT_EQ(run(after_byte, {-1, -1, -1, 0x11, -1, -1, -1}), ReplyReceiver::Step::needs_more);
    EXPECT_EQ(after_byte.feed(-1), ReplyReceiver::Step::failed);

    ReplyReceiver slow_but_alive(store, 1);
    EXPECT_EQ(run(slow_but_alive,
                  {-1, -1, -1, -1, 0x11, -1, -1, -1, 0x12, -1, -1, -1, 0x00, -1, -1, -1, 0x33}),
              ReplyReceiver::Step::complete);
}

TEST(ReplyReceiver, RefusesAReplyLargerThanItsStore) {
    std::array<std::uint8_t, 4> store{};
    ReplyReceiver r(store, 4);
    EXPECT_EQ(r.feed(0x11), ReplyReceiver::Step::failed);
}

struct LinkFixture : ::testing::Test {
    FakePlatform platform;
    DeviceLink link;

    testing::ScriptedLine::Script& open_on(int port) {
        auto& script = platform.ports[port];
        link.port_number = port;
        EXPECT_TRUE(open_port(link, platform));
        return script;
    }
};

TEST_F(LinkFixture, ReceiveReplyClearsTheBufferHeadAndKeepsWhatArrived) {
    auto& script = open_on(2);
    link.frame.fill(0x77);
    script.feed({0x11, 0x12, 0x01, 0x02});  // 24-byte reply cut short
    EXPECT_FALSE(receive_reply(link, 24));
    EXPECT_EQ(link.frame[0], 0x01);
    EXPECT_EQ(link.frame[1], 0x02);
    EXPECT_EQ(link.frame[2], 0x00);
    EXPECT_EQ(link.frame[31], 0x00);
    EXPECT_EQ(link.frame[32], 0x77);

    link.frame.fill(0x77);
    script.feed(reply_frame(Bytes(24, 0x10)));
    EXPECT_TRUE(receive_streamed_reply(link, 24));
    EXPECT_EQ(link.frame[23], 0x10);
    EXPECT_EQ(link.frame[24], 0x5A);
    EXPECT_EQ(link.frame[25], 0x77);  // not cleared for the stream
}

TEST_F(LinkFixture, StatusIsFirstPayloadByteOrFFWhenNothingCame) {
    auto& script = open_on(1);
    script.feed(reply_frame({0x00}));
    EXPECT_EQ(receive_status(link), 0x00);
    script.feed(reply_frame({0x03}));
    EXPECT_EQ(receive_status(link), 0x03);
    EXPECT_EQ(receive_status(link), 0xFF);
}

TEST_F(LinkFixture, SendsReportShortWritesAndAClosedPort) {
    auto& script = open_on(1);
    EXPECT_TRUE(send_command(link, 0x10, 0));
    EXPECT_EQ(script.written, (Bytes{0x13, 0x14, 0x10, 0x00, 0x37}));
    EXPECT_EQ(link.last_transfer_count, 5u);
    script.short_write_by = 1;
    const Bytes data(64, 1);
    EXPECT_FALSE(send_numbered_block(link, 0x22, 0, data.data(), data.size()));
    script.short_write_by = 0;
    script.fail_writes = true;
    EXPECT_FALSE(send_block(link, 0x04, data.data(), data.size()));

    close_port(link);
    close_port(link);  // harmless twice
    EXPECT_FALSE(send_command(link, 0x01, 0));
    EXPECT_FALSE(receive_reply(link, 24));
}

TEST_F(LinkFixture, FailedOpenShowsPortAndReason) {
    platform.open_errors[3] = "permission denied — is the user in the dialout group?";
    link.port_number = 3;
    EXPECT_FALSE(open_port(link, platform));
    EXPECT_EQ(platform.last_lower(),
              "COM3: FAILED (permission denied — is the user in the dialout group?)");
    link.port_number = 0;
    EXPECT_FALSE(open_port(link, platform));
    EXPECT_EQ(platform.last_lower(), "COM0: FAILED (no such device)");
}

TEST_F(LinkFixture, ProbeIsQuietWaitsAfterEachFoundPortAndRestoresThePort) {
    platform.ports[4];
    platform.ports[9];
    link.port_number = 7;
    probe_ports(link, platform);
    EXPECT_EQ(link.found_count, 2);
    EXPECT_EQ(link.found_ports[0], 4);
    EXPECT_EQ(link.found_ports[1], 9);
    EXPECT_EQ(platform.sleeps, (std::vector<std::uint32_t>{50, 50}));
    EXPECT_EQ(platform.opens.size(), 16u);
    EXPECT_TRUE(platform.lower_status.empty());
    EXPECT_EQ(link.port_number, 7);
    EXPECT_FALSE(link.probe_quiet);
    EXPECT_FALSE(link.is_open());
    start_search_at_first_found_port(link);
    EXPECT_EQ(link.port_number, 4);
}

TEST_F(LinkFixture, ProbeWithoutPortsLeavesPortZero) {
    probe_ports(link, platform);
    start_search_at_first_found_port(link);
    EXPECT_EQ(link.found_count, 0);
    EXPECT_EQ(link.port_number, 0);
    EXPECT_TRUE(platform.sleeps.empty());
    EXPECT_FALSE(open_port(link, platform));
    EXPECT_EQ(platform.last_lower(), "COM0: FAILED (no such device)");
}

}  // namespace
}  // namespace veloquin
