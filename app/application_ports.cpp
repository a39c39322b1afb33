// "Serial port...": which port the search tries first.

#include <algorithm>

#include "app/application.h"
#include "app/port_choice.h"
#include "device/connection.h"

namespace veloquin {

void Application::remember_chosen_port() {
    if (const auto chosen = read_chosen_port(state_.working_directory)) {
        state_.link.search.chosen_port = port_identity(*chosen);
    }
}

void Application::choose_serial_port() {
    const std::vector<SerialPortChoice> ports = list_serial_ports(state_.link, platform_);
    const std::optional<int> number = platform_.choose_serial_port(ports);
    if (!number) return;
    const auto chosen = std::find_if(
        ports.begin(), ports.end(), [&](const SerialPortChoice& p) { return p.number == *number; });
    if (chosen == ports.end()) return;
    choose_port(state_.link, *chosen);
    std::string error;
    if (!write_chosen_port(state_.working_directory, chosen->port, &error)) {
        platform_.set_lower_status("The chosen port is not remembered: " + error);
    }
}

}  // namespace veloquin
