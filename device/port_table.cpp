#include "device/port_table.h"

#include <algorithm>
#include <fstream>
#include <system_error>

#include "device/serial_posix.h"

namespace veloquin {

namespace fs = std::filesystem;

namespace {

// The device name families that are serial lines, in the order they are numbered.
constexpr const char* kFamilies[] = {"ttyUSB", "ttyACM", "rfcomm", "ttyS"};

// "ttyUSB10" -> 10, so ttyUSB2 comes before ttyUSB10; -1 for anything else.
long unit_number(const std::string& name, const std::string& family) {
    if (name.size() <= family.size() || name.compare(0, family.size(), family) != 0) return -1;
    const std::string digits = name.substr(family.size());
    if (digits.size() > 6 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return -1;
    }
    return std::stol(digits);
}

// Every ttyS node exists whether or not a UART answers at its address; only
// those the kernel found a chip for (a bound driver and a known port type) count.
bool has_real_uart(const fs::path& sys_tty_root, const std::string& name) {
    std::error_code ec;
    const fs::path node = sys_tty_root / name;
    if (!fs::exists(node / "device" / "driver", ec)) return false;
    std::ifstream type_file(node / "type");
    int type = 0;
    if (!(type_file >> type)) return true;  // older kernels: the bound driver must do
    return type != 0;
}

std::string by_id_name(const fs::path& dev_root, const std::string& path) {
    std::error_code ec;
    const fs::path target = fs::weakly_canonical(path, ec);
    if (ec) return {};
    std::vector<std::string> names;
    for (const auto& link : fs::directory_iterator(dev_root / "serial" / "by-id", ec)) {
        std::error_code link_ec;
        if (fs::weakly_canonical(link.path(), link_ec) == target && !link_ec) {
            names.push_back(link.path().filename().string());
        }
    }
    if (names.empty()) return {};
    std::sort(names.begin(), names.end());
    return names.front();
}

}  // namespace

// A by-id link or a symlink made for a simulated device names the same port
// as the node it points to: the table lists it once.
bool PortTable::contains(const std::string& path) const {
    std::error_code ec;
    const fs::path target = fs::weakly_canonical(path, ec);
    return std::any_of(entries_.begin(), entries_.end(), [&](const Entry& e) {
        std::error_code entry_ec;
        return e.path == path || (!ec && fs::weakly_canonical(e.path, entry_ec) == target);
    });
}

void PortTable::add(const std::string& path, const fs::path& dev_root) {
    entries_.push_back({path, by_id_name(dev_root, path)});
}

bool PortTable::add_explicit(const std::string& path, const fs::path& dev_root) {
    if (path.empty() || size() >= kMaxPorts || contains(path)) return false;
    dev_root_ = dev_root;
    add(path, dev_root);
    named_.push_back(path);
    return true;
}

void PortTable::rescan() {
    entries_.clear();
    for (const std::string& path : named_) {
        if (size() < kMaxPorts && !contains(path)) add(path, dev_root_);
    }
    if (discovering_) discover(dev_root_, sys_tty_root_);
}

std::vector<SerialPortEntry> PortTable::entries() const {
    std::vector<SerialPortEntry> out;
    out.reserve(entries_.size());
    for (const Entry& e : entries_)
        out.push_back({e.path, e.by_id});
    return out;
}

bool is_serial_device_name(const std::string& name) {
    return std::any_of(std::begin(kFamilies), std::end(kFamilies),
                       [&](const char* family) { return unit_number(name, family) >= 0; });
}

void PortTable::discover(const fs::path& dev_root, const fs::path& sys_tty_root) {
    discovering_ = true;
    dev_root_ = dev_root;
    sys_tty_root_ = sys_tty_root;
    std::vector<std::pair<long, std::string>> found[std::size(kFamilies)];
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dev_root, ec)) {
        const std::string name = entry.path().filename().string();
        for (std::size_t f = 0; f < std::size(kFamilies); ++f) {
            const long unit = unit_number(name, kFamilies[f]);
            if (unit < 0) continue;
            if (f == std::size(kFamilies) - 1 && !has_real_uart(sys_tty_root, name)) continue;
            found[f].emplace_back(unit, entry.path().string());
        }
    }
    for (auto& family : found) {
        std::sort(family.begin(), family.end());
        for (const auto& [unit, path] : family) {
            if (size() >= kMaxPorts) return;
            if (!contains(path)) add(path, dev_root);
        }
    }
}

std::string PortTable::path(int port) const {
    if (port < 1 || port > size()) return {};
    return entries_[static_cast<std::size_t>(port - 1)].path;
}

std::string PortTable::display_name(int port) const {
    if (port < 1 || port > size()) return {};
    const Entry& e = entries_[static_cast<std::size_t>(port - 1)];
    return e.by_id.empty() ? e.path : e.path + " (" + e.by_id + ")";
}

SerialOpenResult PortTable::open(int port, TimeoutSet timeouts,
                                 std::function<bool()> between_waits) const {
    const std::string device = path(port);
    if (device.empty()) return {nullptr, "no such device"};
    return open_posix_serial(device, timeouts, std::move(between_waits));
}

}  // namespace veloquin
