#include "app/startup.h"

#include <system_error>

#include "calfile/calibration_file.h"

namespace veloquin {

std::string window_title(std::string_view suffix) {
    std::string title(kTitleBase);
    title.append(suffix);
    if (title.size() > kTitleMaxLength) title.resize(kTitleMaxLength);
    return title;
}

PathParts split_path(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return {"", std::string(path)};
    return {std::string(path.substr(0, slash)), std::string(path.substr(slash + 1))};
}

std::string base_folder(std::string_view program_folder) {
    std::string base(program_folder);
    if (base.size() > 3) base += '/';
    return base;
}

WorkingFolders working_folders(std::string_view base) {
    const std::string b(base);
    return {b + "maps/", b + "settings/", b + "logs/", b + "firmware/"};
}

std::string choose_base(const FolderEnvironment& env) {
    if (env.program_folder_writable) return base_folder(split_path(env.program_path).folder);
    std::string data = env.xdg_data_home;
    // A relative XDG_DATA_HOME is invalid by the standard and is ignored.
    if (data.empty() || data.front() != '/') data = env.home + "/.local/share";
    return base_folder(data + "/veloquin");
}

void create_working_folders(const WorkingFolders& folders) {
    for (const std::string* f :
         {&folders.maps, &folders.settings, &folders.logs, &folders.firmware}) {
        std::error_code ignored;
        std::filesystem::create_directories(*f, ignored);
    }
}

void load_start_files(Calibration& cal, const std::filesystem::path& directory, Edition edition) {
    set_start_values(cal);
    read_calibration_file(cal, directory / kDefaultCalibrationFile, edition);
    read_calibration_file(cal, directory / kWorkmapFile, edition);
}

}  // namespace veloquin
