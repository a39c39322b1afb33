#include "app/snapshots.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <system_error>
#include <tuple>

#include "app/page_controls.h"
#include "calfile/atomic_file.h"
#include "calfile/calibration_diff.h"
#include "calfile/calibration_file.h"
#include "calibration/conversions.h"

namespace veloquin {
namespace {

struct CauseName {
    SnapshotCause cause;
    std::string_view slug;  // in the file name
    std::string_view text;  // in the History list
};

constexpr std::array<CauseName, 5> kCauses = {{
    {SnapshotCause::download, "download", "Download from the device"},
    {SnapshotCause::open_file, "open", "Calibration file opened"},
    {SnapshotCause::learning, "learning", "Learning applied"},
    {SnapshotCause::restore, "restore", "Restore from history"},
    {SnapshotCause::other_device, "other-device", "Another device's calibration"},
}};

constexpr std::size_t kStampLength = 19;  // "2026-12-07_21-50-03"
constexpr std::string_view kExtension = ".cfg";

struct ParsedName {
    Snapshot snapshot;
    int sequence = 1;  // of snapshots kept in the same second
};

// "<stamp>_<slug>.cfg", or "<stamp>_<n>_<slug>.cfg" for the n-th in the same
// second.
std::optional<ParsedName> parse_name(const std::filesystem::path& path) {
    const std::string name = path.filename().string();
    if (name.size() <= kStampLength + kExtension.size() || !name.ends_with(kExtension) ||
        name[kStampLength] != '_') {
        return std::nullopt;
    }
    std::string slug =
        name.substr(kStampLength + 1, name.size() - kStampLength - 1 - kExtension.size());
    int sequence = 1;
    if (const auto sep = slug.find('_'); sep != std::string::npos) {
        sequence = std::atoi(slug.substr(0, sep).c_str());
        slug = slug.substr(sep + 1);
    }
    const auto cause = std::find_if(kCauses.begin(), kCauses.end(),
                                    [&](const CauseName& c) { return c.slug == slug; });
    if (cause == kCauses.end()) return std::nullopt;
    std::string time = name.substr(0, kStampLength);
    time[10] = ' ';
    std::replace(time.begin() + 11, time.end(), '-', ':');
    return ParsedName{{path, time, std::string(cause->text)}, sequence};
}

// Oldest first.
std::vector<ParsedName> snapshot_files(const std::filesystem::path& folder) {
    std::vector<ParsedName> files;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        if (auto parsed = parse_name(it->path())) files.push_back(std::move(*parsed));
    }
    std::sort(files.begin(), files.end(), [](const ParsedName& a, const ParsedName& b) {
        return std::tie(a.snapshot.time, a.sequence) < std::tie(b.snapshot.time, b.sequence);
    });
    return files;
}

}  // namespace

std::filesystem::path history_folder(const WorkingFolders& folders) {
    return std::filesystem::path(folders.logs).lexically_normal().parent_path().parent_path() /
           "history";
}

std::string snapshot_stamp(const LocalTime& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d_%02d-%02d-%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

bool keep_snapshot(const std::filesystem::path& folder, const Calibration& cal, Edition edition,
                   SnapshotCause cause, std::string_view stamp, std::string* error) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    const auto named = std::find_if(kCauses.begin(), kCauses.end(),
                                    [&](const CauseName& c) { return c.cause == cause; });
    // Another in the same second takes the next number, whatever was pruned.
    int sequence = 0;
    std::string time(stamp);
    if (time.size() == kStampLength) time[10] = ' ';
    std::replace(time.begin() + std::min<std::ptrdiff_t>(11, std::ssize(time)), time.end(), '-',
                 ':');
    for (const ParsedName& p : snapshot_files(folder)) {
        if (p.snapshot.time == time) sequence = std::max(sequence, p.sequence);
    }
    const std::string number = sequence == 0 ? "" : std::to_string(sequence + 1) + "_";
    const std::filesystem::path path =
        folder / (std::string(stamp) + "_" + number + std::string(named->slug) + ".cfg");
    if (!write_calibration_file(cal, path, edition, error)) return false;
    const std::vector<ParsedName> files = snapshot_files(folder);
    for (std::size_t i = 0; i + kKeptSnapshots < files.size(); ++i)
        std::filesystem::remove(files[i].snapshot.path, ec);
    return true;
}

std::vector<Snapshot> list_snapshots(const std::filesystem::path& folder) {
    std::vector<Snapshot> list;
    const std::vector<ParsedName> files = snapshot_files(folder);
    for (auto it = files.rbegin(); it != files.rend(); ++it)
        list.push_back(it->snapshot);
    return list;
}

bool read_snapshot(const Snapshot& snapshot, const Calibration& current, Edition edition,
                   Calibration& out, std::string& error) {
    std::string text;
    if (!load_calibration_text(snapshot.path, text, error)) return false;
    if (!holds_calibration(text, edition)) {
        error = "No calibration found in " + snapshot.path.string();
        return false;
    }
    out = current;
    out.param(hw::MAP_BAR_LO) = 0;
    out.param(hw::MAP_BAR_HI) = 0;
    read_calibration_text(out, text, edition);
    derive_pressure_counts(out);
    out.sums = current.sums;
    return true;
}

std::vector<std::vector<std::string>> snapshot_rows(const std::vector<Snapshot>& snapshots,
                                                    const Calibration& current, Edition edition) {
    std::vector<std::vector<std::string>> rows;
    for (const Snapshot& s : snapshots) {
        Calibration kept;
        std::string error;
        const std::string differences =
            read_snapshot(s, current, edition, kept, error)
                ? std::to_string(calibration_differences(kept, current, edition).size())
                : "unreadable";
        rows.push_back({s.time, s.cause, differences});
    }
    return rows;
}

}  // namespace veloquin
