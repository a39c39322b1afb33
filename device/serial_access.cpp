#include "device/serial_access.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace veloquin {
namespace {

bool listed_in(const group& g, const std::string& user) {
    for (char** member = g.gr_mem; member != nullptr && *member != nullptr; ++member) {
        if (user == *member) return true;
    }
    return false;
}

bool session_has(gid_t gid) {
    if (::getegid() == gid) return true;
    const int count = ::getgroups(0, nullptr);
    if (count <= 0) return false;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int got = ::getgroups(count, groups.data());
    return got > 0 && std::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}

}  // namespace

SerialAccess query_serial_access() {
    SerialAccess access;
    const passwd* pw = ::getpwuid(::getuid());
    if (pw != nullptr && pw->pw_name != nullptr) access.user = pw->pw_name;
    const std::string group_name(kSerialGroup);
    const group* g = ::getgrnam(group_name.c_str());
    if (g == nullptr) return access;
    access.session_has_group = session_has(g->gr_gid);
    access.account_has_group =
        listed_in(*g, access.user) || (pw != nullptr && pw->pw_gid == g->gr_gid);
    return access;
}

std::string serial_group_command(std::string_view user) {
    return "sudo usermod -aG " + std::string(kSerialGroup) + " " + std::string(user);
}

std::string serial_access_text(const SerialAccess& access) {
    const std::string group(kSerialGroup);
    const std::string user = access.user.empty() ? std::string("$USER") : access.user;
    std::string text =
        "The device's serial port (/dev/ttyUSB0, /dev/ttyACM0, ...) belongs to the group \"" +
        group +
        "\". Only its members may open it; for everyone else the port table shows "
        "\"permission denied\".\n\n";
    if (access.session_has_group) {
        return text + "You (" + user +
               ") are in the group in this session, so permissions are "
               "not what stops a port. If one still fails, another "
               "program may have it open, or the cable may be unplugged.";
    }
    if (access.account_has_group) {
        return text + "You (" + user +
               ") have been added to the group, but this session "
               "started before that. Log out and log in again (or "
               "restart) for it to take effect.";
    }
    return text + "To join it, run this once in a terminal:\n\n    " + serial_group_command(user) +
           "\n\nthen log out and log in again (or restart): the group takes effect at the next "
           "login.";
}

}  // namespace veloquin
