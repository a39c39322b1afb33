#include "device/firmware.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/device_link.h"
#include "tests/support/fake_platform.h"
#include "tests/support/temp_dir.h"

namespace veloquin {
namespace {

using testing::FakePlatform;
using testing::ScriptedLine;
using testing::TempDir;

constexpr int kPort = 3;

std::string image_of_size(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 1024) & 0xFF);
    return bytes;
}

// A loader that answers every firmware command with a status reply; the test
// decides the status of each 0x23 block in the order they arrive.
struct Loader {
    FakePlatform platform;
    DeviceLink link;
    TempDir dir;
    std::vector<int> block_answers;  // per block frame received; 0 once exhausted
    int start_answer = 0;
    int header_answer = 0;
    std::size_t blocks_seen = 0;

    Loader() {
        link.port_number = kPort;
        auto& script = platform.ports[kPort];
        script.responder = [this](ScriptedLine::Script& s, const std::vector<std::uint8_t>& f) {
            int status = -1;
            if (f[2] == cmd::firmware_start) status = start_answer;
            if (f[2] == cmd::firmware_header) status = header_answer;
            if (f[2] == cmd::firmware_block) {
                status = blocks_seen < block_answers.size() ? block_answers[blocks_seen] : 0;
                ++blocks_seen;
            }
            if (status >= 0) s.feed({0x11, 0x12, status, 0x5A});
        };
    }
    ScriptedLine::Script& line() { return platform.ports[kPort]; }

    FirmwareOutcome flash(const std::string& bytes) {
        const auto path = dir / "image.frw";
        testing::write_file(path, bytes);
        const FirmwareOutcome outcome = update_firmware_from_file(link, platform, path);
        if (!platform.messages.empty() && platform.messages[0].caption == "Update Firmware") {
            question = platform.messages[0].text;
            platform.messages.erase(platform.messages.begin());
        }
        return outcome;
    }
    std::string question;
    std::vector<std::string> lower_texts_from(std::size_t first) const {
        return {platform.lower_status.begin() + static_cast<long>(first),
                platform.lower_status.end()};
    }
};

std::vector<std::uint8_t> block_bytes(const std::string& image, std::size_t k) {
    const auto* begin = reinterpret_cast<const std::uint8_t*>(image.data()) + 64 + 1024 * k;
    return {begin, begin + 1024};
}

TEST(FirmwareUpdate, SendsHeaderAndWholeBlocksAndLeavesThePartialOneOut) {
    Loader loader;
    const std::string image = image_of_size(64 + 3 * 1024 + 500);
    EXPECT_EQ(loader.flash(image), FirmwareOutcome::complete);

    const auto& frames = loader.line().frames;
    ASSERT_EQ(frames.size(), 5u);
    EXPECT_EQ(frames[0], request_frame(cmd::firmware_start, 0));
    const auto* header = reinterpret_cast<const std::uint8_t*>(image.data());
    EXPECT_EQ(frames[1], numbered_block_frame(cmd::firmware_header, 0, {header, 64}));
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(frames[2 + k],
                  numbered_block_frame(cmd::firmware_block, static_cast<std::uint8_t>(k),
                                       block_bytes(image, k)))
            << "block " << k;
    }
    EXPECT_EQ(
        loader.platform.lower_status,
        (std::vector<std::string>{"(update: step 1...)", "(update: step 2...)", "(update:  0%)",
                                  "(update:  33%)", "(update:  66%)", "(update:  100%)", ""}));
    ASSERT_EQ(loader.platform.messages.size(), 1u);
    EXPECT_EQ(loader.platform.messages[0].text, "Update complete!");
    EXPECT_EQ(loader.platform.messages[0].caption, "Confirmation");
}

TEST(FirmwareUpdate, RunsUnderTheFirmwareTimeoutsAndHandsTheLinkBackClosedAndNormal) {
    Loader loader;
    loader.link.timeouts = TimeoutSet::normal;
    EXPECT_EQ(loader.flash(image_of_size(64 + 1024)), FirmwareOutcome::complete);
    ASSERT_EQ(loader.platform.opens.size(), 1u);
    EXPECT_EQ(loader.platform.opens[0], std::make_pair(kPort, TimeoutSet::firmware));
    EXPECT_FALSE(loader.link.is_open());
    EXPECT_EQ(loader.link.timeouts, TimeoutSet::normal);
    EXPECT_EQ(loader.platform.last_lower(), "");
    // The loader is given 200 ms after each of the two confirmed steps, and
    // 10 ms before and after each block's confirmation.
    EXPECT_EQ(loader.platform.sleeps, (std::vector<std::uint32_t>{200, 200, 10, 10}));
}

TEST(FirmwareUpdate, AsksFirstAndRefusesWhileTheEngineTurns) {
    Loader loader;
    const std::string image = image_of_size(64 + 3 * 1024 + 500);
    EXPECT_EQ(loader.flash(image), FirmwareOutcome::complete);
    for (const char* part :
         {"image.frw", "3 blocks", "engine must be off", "supply steady", "last 500 bytes"})
        EXPECT_NE(loader.question.find(part), std::string::npos) << part << ": " << loader.question;
    Loader declined, running;
    declined.platform.answers.push_back(MessageAnswer::cancel);
    EXPECT_EQ(declined.flash(image), FirmwareOutcome::cancelled);
    running.link.connected = true;
    running.link.live.set_word(2, 4700);
    EXPECT_EQ(running.flash(image), FirmwareOutcome::file_refused);
    EXPECT_TRUE(declined.platform.opens.empty() && running.platform.opens.empty());
    EXPECT_NE(running.platform.messages.at(0).text.find("4700 rpm"), std::string::npos);
}

TEST(FirmwareUpdate, BlockRefusedThreeTimesThenAcceptedCompletes) {
    Loader loader;
    loader.block_answers = {0, 1, 0xFF, 2, 0};  // block 1 goes through on its fourth try
    EXPECT_EQ(loader.flash(image_of_size(64 + 2 * 1024)), FirmwareOutcome::complete);
    const auto& frames = loader.line().frames;
    ASSERT_EQ(frames.size(), 2u + 5u);
    for (std::size_t i = 3; i < 7; ++i)
        EXPECT_EQ(frames[i][3], 1) << "frame " << i;
    EXPECT_EQ(
        loader.lower_texts_from(2),
        (std::vector<std::string>{"(update:  0%)", "(update:  50%)", "(update:  50%)",
                                  "(update:  50%)", "(update:  50%)", "(update:  100%)", ""}));
}

TEST(FirmwareUpdate, BlockRefusedFourTimesAbandonsTheUpdate) {
    Loader loader;
    loader.block_answers = {0, 3, 3, 3, 3};
    EXPECT_EQ(loader.flash(image_of_size(64 + 3 * 1024)), FirmwareOutcome::block_refused);
    EXPECT_EQ(loader.line().frames.size(), 2u + 5u) << "block 2 must never be sent";
    ASSERT_EQ(loader.platform.messages.size(), 1u);
    EXPECT_EQ(loader.platform.messages[0].text,
              "Upload confirmation error!\nStep 3 (sending the blocks): block 2 of 3 was not "
              "confirmed after 4 tries.");
    EXPECT_EQ(loader.platform.messages[0].caption, "Error");
    EXPECT_FALSE(loader.link.is_open());
}

TEST(FirmwareUpdate, UnconfirmedStepsStopWithTheirOwnMessage) {
    constexpr const char* kStartText =
        "Update confirmation error!\nStep 1 (entering the update): the loader did not confirm it.";
    struct Case {
        const char* name;
        int start_answer, header_answer;
        bool silent;
        FirmwareOutcome outcome;
        const char* text;
        std::size_t frames;
    };
    const Case cases[] = {
        {"start refused", 1, 0, false, FirmwareOutcome::not_confirmed, kStartText, 1},
        {"loader silent", 0, 0, true, FirmwareOutcome::not_confirmed, kStartText, 1},
        {"header refused", 0, 9, false, FirmwareOutcome::header_refused,
         "Header confirmation error!\nStep 2 (the 64-byte header): the loader did not confirm it.",
         2},
    };
    for (const Case& c : cases) {
        Loader loader;
        loader.start_answer = c.start_answer;
        loader.header_answer = c.header_answer;
        if (c.silent) loader.line().responder = nullptr;
        EXPECT_EQ(loader.flash(image_of_size(64 + 1024)), c.outcome) << c.name;
        EXPECT_EQ(loader.line().frames.size(), c.frames) << c.name;
        ASSERT_EQ(loader.platform.messages.size(), 1u) << c.name;
        EXPECT_EQ(loader.platform.messages[0].text, c.text) << c.name;
        EXPECT_EQ(loader.platform.messages[0].caption, "Error") << c.name;
    }
}

TEST(FirmwareUpdate, PortThatWillNotOpenIsAnUnconfirmedUpdate) {
    Loader loader;
    loader.link.port_number = 9;  // no script there: the open fails
    EXPECT_EQ(loader.flash(image_of_size(64 + 1024)), FirmwareOutcome::not_confirmed);
    EXPECT_EQ(loader.platform.messages.back().text,
              "Update confirmation error!\nStep 1 (entering the update): the port did not open; "
              "nothing was sent.");
    EXPECT_TRUE(loader.line().written.empty());
}

TEST(FirmwareFile, UnusableFilesAreRefusedBeforeThePortIsTouched) {
    struct Case {
        const char* name;
        std::size_t size;  // SIZE_MAX: the file does not exist
        const char* mentions;
    };
    const Case cases[] = {
        {"40 bytes", 40, "64-byte header"}, {"empty", 0, "64-byte header"},
        {"63 bytes", 63, "64-byte header"}, {"too large", 64001, "64000"},
        {"header only", 1087, "no whole"},  {"missing", SIZE_MAX, "Cannot read"},
    };
    for (const Case& c : cases) {
        Loader loader;
        loader.link.port_number = kPort;
        const auto path = loader.dir / "image.frw";
        if (c.size != SIZE_MAX) testing::write_file(path, image_of_size(c.size));
        EXPECT_EQ(update_firmware_from_file(loader.link, loader.platform, path),
                  FirmwareOutcome::file_refused)
            << c.name;
        EXPECT_TRUE(loader.platform.opens.empty()) << c.name;
        ASSERT_EQ(loader.platform.messages.size(), 1u) << c.name;
        EXPECT_NE(loader.platform.messages[0].text.find(c.mentions), std::string::npos)
            << c.name << ": " << loader.platform.messages[0].text;
        EXPECT_EQ(loader.platform.messages[0].caption, "Error") << c.name;
        EXPECT_EQ(loader.link.timeouts, TimeoutSet::normal) << c.name;
    }
}

TEST(FirmwareFile, FolderIsRefusedAndLargestImageIsAccepted) {
    TempDir dir;
    FirmwareImage image;
    std::string error;
    EXPECT_FALSE(load_firmware_file(dir.path(), image, error));
    EXPECT_NE(error.find("folder"), std::string::npos) << error;

    testing::write_file(dir / "max.frw", image_of_size(kFirmwareMaxBytes));
    ASSERT_TRUE(load_firmware_file(dir / "max.frw", image, error)) << error;
    EXPECT_EQ(image.block_count(), 62);
    EXPECT_EQ(image.block(61).size(), kFirmwareBlockBytes);
    EXPECT_EQ(image.block(61).data() + kFirmwareBlockBytes,
              image.bytes.data() + 64 + 62 * kFirmwareBlockBytes);
}

}  // namespace
}  // namespace veloquin
