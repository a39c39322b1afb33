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

// How the program keeps its files. A program in a folder it can write to (a
// build tree, a copied folder) is portable: the four folders beside it, the
// start files in the current folder. An installed program (its folder not
// writable, or a "bin" folder of an installation prefix, which counts even
// for root) keeps everything in the user's data folder, $XDG_DATA_HOME/veloquin
// or ~/.local/share/veloquin, never in the current folder. --workdir DIR puts
// everything in DIR.
enum class FileMode { portable, installed, chosen };

struct FolderEnvironment {
    std::string program_path;  // the program's own path
    bool program_folder_writable = false;
    std::string xdg_data_home;  // empty when unset
    std::string home;
    std::string current_directory;
    std::string workdir;  // --workdir DIR; empty: not given
};

struct FileLocations {
    FileMode mode = FileMode::portable;
    // Where default.cfg is read from and workmap.cfg read and written.
    std::filesystem::path start_folder;
    std::string base;  // the folder the four working folders are in, with "/"
    WorkingFolders folders;
    // The installed default.cfg, read when the start folder has none:
    // <program folder>/../share/veloquin/default.cfg.
    std::filesystem::path factory_calibration;
};

bool is_installed_program(const FolderEnvironment& env);
std::string choose_base(const FolderEnvironment& env);
FileLocations locate_files(const FolderEnvironment& env);

// Makes the start folder if it is missing; false with the reason when it is
// not a folder that can be made (a file of that name, no permission).
bool make_start_folder(const FileLocations& files, std::string& error);

// Where the files are, in a few lines for --help and the About box; a missing
// factory calibration is said so.
std::string describe_file_locations(const FileLocations& files);
// The About box: the title, what the program is for, the version and the files.
std::string about_text(std::string_view version, const FileLocations& files);

// Creates the four folders in the order maps, settings, logs, firmware. A
// folder that exists or cannot be made is passed over.
void create_working_folders(const WorkingFolders& folders);

inline constexpr std::string_view kDefaultCalibrationFile = "default.cfg";
inline constexpr std::string_view kWorkmapFile = "workmap.cfg";

inline constexpr std::string_view kFactoryCalibrationFolder = "share/veloquin";

// Start values, then "default.cfg" from `directory` (or, when it has none, the
// factory calibration file, or when that is missing too the one built in),
// then "workmap.cfg" from `directory`. Missing files leave what was there.
// Returns the start notice: the built-in calibration taken (saying where the
// files were looked for), or a workmap.cfg refused and set aside; empty else.
std::string load_start_files(Calibration& cal, const std::filesystem::path& directory,
                             Edition edition, const std::filesystem::path& factory_file = {});

}  // namespace veloquin
