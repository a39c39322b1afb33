// The Application's guard over the tuner's work: snapshots before the
// calibration is replaced as a whole, the device's download as an undo step
// (or a question, when the device is another one), and File > History...

#include <fstream>

#include "app/application.h"
#include "app/application_scopes.h"
#include "calfile/atomic_file.h"
#include "calfile/calibration_diff.h"

namespace veloquin {

namespace {

constexpr std::string_view kSyncedDeviceFile = "synced-device.txt";
constexpr int kEraseAfterRestore = 2;

// The serial number in an identification line; the line itself when it has none.
std::string serial_of(const std::string& identification) {
    constexpr std::string_view kMark = "serial# ";
    const auto at = identification.find(kMark);
    if (at == std::string::npos) return identification;
    const std::string rest = identification.substr(at + kMark.size());
    return rest.substr(0, rest.find(' '));
}

std::string read_first_line(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

void take_words(Calibration& cal, const Calibration& from) {
    cal.header = from.header;
    cal.maps = from.maps;
    cal.curves = from.curves;
}

}  // namespace

bool Application::keep_snapshot(const Calibration& cal, SnapshotCause cause) {
    std::string error;
    if (veloquin::keep_snapshot(history_folder(state_.files.folders), cal, state_.edition, cause,
                                snapshot_stamp(platform_.local_time()), &error)) {
        return true;
    }
    hold_notice("No snapshot was kept in history/: " + error);
    return false;
}

void Application::take_in_download(const Calibration& work, CalibrationWords& seen) {
    ++downloads_taken_;
    const std::string device = state_.link.search.device_identity;
    const std::filesystem::path synced_file = state_.working_directory / kSyncedDeviceFile;
    const std::string last = read_first_line(synced_file);
    const CalibrationWords now = calibration_words(state_.cal);
    // Words no file or page shows (derived ones) are the device's business.
    if (!calibration_differences(work, state_.cal, state_.edition).empty()) {
        keep_snapshot(work, SnapshotCause::download);
        const bool other = !last.empty() && serial_of(last) != serial_of(device);
        if (other && ask_keep_work(last, device)) {
            // The device's words are what the upload is about to replace.
            keep_snapshot(state_.cal, SnapshotCause::other_device);
            take_words(state_.cal, work);
            platform_.refill_pages();
            fill_all_pages();
            hold_notice("Your work was kept: it goes to the device with the next upload");
        } else {
            steps_.record_step("Download from the device");
            seen = now;
            hold_notice(std::string(kDownloadReplacedWork));
        }
    }
    std::string error;
    write_file_atomically(synced_file, device + "\n", &error);
}

bool Application::ask_keep_work(const std::string& last, const std::string& device) {
    // Asked inside the poll, which stays held meanwhile: the device waits.
    const int choice = platform_.ask(
        "This device (serial# " + serial_of(device) +
            ") is not the one your work was last synchronised with (serial# " + serial_of(last) +
            ").\n\nWhich calibration do you want to keep? The other one is kept in File > "
            "History...",
        "Another device", {"Keep my work (send it to the device)", "Take the device's"});
    return choice == 0;
}

void Application::show_history() {
    const std::vector<Snapshot> snapshots = list_snapshots(history_folder(state_.files.folders));
    if (snapshots.empty()) {
        hold_notice("No snapshot kept yet: history/ is empty");
        return;
    }
    std::optional<int> chosen;
    {
        const UserWaitScope waiting(*this);
        chosen =
            platform_.choose_row("History", {"Time", "Cause", "Differences"},
                                 snapshot_rows(snapshots, state_.cal, state_.edition), "Restore");
    }
    if (chosen && *chosen >= 0 && static_cast<std::size_t>(*chosen) < snapshots.size()) {
        restore_snapshot(snapshots[static_cast<std::size_t>(*chosen)]);
    }
}

bool Application::restore_snapshot(const Snapshot& snapshot) {
    Calibration kept;
    std::string error;
    if (!read_snapshot(snapshot, state_.cal, state_.edition, kept, error)) {
        report_file_error("The snapshot was not restored.", error);
        return false;
    }
    keep_snapshot(state_.cal, SnapshotCause::restore);
    steps_.undoable("Restore " + snapshot.time, [&] { take_words(state_.cal, kept); });
    fill_all_pages();
    state_.erase_allowance = kEraseAfterRestore;
    platform_.repaint_page();
    hold_notice("Restored the calibration of " + snapshot.time + " (" + snapshot.cause +
                "): Edit > Undo takes it back");
    return true;
}

}  // namespace veloquin
