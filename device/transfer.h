#pragma once
// Moving the six calibration blocks between the program and the device: all
// of them downloaded at every connection (the device wins), and every block
// whose byte sum changed uploaded by the keep-alive poll.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "calibration/calibration.h"
#include "device/device_link.h"

namespace veloquin {

std::uint8_t upload_code(Block b);
std::uint8_t download_code(Block b);

// The block as it goes on the wire, little-endian. The header carries the
// device's values of REV_DIV, ACC_MAX and word 167 (the calibration keeps the
// program's); the f-map carries each correction v as (v + 100) * 128.
std::vector<std::uint8_t> encode_block(const Calibration& cal, Block b);

// An all-0xFF block is an unprogrammed device area and is not taken.
bool is_unprogrammed(std::span<const std::uint8_t> payload);

// Takes a received block into the calibration, undoing the wire values of the
// header and the f-map. False (and nothing changed) when the size is not the
// block's size.
bool apply_downloaded_block(Calibration& cal, Block b, std::span<const std::uint8_t> payload,
                            Edition edition);

// The current sum of every block from the calibration as it is held.
void update_sums(Calibration& cal);

// Sends every block whose current sum differs from its synced sum, in the
// transfer order; a block whose frame did not go out completely stays changed.
void upload_changed_blocks(DeviceLink& link, Calibration& cal, Platform& platform, Edition edition);

// The same as steps of the poll: begin_upload shows the first changed
// block's status and starts the pause before its frame; continue_upload runs
// the next step once its pause is over (the frame, then the pause after it,
// then the next block). False once no upload is under way. What goes on the
// wire, in what order and with what pauses at least, is as above.
void begin_upload(DeviceLink& link, Calibration& cal, Platform& platform);
bool continue_upload(DeviceLink& link, Calibration& cal, Platform& platform, Edition edition);

// Downloads one block; clears link.connected unless the exchange succeeded.
void download_block(DeviceLink& link, Calibration& cal, Platform& platform, Edition edition,
                    Block b);

// Blocks by their place in the transfer order.
using BlockSet = std::array<bool, kBlockCount>;

// The blocks whose current sum differs from their synced sum: changes the
// device has not been sent yet.
BlockSet unsent_blocks(Calibration& cal);

// Downloads all six blocks while link.connected holds. Nothing is taken
// until every block has arrived: a download cut off leaves the calibration
// as it was, says "Download failed: <block>" and ends with connected clear.
// Then every block but those in `keep` is taken and marked synced, and the
// pages are refilled; a kept block stays changed, so the next upload sends
// the program's values over the device's.
void download_all_blocks(DeviceLink& link, Calibration& cal, Platform& platform, Edition edition,
                         const BlockSet& keep = {});

}  // namespace veloquin
