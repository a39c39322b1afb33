#include "device/connection.h"

#include <algorithm>
#include <cstdio>

#include "device/transfer.h"

namespace veloquin {

namespace {

constexpr std::uint32_t kWrongVersionPauseMs = 1000;

void advance_search(DeviceLink& link) {
    // A port chosen without a probe is a search of that one port: it wraps at
    // once, so a silent device there still ends in "Not connected".
    if (link.found_count <= 0) {
        ++link.search_cycles;
        return;
    }
    if (++link.cycle_position >= link.found_count) {
        link.cycle_position = 0;
        ++link.search_cycles;
    }
    link.port_number = link.found_ports[static_cast<std::size_t>(link.cycle_position)];
}

void forget_sync_of_first_blocks(Calibration& cal) {
    for (const Block b : {Block::header, Block::e_map, Block::f_map}) {
        cal.block_sums(b) = {kNeverSynced, kNeverSynced};
    }
}

void identify(DeviceLink& link, Calibration& cal, Platform& platform, Edition edition) {
    if (!send_command(link, cmd::identify, 0) || !receive_reply(link, kIdentificationSize)) return;
    const std::string line =
        identification_line({link.frame.data(), static_cast<std::size_t>(kIdentificationSize)});
    if (line.empty()) {
        link.connected = false;
        platform.set_upper_status("Wrong HW/SW version");
        // The upper line moves on to "Not connected"; the reason stays below
        // until the next attempt says something else.
        platform.set_lower_status("COM" + std::to_string(link.port_number) +
                                  ": Wrong HW/SW version");
        platform.sleep_ms(kWrongVersionPauseMs);
        return;
    }
    link.connected = true;
    platform.set_title_line(line);
    download_all_blocks(link, cal, platform, edition);
}

bool request_live_record(DeviceLink& link) {
    link.live.clear();
    link.connected = false;
    if (!send_command(link, cmd::live_data, 0) ||
        !receive_reply(link, static_cast<std::size_t>(LiveRecord::kSize))) {
        return false;
    }
    link.connected = true;
    std::copy_n(link.frame.begin(), LiveRecord::kSize, link.live.bytes.begin());
    return true;
}

}  // namespace

std::string identification_line(std::span<const std::uint8_t> payload) {
    if (payload.size() < static_cast<std::size_t>(kIdentificationSize) || payload[0] != 'K' ||
        payload[1] != 'V' || payload[2] != 'X') {
        return {};
    }
    char text[96];
    std::snprintf(text, sizeof text,
                  "KVX serial# %02u%02u%02u%02u%02u%02u%02u HW.Ver:%02u SW.Ver:%02u",
                  unsigned{payload[3]}, unsigned{payload[4]}, unsigned{payload[5]},
                  unsigned{payload[6]}, unsigned{payload[7]}, unsigned{payload[8]},
                  unsigned{payload[9]}, unsigned{payload[10]}, unsigned{payload[11]});
    return text;
}

void connection_attempt(DeviceLink& link, Calibration& cal, Platform& platform, Edition edition) {
    close_port(link);
    forget_sync_of_first_blocks(cal);
    platform.set_upper_status("Search COM" + std::to_string(link.port_number) + "...");
    link.connected = false;
    if (!open_port(link, platform)) return;
    identify(link, cal, platform, edition);
    if (link.connected) {
        link.search_cycles = 0;
    } else {
        advance_search(link);
    }
    platform.set_upper_status("");
}

void poll_tick(DeviceLink& link, Calibration& cal, Platform& platform, Edition edition,
               const PollHooks& hooks) {
    platform.set_connect_enabled(link.stopped);
    if (link.stopped) return;
    if (!link.connected) {
        if (--link.retry_countdown > 0) return;
        connection_attempt(link, cal, platform, edition);
        if (!link.connected) {
            link.retry_countdown = kRetryTicks;
            if (link.search_cycles > 0) {
                link.stopped = true;
                platform.set_upper_status("Not connected");
            }
            return;
        }
        // A device found on this tick is asked for its first live record at once.
    }
    link.retry_countdown = 0;
    link.search_cycles = 0;
    // While an upload is under way the device is not asked for live data,
    // as it never was during an upload's pauses.
    if (continue_upload(link, cal, platform, edition)) return;
    bool answered = false;
    for (int attempt = 0; attempt < kLiveRequestAttempts && !answered; ++attempt) {
        answered = request_live_record(link);
    }
    if (!answered) {
        link.stopped = true;
        platform.set_upper_status("Disconnected");
    }
    platform.refresh_live_panel();
    if (hooks.process_live_data) hooks.process_live_data();
    const bool automapping = hooks.automapping_on && hooks.automapping_on();
    if (!automapping && link.connected && ++link.upload_counter > kUploadEveryTicks) {
        link.upload_counter = 0;
        begin_upload(link, cal, platform);
    }
}

void connect_button_pressed(DeviceLink& link, Platform& platform) {
    link.stopped = false;
    link.retry_countdown = 0;
    link.search_cycles = 0;
    platform.focus_main_window();
}

}  // namespace veloquin
