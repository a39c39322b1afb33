#include "app/commands.h"

#include <array>
#include <string>

namespace veloquin {
namespace {

constexpr std::array<MenuEntry, 9> kFileMenu = {{
    {"Open calibration...\tCtrl-O", cmd::open_calibration},
    {"Load partial settings...", cmd::load_partial_settings},
    {"Save\tCtrl-S", cmd::save},
    {"Save As...", cmd::save_as},
    {"History...", cmd::history},
    {"", 0},
    {"Update Firmware...", cmd::update_firmware},
    {"", 0},
    {"E&xit", cmd::exit},
}};

// The texts are refreshed to name the step each time the menu opens.
constexpr std::array<MenuEntry, 2> kEditMenu = {{
    {"Undo\tCtrl-Z", cmd::undo},
    {"Redo\tCtrl-Shift-Z", cmd::redo},
}};

constexpr std::array<MenuEntry, 25> kToolsMenu = {{
    {"Start Log record\tF7", cmd::start_log_record},
    {"Start Record Pass\tF8", cmd::start_record_pass},
    {"Stop recording\tEnter", cmd::stop_recording},
    {"", 0},
    {"Load Log File\tCtrl-L", cmd::load_log_file},
    {"Save Log As...", cmd::save_log_as},
    {"Crop Log File\tCtrl-Shift-C", cmd::crop_log_file},
    {"Drop Marker\tM", cmd::drop_marker},
    {"", 0},
    {"Replicate Fuel Correction Map\tCtrl-R", cmd::replicate_fuel_correction},
    {"Calibrate Knock by Log", cmd::calibrate_knock_by_log},
    {"Learn from log...", cmd::learn_from_log},
    {"Show hit counts", cmd::show_hit_counts},
    {"Target AFR...", cmd::target_afr},
    {"Log histogram...", cmd::log_histogram},
    {"Scatter", cmd::scatter_plot},
    {"Compare with log...", cmd::compare_with_log},
    {"Stop comparing logs", cmd::stop_comparing_logs},
    {"", 0},
    {"Compare with calibration...", cmd::compare_with_calibration},
    {"Compare with last file", cmd::compare_with_last_file},
    {"Stop comparing", cmd::stop_comparing},
    {"", 0},
    {"Serial port...", cmd::serial_port},
    {"Alarms...", cmd::alarms},
}};

constexpr std::array<MenuEntry, 3> kHelpMenu = {{
    {"Serial port access...", cmd::serial_port_access},
    {"", 0},
    {"&About ...", cmd::about},
}};

constexpr std::array<Menu, 4> kMenuBar = {{
    {"&File", kFileMenu},
    {"&Edit", kEditMenu},
    {"&Tools", kToolsMenu},
    {"&Help", kHelpMenu},
}};

constexpr std::array<FileFilter, 1> kProfileFilter = {{{"MAF Emulator Profile [*.emu]", "*.emu"}}};
// "workmap.cfg" and "default.cfg" are calibrations too: opening or comparing
// one must not need its name typed.
constexpr std::array<FileFilter, 3> kCalibrationFilters = {{
    {"MAF Emulator Profile [*.emu]", "*.emu"},
    {"Calibration files [*.emu *.cfg]", "*.emu *.cfg"},
    {"All files [*]", "*"},
}};
constexpr std::array<FileFilter, 1> kPartialFilter = {{{"MAF Emulator Profile [*.par]", "*.par"}}};
constexpr std::array<FileFilter, 4> kLogOpenFilters = {{
    {"MAF Emulator Data Log [*.log]", "*.log"},
    {"Mazda Data Log [*.mdl]", "*.mdl"},
    {"CSV Log [*.csv]", "*.csv"},
    {"Tab-separated Log [*.msl]", "*.msl"},
}};
constexpr std::array<FileFilter, 3> kLogSaveFilters = {{
    {"MAF Emulator Log [*.log]", "*.log"},
    {"CSV Log [*.csv]", "*.csv"},
    {"Tab-separated Log [*.msl]", "*.msl"},
}};
constexpr std::array<FileFilter, 1> kFirmwareFilter = {
    {{"MAF Emulator Firmware [*.frw]", "*.frw"}}};

struct DialogOfCommand {
    int command;
    FileDialogInfo dialog;
};
constexpr std::array<FileFilter, 1> kCsvFilter = {{{"Comma-separated values [*.csv]", "*.csv"}}};

constexpr std::array<DialogOfCommand, 10> kDialogs = {{
    {cmd::open_calibration,
     {FileDialogKind::open, "Open File", kCalibrationFilters, "", FolderId::maps}},
    {cmd::load_partial_settings,
     {FileDialogKind::open, "Load parameters", kPartialFilter, "", FolderId::settings}},
    {cmd::save_as, {FileDialogKind::save, "Save As", kProfileFilter, ".emu", FolderId::maps}},
    {cmd::load_log_file, {FileDialogKind::open, "Open File", kLogOpenFilters, "", FolderId::logs}},
    {cmd::learn_from_log,
     {FileDialogKind::open, "Learn from log", kLogOpenFilters, "", FolderId::logs}},
    {cmd::save_log_as,
     {FileDialogKind::save, "Save Log As", kLogSaveFilters, ".log", FolderId::logs}},
    {cmd::update_firmware,
     {FileDialogKind::open, "Open File", kFirmwareFilter, "", FolderId::firmware}},
    {cmd::compare_with_calibration,
     {FileDialogKind::open, "Compare with calibration", kCalibrationFilters, "", FolderId::maps}},
    {cmd::save_histogram,
     {FileDialogKind::save, "Save histogram", kCsvFilter, ".csv", FolderId::logs}},
    {cmd::compare_with_log,
     {FileDialogKind::open, "Compare with log", kLogOpenFilters, "", FolderId::logs}},
}};

}  // namespace

std::span<const Menu> menu_bar() {
    return kMenuBar;
}

const FileDialogInfo* file_dialog_for(int command) {
    for (const auto& d : kDialogs) {
        if (d.command == command) return &d.dialog;
    }
    return nullptr;
}

std::string dialog_filter_label(std::string_view text, std::string_view pattern) {
    // Dialogs that show the pattern themselves get the text without its own copy.
    std::string label(text);
    const std::string bracketed = " [" + std::string(pattern) + "]";
    if (label.size() >= bracketed.size() &&
        label.compare(label.size() - bracketed.size(), bracketed.size(), bracketed) == 0) {
        label.resize(label.size() - bracketed.size());
    }
    return label + " (" + std::string(pattern) + ")";
}

std::string add_default_extension(std::string_view path, std::string_view extension) {
    std::string out(path);
    if (extension.empty() || out.empty()) return out;
    const std::size_t slash = out.rfind('/');
    const std::size_t dot = out.rfind('.');
    const bool has_extension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash);
    if (!has_extension) out += extension;
    return out;
}

}  // namespace veloquin
