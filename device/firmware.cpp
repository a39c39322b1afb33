#include "device/firmware.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string_view>

#include "base/platform.h"
#include "device/device_link.h"

namespace veloquin {

namespace {

constexpr std::string_view kErrorCaption = "Error";
// The loader needs time to erase and get ready after each confirmed step.
constexpr std::uint32_t kStepPauseMs = 200;
constexpr std::uint32_t kBlockPauseMs = 10;

std::string progress_text(int percent) {
    return "(update:  " + std::to_string(percent) + "%)";
}

FirmwareOutcome fail_with(Platform& platform, std::string_view text, FirmwareOutcome outcome) {
    platform.message_box(text, kErrorCaption, MessageButtons::ok);
    return outcome;
}

}  // namespace

int FirmwareImage::block_count() const {
    if (bytes.size() < kFirmwareHeaderBytes) return 0;
    return static_cast<int>((bytes.size() - kFirmwareHeaderBytes) / kFirmwareBlockBytes);
}

std::span<const std::uint8_t> FirmwareImage::header() const {
    return std::span<const std::uint8_t>(bytes).first(kFirmwareHeaderBytes);
}

std::span<const std::uint8_t> FirmwareImage::block(int k) const {
    const std::size_t offset =
        kFirmwareHeaderBytes + static_cast<std::size_t>(k) * kFirmwareBlockBytes;
    return std::span<const std::uint8_t>(bytes).subspan(offset, kFirmwareBlockBytes);
}

bool firmware_from_bytes(std::span<const std::uint8_t> bytes, FirmwareImage& image,
                         std::string& error, std::string_view name) {
    if (bytes.size() < kFirmwareHeaderBytes) {
        error = std::string(name) + " holds " + std::to_string(bytes.size()) +
                " bytes; a firmware image needs at least its 64-byte header.";
        return false;
    }
    if (bytes.size() > kFirmwareMaxBytes) {
        error = std::string(name) + " holds " + std::to_string(bytes.size()) +
                " bytes or more; the device takes a firmware image of at most 64000 bytes.";
        return false;
    }
    image.bytes.assign(bytes.begin(), bytes.end());
    return true;
}

bool load_firmware_file(const std::filesystem::path& path, FirmwareImage& image,
                        std::string& error) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        error = "Cannot read the firmware file " + path.string() + ": it is a folder.";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error =
            "Cannot read the firmware file " + path.string() + ": " + std::strerror(errno) + ".";
        return false;
    }
    // One byte past the limit tells an oversized image from one that fits exactly.
    std::vector<std::uint8_t> bytes(kFirmwareMaxBytes + 1);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (in.bad()) {
        error = "Cannot read the firmware file " + path.string() + ".";
        return false;
    }
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return firmware_from_bytes(bytes, image, error, path.filename().string());
}

FirmwareOutcome update_firmware(DeviceLink& link, Platform& platform, const FirmwareImage& image) {
    if (image.bytes.size() < kFirmwareHeaderBytes || image.bytes.size() > kFirmwareMaxBytes) {
        return fail_with(platform, "The firmware image is not usable.",
                         FirmwareOutcome::file_refused);
    }
    platform.set_lower_status("(update: step 1...)");
    if (!open_port(link, platform)) {
        return fail_with(platform, "Update confirmation error!", FirmwareOutcome::not_confirmed);
    }
    send_command(link, cmd::firmware_start, 0);
    if (receive_status(link) != 0) {
        return fail_with(platform, "Update confirmation error!", FirmwareOutcome::not_confirmed);
    }

    platform.sleep_ms(kStepPauseMs);
    platform.set_lower_status("(update: step 2...)");
    const auto header = image.header();
    send_numbered_block(link, cmd::firmware_header, 0, header.data(), header.size());
    if (receive_status(link) != 0) {
        return fail_with(platform, "Header confirmation error!", FirmwareOutcome::header_refused);
    }

    platform.sleep_ms(kStepPauseMs);
    const int blocks = image.block_count();
    int repetitions = 0;
    for (int k = 0; k < blocks;) {
        // Shown again on a repeated block, so the line says the update is still alive.
        platform.set_lower_status(progress_text(100 * k / blocks));
        const auto block = image.block(k);
        send_numbered_block(link, cmd::firmware_block, static_cast<std::uint8_t>(k & 0xFF),
                            block.data(), block.size());
        platform.sleep_ms(kBlockPauseMs);
        if (receive_status(link) == 0) {
            ++k;
            repetitions = 0;
        } else if (++repetitions >= kFirmwareBlockTries) {
            return fail_with(platform, "Upload confirmation error!",
                             FirmwareOutcome::block_refused);
        }
        platform.sleep_ms(kBlockPauseMs);
    }
    platform.set_lower_status(progress_text(100));
    platform.message_box("Update complete!", "Confirmation", MessageButtons::ok);
    return FirmwareOutcome::complete;
}

FirmwareOutcome update_firmware_from_file(DeviceLink& link, Platform& platform,
                                          const std::filesystem::path& file) {
    FirmwareImage image;
    std::string error;
    if (!load_firmware_file(file, image, error)) {
        // Nothing was sent: the connection stays as it was.
        link.timeouts = TimeoutSet::normal;
        platform.message_box(error, kErrorCaption, MessageButtons::ok);
        return FirmwareOutcome::file_refused;
    }
    link.timeouts = TimeoutSet::firmware;
    const FirmwareOutcome outcome = update_firmware(link, platform, image);
    close_port(link);
    platform.set_lower_status("");
    link.timeouts = TimeoutSet::normal;
    return outcome;
}

}  // namespace veloquin
