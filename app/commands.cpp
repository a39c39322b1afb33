#include "app/commands.h"

#include <array>
#include <string>

namespace veloquin {
namespace {

constexpr std::array<MenuEntry, 8> kFileMenu = {{
    {cmd::open_calibration, "Open calibration...\tCtrl-O"},
    {cmd::load_partial_settings, "Load partial settings..."},
    {cmd::save, "Save\tCtrl-S"},
    {cmd::save_as, "Save As..."},
    {0, ""},
    {cmd::update_firmware, "Update Firmware..."},
    {0, ""},
    {cmd::exit, "E&xit"},
}};

constexpr std::array<MenuEntry, 9> kToolsMenu = {{
    {cmd::start_log_record, "Start Log record\tF7"},
    {cmd::start_record_pass, "Start Record Pass\tF8"},
    {0, ""},
    {cmd::load_log_file, "Load Log File\tCtrl-L"},
    {cmd::save_log_as, "Save Log As..."},
    {cmd::crop_log_file, "Crop Log File\tCtrl-Shift-C"},
    {0, ""},
    {cmd::replicate_fuel_correction, "Replicate Fuel Correction Map\tCtrl-R"},
    {cmd::calibrate_knock_by_log, "Calibrate Knock by Log"},
}};

constexpr std::array<MenuEntry, 1> kHelpMenu = {{{cmd::about, "&About ..."}}};

constexpr std::array<Menu, 3> kMenuBar = {{
    {"&File", kFileMenu},
    {"&Tools", kToolsMenu},
    {"&Help", kHelpMenu},
}};

constexpr std::array<MenuEntry, 5> kMapPopup = {{
    {cmd::interpolate, "Interpolate\tI"},
    {cmd::smooth_map, "Smooth MAP\tCtrl-Shift-M"},
    {cmd::extrapolate_boost_up, "Exterpolate boost up\tCtrl-Shift-X"},
    {0, ""},
    {cmd::rest_all_map_data, "Rest all map data"},
}};

constexpr std::array<FileFilter, 1> kProfileFilter = {{{"MAF Emulator Profile [*.emu]", "*.emu"}}};
constexpr std::array<FileFilter, 1> kPartialFilter = {{{"MAF Emulator Profile [*.par]", "*.par"}}};
constexpr std::array<FileFilter, 2> kLogOpenFilters = {{
    {"MAF Emulator Data Log [*.log]", "*.log"},
    {"Mazda Data Log [*.mdl]", "*.mdl"},
}};
constexpr std::array<FileFilter, 1> kLogSaveFilter = {{{"MAF Emulator Log [*.log]", "*.log"}}};
constexpr std::array<FileFilter, 1> kFirmwareFilter = {
    {{"MAF Emulator Firmware [*.frw]", "*.frw"}}};

struct DialogOfCommand {
    int command;
    FileDialogSpec spec;
};
constexpr std::array<DialogOfCommand, 6> kDialogs = {{
    {cmd::open_calibration,
     {FileDialogKind::open, "Open File", kProfileFilter, "", FolderId::maps}},
    {cmd::load_partial_settings,
     {FileDialogKind::open, "Load parameters", kPartialFilter, "", FolderId::settings}},
    {cmd::save_as, {FileDialogKind::save, "Save As", kProfileFilter, ".emu", FolderId::maps}},
    {cmd::load_log_file, {FileDialogKind::open, "Open File", kLogOpenFilters, "", FolderId::logs}},
    {cmd::save_log_as,
     {FileDialogKind::save, "Save Log As", kLogSaveFilter, ".log", FolderId::logs}},
    {cmd::update_firmware,
     {FileDialogKind::open, "Open File", kFirmwareFilter, "", FolderId::firmware}},
}};

}  // namespace

std::span<const Menu> menu_bar() {
    return kMenuBar;
}

std::span<const MenuEntry> map_popup_menu() {
    return kMapPopup;
}

const FileDialogSpec* file_dialog_for(int command) {
    for (const auto& d : kDialogs) {
        if (d.command == command) return &d.spec;
    }
    return nullptr;
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
