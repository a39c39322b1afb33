#include "device/connection.h"

#include <algorithm>
#include <cstdio>

#include "device/transfer.h"

namespace veloquin {

namespace {

constexpr std::uint32_t kWrongVersionPauseMs = 1000;
constexpr const char* kNoAnswerText =
    "No device answered - still looking (Tools, Serial port... lists the ports)";

void advance_search(DeviceLink& link) {
    // A port chosen without a probe is a search of that one port: it wraps at
    // once, so a silent device there still ends the pass.
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

// The port of the last connection first, so a device lost for a moment is
// asked where it was; then the port the user chose; then table order.
void put_preferred_ports_first(DeviceLink& link, Platform& platform) {
    auto rank = [&](int port) {
        const std::string id = port_identity(link, platform, port);
        if (!id.empty() && id == link.search.last_port) return 0;
        if (!id.empty() && id == link.search.chosen_port) return 1;
        return 2;
    };
    const auto first = link.found_ports.begin();
    std::stable_sort(first, first + link.found_count,
                     [&](int a, int b) { return rank(a) < rank(b); });
}

void begin_pass(DeviceLink& link, Platform& platform) {
    link.search.pass_due = false;
    link.search.reason_shown = false;
    if (auto table = platform.rescan_ports()) link.ports = std::move(*table);
    probe_ports(link, platform);
    put_preferred_ports_first(link, platform);
    start_search_at_first_found_port(link);
}

// A port of the table that would not open, why, for the lower status line. A
// table lists what exists, or what the user named, so even a missing node
// says something; of fixed port numbers only those that exist do.
const PortProbe* first_refused_port(const DeviceLink& link, int* port) {
    const std::size_t count =
        link.ports ? std::min(link.ports->size(), link.probed.size()) : link.probed.size();
    for (std::size_t i = 0; i < count; ++i) {
        const PortAccess access = link.probed[i].access;
        if (access != PortAccess::free && (link.ports || access != PortAccess::missing)) {
            *port = static_cast<int>(i) + 1;
            return &link.probed[i];
        }
    }
    return nullptr;
}

void show_search_note(DeviceLink& link, Platform& platform, bool again = false) {
    int refused_port = 0;
    const PortProbe* refused =
        link.found_count == 0 ? first_refused_port(link, &refused_port) : nullptr;
    SearchNote note = SearchNote::not_connected;
    if (link.search.device_lost) {
        note = SearchNote::lost;
    } else if (link.found_count == 0) {
        note = refused != nullptr ? SearchNote::no_access : SearchNote::no_port;
    }
    if (note == link.search.shown) return;
    link.search.shown = note;
    switch (note) {
        case SearchNote::lost:
            platform.set_upper_status("Disconnected");
            platform.set_lower_status("Device lost - retrying");
            break;
        case SearchNote::no_port:
            platform.set_upper_status("No serial port found");
            platform.set_lower_status(
                "Plug in the device, or start with --simulate to try the program");
            break;
        case SearchNote::no_access:
            platform.set_upper_status("Not connected");
            platform.set_lower_status("COM" + std::to_string(refused_port) + ": FAILED (" +
                                      refused->error + ")");
            break;
        case SearchNote::not_connected:
        case SearchNote::none:
            platform.set_upper_status("Not connected");
            // A reason an attempt gave stays below; ports that only stayed
            // silent get a word on where to go from here.
            if (again || !link.search.reason_shown) platform.set_lower_status(kNoAnswerText);
            break;
    }
}

// From here on the search is quiet, a pass a second, until it finds the device.
void end_pass_without_answer(DeviceLink& link, Platform& platform) {
    link.search.pass_due = true;
    link.search.quiet = true;
    link.retry_countdown = kQuietPassTicks;
    show_search_note(link, platform);
}

void note_connection(DeviceLink& link, Platform& platform) {
    if (link.search.quiet) platform.set_upper_status("");
    if (link.search.device_lost) platform.set_lower_status("Reconnected");
    link.search.device_lost = false;
    link.search.quiet = false;
    link.search.pass_due = false;
    link.search.shown = SearchNote::none;
    link.search.last_port = port_identity(link, platform, link.port_number);
}

void search_tick(DeviceLink& link, Calibration& cal, Platform& platform, Edition edition) {
    if (--link.retry_countdown > 0) return;
    if (link.search.pass_due) begin_pass(link, platform);
    if (link.found_count == 0) {
        end_pass_without_answer(link, platform);
        return;
    }
    const int passes = link.search_cycles;
    connection_attempt(link, cal, platform, edition);
    if (link.connected) {
        note_connection(link, platform);
        return;
    }
    // A port nobody talks to is not held: another program may want it.
    close_port(link);
    if (link.search_cycles != passes) {
        end_pass_without_answer(link, platform);
    } else {
        link.retry_countdown = kRetryTicks;
    }
}

void lose_device(DeviceLink& link, Platform& platform) {
    // Closed at once: a USB adapter unplugged while its node is held open
    // comes back under another name.
    close_port(link);
    link.upload = {};  // what it had not sent stays changed, for the device come back
    link.search.device_lost = true;
    link.search.quiet = true;
    link.search.pass_due = true;
    link.search.shown = SearchNote::none;
    link.retry_countdown = kRetryTicks;
    show_search_note(link, platform);
}

void identify(DeviceLink& link, Calibration& cal, Platform& platform, Edition edition) {
    if (!send_command(link, cmd::identify, 0) || !receive_reply(link, kIdentificationSize)) return;
    const std::string line =
        identification_line({link.frame.data(), static_cast<std::size_t>(kIdentificationSize)});
    if (line.empty()) {
        link.connected = false;
        // Said once by the pass that found it; the quiet passes after it keep
        // the texts they found.
        if (!link.search.quiet) {
            link.search.reason_shown = true;
            platform.set_upper_status("Wrong HW/SW version");
            // The upper line moves on to "Not connected"; the reason stays below
            // until the next attempt says something else.
            platform.set_lower_status("COM" + std::to_string(link.port_number) +
                                      ": Wrong HW/SW version");
        }
        platform.sleep_ms(kWrongVersionPauseMs);
        return;
    }
    link.connected = true;
    platform.set_title_line(line);
    // The device wins, except over changes it was never sent: those stay and
    // go out with the next upload, when it is the same device come back.
    const BlockSet keep = line == link.search.device_identity ? unsent_blocks(cal) : BlockSet{};
    download_all_blocks(link, cal, platform, edition, keep);
    if (link.connected) {
        link.search.device_identity = line;
    } else {
        link.search.reason_shown = true;  // "Download failed: <block>"
    }
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

std::string port_state_text(const DeviceLink& link, int port) {
    if (link.connected && port == link.port_number) return "connected";
    const PortProbe& probe = link.probed[static_cast<std::size_t>(port - 1)];
    switch (probe.access) {
        case PortAccess::free:
            return "free";
        case PortAccess::busy:
            return "busy";
        case PortAccess::no_permission:
            return "no permission";
        case PortAccess::missing:
            return "missing";
        case PortAccess::unusable:
            break;
    }
    return probe.error.empty() ? "cannot be used" : probe.error;
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

void start_search(DeviceLink& link, Platform& platform) {
    begin_pass(link, platform);
}

void connection_attempt(DeviceLink& link, Calibration& cal, Platform& platform, Edition edition) {
    close_port(link);
    // Forgetting these sums would lose which blocks a device come back was
    // never sent; before the first connection there is nothing to lose.
    if (link.search.device_identity.empty()) forget_sync_of_first_blocks(cal);
    const bool quiet = link.search.quiet;
    if (!quiet) platform.set_upper_status("Search COM" + std::to_string(link.port_number) + "...");
    link.connected = false;
    link.probe_quiet = quiet;
    const bool opened = open_port(link, platform);
    link.probe_quiet = false;
    if (!opened) {
        // A port that will not open is passed over, so a device on another
        // port is still found (and the pass still ends).
        if (!quiet) link.search.reason_shown = true;
        advance_search(link);
        return;
    }
    identify(link, cal, platform, edition);
    if (link.connected) {
        link.search_cycles = 0;
    } else {
        advance_search(link);
    }
    if (!quiet) platform.set_upper_status("");
}

void poll_tick(DeviceLink& link, Calibration& cal, Platform& platform, Edition edition,
               const PollHooks& hooks) {
    // Asked on every tick, so a device plugged in while connected is not
    // taken for a new one later.
    const bool ports_changed = platform.serial_ports_changed();
    if (!link.connected) {
        if (ports_changed) {
            link.search.pass_due = true;
            link.retry_countdown = 0;
        }
        search_tick(link, cal, platform, edition);
        if (!link.connected) {
            platform.set_connect_enabled(true);
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
    if (!answered) lose_device(link, platform);
    platform.set_connect_enabled(!link.connected);
    platform.refresh_live_panel();
    if (hooks.process_live_data) hooks.process_live_data();
    const bool automapping = hooks.automapping_on && hooks.automapping_on();
    if (!automapping && link.connected && ++link.upload_counter > kUploadEveryTicks) {
        link.upload_counter = 0;
        begin_upload(link, cal, platform);
    }
}

void connect_button_pressed(DeviceLink& link, Platform& platform) {
    platform.focus_main_window();
    if (link.connected) return;
    link.retry_countdown = 0;
    link.search_cycles = 0;
    link.search.pass_due = true;
    link.search.quiet = false;
    link.search.shown = SearchNote::none;
}

void show_search_state_again(DeviceLink& link, Platform& platform) {
    if (link.connected || link.search.shown == SearchNote::none) return;
    link.search.shown = SearchNote::none;
    show_search_note(link, platform, true);
}

std::vector<SerialPortChoice> list_serial_ports(DeviceLink& link, Platform& platform) {
    const std::string ours = link.connected ? port_identity(link, platform, link.port_number) : "";
    if (auto table = platform.rescan_ports()) link.ports = std::move(*table);
    if (link.connected && link.ports) {
        for (int port = 1; port <= static_cast<int>(link.ports->size()); ++port) {
            if (port_identity(link, platform, port) == ours) link.port_number = port;
        }
    }
    probe_ports(link, platform);
    // The probe took the search's ports: the next attempt starts a pass anew.
    if (!link.connected) link.search.pass_due = true;
    std::vector<SerialPortChoice> list;
    const int count =
        link.ports ? static_cast<int>(link.ports->size()) : DeviceLink::kMaxFoundPorts;
    for (int port = 1; port <= std::min(count, DeviceLink::kMaxFoundPorts); ++port) {
        SerialPortChoice choice;
        choice.number = port;
        if (link.ports) {
            choice.port = (*link.ports)[static_cast<std::size_t>(port - 1)];
        } else if (link.probed[static_cast<std::size_t>(port - 1)].access != PortAccess::missing) {
            choice.port.path = platform.port_name(port);
        } else {
            continue;  // fixed numbers: only the ports that are there
        }
        choice.state = port_state_text(link, port);
        list.push_back(std::move(choice));
    }
    return list;
}

void choose_port(DeviceLink& link, Platform& platform, const SerialPortChoice& choice) {
    link.search.chosen_port = port_identity(choice.port);
    // By identity: the poll may have made the table anew while the list was open.
    if (link.connected &&
        port_identity(link, platform, link.port_number) == link.search.chosen_port)
        return;
    close_port(link);
    link.upload = {};
    link.connected = false;
    link.search.last_port.clear();
    link.search.quiet = false;
    link.search.pass_due = true;
    link.search.shown = SearchNote::none;
    link.retry_countdown = 0;
    link.search_cycles = 0;
}

}  // namespace veloquin
