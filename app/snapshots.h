#pragma once
// The calibrations the program kept before something replaced the tuner's
// work as a whole: a folder of calibration files, newest last, the time and
// the cause in each file's name. File > History... lists them and puts one
// back; nothing else reads them, so a tuner may also open one by hand.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "app/startup.h"
#include "base/platform.h"
#include "calibration/calibration.h"

namespace veloquin {

inline constexpr std::size_t kKeptSnapshots = 50;

enum class SnapshotCause { download, open_file, learning, restore, other_device };

struct Snapshot {
    std::filesystem::path path;
    std::string time;   // "2026-12-07 21:50:03"
    std::string cause;  // "Download from the device"
};

// "history" beside the logs folder.
std::filesystem::path history_folder(const WorkingFolders& folders);

// A time as a snapshot's name begins: "2026-12-07_21-50-03".
std::string snapshot_stamp(const LocalTime& t);

// Writes `cal` into the folder (made when missing) as the newest snapshot
// and removes the oldest beyond kKeptSnapshots; false with the reason.
bool keep_snapshot(const std::filesystem::path& folder, const Calibration& cal, Edition edition,
                   SnapshotCause cause, std::string_view stamp, std::string* error = nullptr);

// The snapshots in the folder, newest first; files of other names are passed over.
std::vector<Snapshot> list_snapshots(const std::filesystem::path& folder);

// The snapshot read over a copy of `current`: the words it holds, the
// block sums left as `current` has them. False with the reason.
bool read_snapshot(const Snapshot& snapshot, const Calibration& current, Edition edition,
                   Calibration& out, std::string& error);

// The History list's rows: time, cause and how many differences from `current`.
std::vector<std::vector<std::string>> snapshot_rows(const std::vector<Snapshot>& snapshots,
                                                    const Calibration& current, Edition edition);

}  // namespace veloquin
