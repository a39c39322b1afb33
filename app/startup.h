#pragma once
// The program's entry rules that need no window: where the working folders
// are, which start files are read, and the window title.

#include <filesystem>
#include <string>
#include <string_view>

#include "calibration/calibration.h"

namespace veloquin {

inline constexpr std::string_view kTitleBase = "Tarvex 7.01   ";
// Title base and suffix together hold at most this many characters.
inline constexpr std::size_t kTitleMaxLength = 255;
std::string window_title(std::string_view suffix);

struct PathParts {
    std::string folder;  // everything before the last "/", without it
    std::string file;    // everything after it; the whole path when there is no "/"
};
PathParts split_path(std::string_view path);

// The program folder with "/" appended when it is longer than three
// characters; a short folder ("", "/", "a:") is taken as it stands.
std::string base_folder(std::string_view program_folder);

struct WorkingFolders {
    std::string maps;      // calibration profiles
    std::string settings;  // partial settings
    std::string logs;      // log files
    std::string firmware;  // firmware images
};
WorkingFolders working_folders(std::string_view base);

// Where the folders live: beside the program when its folder can be written
// (a portable or build-tree install), else under the user's data folder
// ($XDG_DATA_HOME/veloquin, by default ~/.local/share/veloquin).
struct FolderEnvironment {
    std::string program_path;  // the program's own path
    bool program_folder_writable = false;
    std::string xdg_data_home;  // empty when unset
    std::string home;
};
std::string choose_base(const FolderEnvironment& env);

// Creates the four folders in the order maps, settings, logs, firmware. A
// folder that exists or cannot be made is passed over.
void create_working_folders(const WorkingFolders& folders);

inline constexpr std::string_view kDefaultCalibrationFile = "default.cfg";
inline constexpr std::string_view kWorkmapFile = "workmap.cfg";

// Start values, then "default.cfg", then "workmap.cfg" from `directory`.
// Missing files leave what was there; neither is reported.
void load_start_files(Calibration& cal, const std::filesystem::path& directory, Edition edition);

}  // namespace veloquin
