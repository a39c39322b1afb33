#include "app/column_choices.h"

#include <fstream>
#include <sstream>

#include "calfile/atomic_file.h"

namespace veloquin {

namespace {

// A header line, then one line for each column assigned: its title, a tab and
// the label. Titles of a header are tab-separated, so a header line cannot be
// taken for a choice line: it starts with the prefix.
constexpr std::string_view kHeaderPrefix = "header\t";
constexpr std::size_t kLongestFile = std::size_t{1} << 20;

struct Entry {
    std::string header;
    std::vector<ColumnChoice> choices;
};

std::vector<Entry> read_entries(const std::filesystem::path& file) {
    std::vector<Entry> entries;
    std::ifstream in(file);
    std::size_t bytes = 0;
    for (std::string line; std::getline(in, line) && bytes < kLongestFile;) {
        bytes += line.size() + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.starts_with(kHeaderPrefix)) {
            entries.push_back({line.substr(kHeaderPrefix.size()), {}});
            continue;
        }
        const auto tab = line.rfind('\t');
        if (entries.empty() || line.starts_with('#') || tab == std::string::npos) continue;
        entries.back().choices.emplace_back(line.substr(0, tab), line.substr(tab + 1));
    }
    return entries;
}

}  // namespace

std::optional<std::vector<ColumnChoice>> read_column_choices(const std::filesystem::path& folder,
                                                             std::string_view header) {
    for (Entry& e : read_entries(folder / kColumnChoicesFile)) {
        if (e.header == header) return std::move(e.choices);
    }
    return std::nullopt;
}

bool write_column_choices(const std::filesystem::path& folder, std::string_view header,
                          const std::vector<ColumnChoice>& choices, std::string* error) {
    std::vector<Entry> entries = read_entries(folder / kColumnChoicesFile);
    std::erase_if(entries, [header](const Entry& e) { return e.header == header; });
    entries.push_back({std::string(header), choices});
    std::ostringstream out;
    out << "# Log columns assigned in the column dialog: a log's header, then each\n"
           "# column's title and what it holds, tab-separated\n";
    for (const Entry& e : entries) {
        out << kHeaderPrefix << e.header << '\n';
        for (const auto& [title, label] : e.choices)
            out << title << '\t' << label << '\n';
    }
    return write_file_atomically(folder / kColumnChoicesFile, out.str(), error);
}

}  // namespace veloquin
