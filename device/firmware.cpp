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
constexpr std::string_view kQuestionCaption = "Update Firmware";
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

// A failed update leaves the loader half-way; the tuner (or whoever helps)
// needs to know where, to tell a bad file from a bad line.
FirmwareOutcome step_failed(Platform& platform, std::string_view first_line, std::string_view step,
                            FirmwareOutcome outcome) {
    return fail_with(platform, std::string(first_line) + "\n" + std::string(step), outcome);
}

std::string block_failed_text(int k, int blocks) {
    return "Step 3 (sending the blocks): block " + std::to_string(k + 1) + " of " +
           std::to_string(blocks) + " was not confirmed after " +
           std::to_string(kFirmwareBlockTries) + " tries.";
}

// The live data is the only sign of the engine the program has; a loader
// that loses its supply half-way leaves the device without firmware.
bool engine_turning(const DeviceLink& link) {
    return link.connected && link.live.rpm() > 0;
}

FirmwareOutcome refuse_running_engine(DeviceLink& link, Platform& platform) {
    link.timeouts = TimeoutSet::normal;
    return fail_with(platform,
                     "The engine is turning (" + std::to_string(link.live.rpm()) +
                         " rpm): the firmware is never updated on a running engine. Switch the "
                         "engine off, leave the ignition on, and choose Update Firmware again.",
                     FirmwareOutcome::file_refused);
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
    if (image.block_count() == 0) {
        error = std::string(name) + " holds " + std::to_string(bytes.size()) +
                " bytes: its 64-byte header and no whole 1024-byte block, so there is no "
                "firmware in it to send.";
        return false;
    }
    return true;
}

std::size_t FirmwareImage::left_out_bytes() const {
    if (bytes.size() < kFirmwareHeaderBytes) return bytes.size();
    return (bytes.size() - kFirmwareHeaderBytes) % kFirmwareBlockBytes;
}

std::string firmware_question(std::string_view file_name, const FirmwareImage& image) {
    std::string text = "Send the firmware in " + std::string(file_name) + " (" +
                       std::to_string(image.block_count()) +
                       " blocks of 1024 bytes) to the device?\n\nThe engine must be off and the "
                       "supply steady (ignition on, battery charged) until the update is "
                       "complete: an update cut short leaves the device without firmware.";
    if (const std::size_t rest = image.left_out_bytes(); rest > 0) {
        text += "\n\nThe last " + std::to_string(rest) +
                " bytes of the file make no whole block and are not sent.";
    }
    return text;
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
    if (image.block_count() == 0 || image.bytes.size() > kFirmwareMaxBytes) {
        return fail_with(platform, "The firmware image is not usable.",
                         FirmwareOutcome::file_refused);
    }
    platform.set_lower_status("(update: step 1...)");
    if (!open_port(link, platform)) {
        return step_failed(platform, "Update confirmation error!",
                           "Step 1 (entering the update): the port did not open; nothing was sent.",
                           FirmwareOutcome::not_confirmed);
    }
    send_command(link, cmd::firmware_start, 0);
    if (receive_status(link) != 0) {
        return step_failed(platform, "Update confirmation error!",
                           "Step 1 (entering the update): the loader did not confirm it.",
                           FirmwareOutcome::not_confirmed);
    }

    platform.sleep_ms(kStepPauseMs);
    platform.set_lower_status("(update: step 2...)");
    const auto header = image.header();
    send_numbered_block(link, cmd::firmware_header, 0, header.data(), header.size());
    if (receive_status(link) != 0) {
        return step_failed(platform, "Header confirmation error!",
                           "Step 2 (the 64-byte header): the loader did not confirm it.",
                           FirmwareOutcome::header_refused);
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
            return step_failed(platform, "Upload confirmation error!", block_failed_text(k, blocks),
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
    if (engine_turning(link)) return refuse_running_engine(link, platform);
    const MessageAnswer answer =
        platform.message_box(firmware_question(file.filename().string(), image), kQuestionCaption,
                             MessageButtons::ok_cancel);
    if (answer != MessageAnswer::ok) {
        link.timeouts = TimeoutSet::normal;
        return FirmwareOutcome::cancelled;
    }
    // The engine may have been started while the question was showing.
    if (engine_turning(link)) return refuse_running_engine(link, platform);
    link.timeouts = TimeoutSet::firmware;
    const FirmwareOutcome outcome = update_firmware(link, platform, image);
    close_port(link);
    platform.set_lower_status("");
    link.timeouts = TimeoutSet::normal;
    return outcome;
}

}  // namespace veloquin
