// The Application's care for the work at the edges of a session: workmap.cfg
// kept current while the program runs, the changes the device was not sent
// yet sent before the program ends, an exit that waits until the work is
// safely somewhere, and one program per working folder.

#include "app/application.h"
#include "app/application_scopes.h"
#include "app/commands.h"
#include "calfile/calibration_file.h"
#include "device/transfer.h"

namespace veloquin {

namespace {

constexpr std::uint32_t kExitUploadBudgetMs = 1000;
constexpr std::uint32_t kUploadWaitStepMs = 10;
constexpr std::string_view kAfrProtectSection = "[AFR-PROTECT]";

}  // namespace

void Application::keep_workmap_current() {
    if (state_.read_only) return;
    const CalibrationWords now = calibration_words(state_.cal);
    if (workmap_words_ && *workmap_words_ == now) return;
    std::string error;
    const bool written = write_calibration_file(state_.cal, state_.working_directory / kWorkmapFile,
                                                state_.edition, &error);
    // Said once when it starts failing; the next second tries again.
    if (!written && workmap_written_) {
        hold_notice(std::string(kWorkmapFile) + " could not be written: " + error);
    }
    workmap_written_ = written;
    if (written) workmap_words_ = now;
}

std::string Application::send_changes_before_exit() {
    if (!device_connected() || recording() || busy()) return {};
    BusyScope scope(*this);
    commit_fields();
    DeviceLink& link = state_.link;
    Calibration& cal = state_.cal;
    if (!link.upload.active()) begin_upload(link, cal, platform_);
    const std::uint32_t start = platform_.now_ms();
    // The last frame's own pause is the device's, not ours to wait for.
    while (link.upload.active() && !(link.upload.sent && link.upload.pending == 0) &&
           platform_.now_ms() - start < kExitUploadBudgetMs) {
        if (continue_upload(link, cal, platform_, state_.edition)) {
            platform_.sleep_ms(kUploadWaitStepMs);
        }
    }
    link.upload = {};
    const BlockSet unsent = unsent_blocks(cal);
    std::string names;
    for (std::size_t i = 0; i < unsent.size(); ++i) {
        if (!unsent[i]) continue;
        if (!names.empty()) names += ", ";
        names += block_name(static_cast<Block>(i));
    }
    if (names.empty()) return {};
    return "The device was not sent your last changes (" + names +
           "): it still holds its earlier values";
}

bool Application::keep_asking_until_safe(std::string error) {
    while (true) {
        const int choice = [&] {
            const UserWaitScope waiting(*this);
            return platform_.ask(
                std::string(kWorkmapFile) + " could not be written: " + error +
                    "\n\nThis session's changes are not safe anywhere yet. Save the calibration "
                    "in another folder with \"Save As...\" before quitting?",
                "Error", {"Save As...", "Do not quit"});
        }();
        if (choice != 0) return false;
        if (const auto path = ask_file(cmd::save_as); path && save_calibration(*path)) {
            return true;
        }
        error = "the calibration was not saved elsewhere either";
    }
}

void Application::claim_working_folder() {
    if (platform_.lock_folder(state_.working_directory.string())) return;
    const int choice = platform_.ask(
        "The working folder " + state_.working_directory.string() +
            " is in use by another Veloquin.\n\nTwo programs on one folder would overwrite each "
            "other's " +
            std::string(kWorkmapFile) + ".",
        "Working folder in use", {"Use another folder...", "Read-only view"});
    if (choice == 0) {
        FileDialogRequest request;
        request.save = true;
        request.title = "Another working folder (" + std::string(kWorkmapFile) + " goes there)";
        request.name = std::string(kWorkmapFile);
        std::optional<std::string> chosen;
        {
            const UserWaitScope waiting(*this);
            chosen = platform_.choose_file(request);
        }
        if (chosen && !chosen->empty()) {
            const std::filesystem::path folder = split_path(*chosen).folder;
            if (platform_.lock_folder(folder.string())) {
                state_.working_directory = folder;
                return;
            }
        }
    }
    state_.read_only = true;
    hold_notice("Read-only view: another Veloquin works in " + state_.working_directory.string() +
                "; nothing is written there");
}

int Application::ask_send_opened_file(const std::string& path) {
    const UserWaitScope waiting(*this);
    return platform_.ask("Send this calibration to the device now?\n\n" + path +
                             "\n\nSending replaces the device's calibration at once (Edit > Undo "
                             "takes it back). Opened without sending, the file is compared with "
                             "the device's calibration.",
                         "Open calibration",
                         {"Send it to the device", "Open without sending (compare)"});
}

void Application::note_afr_protect_section(std::string_view text, const std::string& path) {
    const bool has_section = text.find(kAfrProtectSection) != std::string_view::npos;
    if (state_.edition == Edition::lite) {
        state_.afr_protect_read = has_section;
    } else if (!has_section) {
        hold_notice(split_path(path).file +
                    " has no AFR protect curve: the curve held before is kept");
    }
}

bool Application::may_leave_out_afr_protect(const std::string& path) {
    if (state_.edition != Edition::lite || !state_.afr_protect_read) return true;
    const UserWaitScope waiting(*this);
    const int choice = platform_.ask(
        "The calibration was read with an AFR protect curve (" + std::string(kAfrProtectSection) +
            "), which this program's files do not hold: " + split_path(path).file +
            " will not keep it.",
        "Save", {"Save anyway", "Cancel"});
    if (choice != 0) return false;
    state_.afr_protect_read = false;
    return true;
}

}  // namespace veloquin
