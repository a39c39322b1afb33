#pragma once
// Sending a new firmware image to the device's loader: the image file rules,
// the two confirmed steps (enter the update, the 64-byte header) and the body
// in numbered 1024-byte blocks, each confirmed and tried up to four times.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace veloquin {

class Platform;
struct DeviceLink;

inline constexpr std::size_t kFirmwareMaxBytes = 64000;
inline constexpr std::size_t kFirmwareHeaderBytes = 64;
inline constexpr std::size_t kFirmwareBlockBytes = 1024;
// A block is sent at most this many times in a row before the update is abandoned.
inline constexpr int kFirmwareBlockTries = 4;

// A firmware image as read from a "*.frw" file: header and body, at most 64000 bytes.
struct FirmwareImage {
    std::vector<std::uint8_t> bytes;

    // Whole 1024-byte blocks after the header; the bytes of an incomplete
    // last block are not sent (the loader takes whole blocks only).
    int block_count() const;
    // The bytes of an incomplete last block, which are never sent.
    std::size_t left_out_bytes() const;
    std::span<const std::uint8_t> header() const;
    std::span<const std::uint8_t> block(int k) const;
};

// Checks the bytes of a firmware file and makes the image of them. Without the
// 64-byte header and one whole block there is nothing the loader could be
// given (it would report success having flashed nothing), and an image larger
// than the loader's 64000 bytes would be flashed cut short, so both are refused
// with a message naming the problem.
bool firmware_from_bytes(std::span<const std::uint8_t> bytes, FirmwareImage& image,
                         std::string& error, std::string_view name = "The firmware file");

// Reads a firmware file; an unreadable file is refused like a short one.
bool load_firmware_file(const std::filesystem::path& path, FirmwareImage& image,
                        std::string& error);

// The question asked before anything is sent: the file, its blocks, what the
// engine and the supply must do, and the bytes a partial last block leaves out.
std::string firmware_question(std::string_view file_name, const FirmwareImage& image);

enum class FirmwareOutcome {
    complete,        // every block confirmed
    file_refused,    // the file (or a turning engine) was refused; nothing reached the device
    cancelled,       // the tuner declined the question; nothing reached the device
    not_confirmed,   // port failed, or the loader did not confirm entering the update
    header_refused,  // the header was not confirmed
    block_refused,   // a block was refused or unanswered four times in a row
};

// The update proper, on a link whose active timeout set is already the
// firmware set: opens the port, walks the loader through the steps, shows the
// step and progress texts in the lower status line and the closing message box.
// Leaves the port open; closing it is the caller's part.
FirmwareOutcome update_firmware(DeviceLink& link, Platform& platform, const FirmwareImage& image);

// What "Update Firmware..." does once a file was chosen: reads and checks the
// file (refusing it with an "Error" box before the port is touched, leaving the
// connection as it was), refuses while the live data shows the engine turning,
// asks the tuner (OK goes on), switches to the firmware timeouts, runs the update,
// then closes the port, clears the lower status line and goes back to the
// normal timeouts, whatever the ending.
FirmwareOutcome update_firmware_from_file(DeviceLink& link, Platform& platform,
                                          const std::filesystem::path& file);

}  // namespace veloquin
