#pragma once
// The command ids of the menus, the accelerator tables and the editors' popup
// menu, the menu bar as data, and the file dialogs of the file commands.

#include <span>
#include <string>
#include <string_view>

#include "editors/editor_mouse.h"

namespace veloquin {

namespace cmd {
inline constexpr int open_calibration = 32788;
inline constexpr int load_partial_settings = 32841;
inline constexpr int save = 32789;
inline constexpr int save_as = 32790;
inline constexpr int update_firmware = 32809;
inline constexpr int exit = 105;
inline constexpr int start_log_record = 32812;
inline constexpr int start_record_pass = 32831;
inline constexpr int load_log_file = 32830;
inline constexpr int save_log_as = 32847;
inline constexpr int crop_log_file = 32832;
inline constexpr int replicate_fuel_correction = 32829;
inline constexpr int calibrate_knock_by_log = 32843;
inline constexpr int about = 104;
inline constexpr int interpolate = 32792;
inline constexpr int smooth_map = 32800;
inline constexpr int extrapolate_boost_up = 32842;
inline constexpr int rest_all_map_data = 32795;
inline constexpr int increase = 32771;
inline constexpr int decrease = 32776;
inline constexpr int increase_large = 32814;
inline constexpr int decrease_large = 32815;
inline constexpr int move_left = 32778;
inline constexpr int move_right = 32779;
inline constexpr int move_up = 32780;
inline constexpr int move_down = 32781;
inline constexpr int extend_left = 32785;
inline constexpr int extend_right = 32786;
inline constexpr int extend_up = 32783;
inline constexpr int extend_down = 32784;
inline constexpr int clear_visits = 32816;
inline constexpr int copy_cells = 32834;
inline constexpr int paste_cells = 32835;
inline constexpr int open_cell_editor = 32805;
inline constexpr int compare_with_calibration = 32870;
inline constexpr int compare_with_last_file = 32871;
inline constexpr int stop_comparing = 32872;
inline constexpr int learn_from_log = 32873;
inline constexpr int show_hit_counts = 32874;
inline constexpr int target_afr = 32880;
// Home on the log viewer: no menu carries it.
inline constexpr int whole_log_view = 32960;
// Not in the original menus; ids clear of every other.
inline constexpr int undo = 32900;
inline constexpr int redo = 32901;
inline constexpr int serial_port_access = 32902;
inline constexpr int stop_recording = 32903;
inline constexpr int serial_port = 32904;
inline constexpr int alarms = 32905;
inline constexpr int drop_marker = 32906;
inline constexpr int next_marker = 32907;
inline constexpr int previous_marker = 32908;
inline constexpr int history = 32909;
inline constexpr int log_histogram = 32910;
inline constexpr int save_histogram = 32911;  // the histogram window's "Save..."
inline constexpr int scatter_plot = 32912;
inline constexpr int compare_with_log = 32913;
inline constexpr int stop_comparing_logs = 32914;
}  // namespace cmd

// A menu bar entry's items (MenuEntry: text and command id, 0 for a
// separator; the text after a tab is the key shown beside it).
struct Menu {
    std::string_view title;
    std::span<const MenuEntry> entries;
};
std::span<const Menu> menu_bar();

enum class FileDialogKind { open, save };
struct FileFilter {
    std::string_view text;     // "MAF Emulator Profile [*.emu]"
    std::string_view pattern;  // "*.emu"
};
enum class FolderId { maps, settings, logs, firmware };
struct FileDialogInfo {
    FileDialogKind kind;
    std::string_view title;
    std::span<const FileFilter> filters;
    std::string_view default_extension;  // empty: none; else ".emu", appended to a bare name
    FolderId folder;
};

// The dialog of a file command; null for a command without one.
const FileDialogInfo* file_dialog_for(int command);
// A filter as a dialog that adds the pattern itself shows it:
// "MAF Emulator Log [*.log]" becomes "MAF Emulator Log (*.log)".
std::string dialog_filter_label(std::string_view text, std::string_view pattern);

// The name a save dialog gives back, with the default extension added when
// the chosen name has no extension at all.
std::string add_default_extension(std::string_view path, std::string_view extension);

}  // namespace veloquin
