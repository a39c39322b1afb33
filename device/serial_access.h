#pragma once
// Who may open the serial ports. On Debian the USB and built-in serial
// devices belong to the group "dialout"; a user outside it gets "permission
// denied", and one just added to it only gets the group at the next login.

#include <string>
#include <string_view>

namespace veloquin {

inline constexpr std::string_view kSerialGroup = "dialout";

struct SerialAccess {
    std::string user;
    bool session_has_group = false;  // this login may open the ports now
    bool account_has_group = false;  // the group lists the user (takes effect at login)
};

// The account running the program and its membership of the group.
SerialAccess query_serial_access();

// "sudo usermod -aG dialout USER".
std::string serial_group_command(std::string_view user);

// Help > "Serial port access...": why a port may refuse to open, and what to
// do about it for this user.
std::string serial_access_text(const SerialAccess& access);

}  // namespace veloquin
