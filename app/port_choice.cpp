#include "app/port_choice.h"

#include <fstream>

#include "calfile/atomic_file.h"

namespace veloquin {

namespace {

constexpr std::size_t kLongestLine = 4096;

std::string trimmed(const std::string& line) {
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

std::optional<SerialPortEntry> read_chosen_port(const std::filesystem::path& folder) {
    std::ifstream in(folder / kChosenPortFile);
    std::string lines[2];
    std::size_t read = 0;
    for (std::string line; read < 2 && std::getline(in, line);) {
        line = trimmed(line);
        const bool comment = !line.empty() && line.front() == '#';
        if (comment || line.size() > kLongestLine || (read == 0 && line.empty())) continue;
        lines[read++] = line;
    }
    if (read == 0) return std::nullopt;
    return SerialPortEntry{lines[0], lines[1]};
}

bool write_chosen_port(const std::filesystem::path& folder, const SerialPortEntry& port,
                       std::string* error) {
    const std::string text =
        "# The serial port chosen in Tools, Serial port...: its device "
        "path, then its by-id name\n" +
        port.path + "\n" + port.by_id + "\n";
    return write_file_atomically(folder / kChosenPortFile, text, error);
}

}  // namespace veloquin
