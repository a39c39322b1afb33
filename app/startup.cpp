#include "app/startup.h"

#include <system_error>

#include "calfile/calibration_file.h"
#include "calibration/factory_calibration.h"

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

namespace {

std::string without_trailing_slash(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

std::string as_folder(const std::string& folder) {
    return !folder.empty() && folder.back() == '/' ? folder : folder + "/";
}

std::string absolute_folder(const std::string& folder, const std::string& current_directory) {
    std::filesystem::path p(folder);
    if (p.is_relative()) p = std::filesystem::path(current_directory) / p;
    return without_trailing_slash(p.lexically_normal().string());
}

std::string user_data_folder(const FolderEnvironment& env) {
    // A relative XDG_DATA_HOME is invalid by the standard and is ignored.
    if (!env.xdg_data_home.empty() && env.xdg_data_home.front() == '/') {
        return without_trailing_slash(env.xdg_data_home) + "/veloquin";
    }
    const std::string home = env.home.empty() ? env.current_directory : env.home;
    return without_trailing_slash(home) + "/.local/share/veloquin";
}

std::string_view mode_text(FileMode mode) {
    switch (mode) {
        case FileMode::portable:
            return "portable: the program's folder is writable";
        case FileMode::installed:
            return "installed: the user's data folder";
        case FileMode::chosen:
            return "chosen with --workdir";
    }
    return {};
}

}  // namespace

bool is_installed_program(const FolderEnvironment& env) {
    if (!env.program_folder_writable) return true;
    return split_path(split_path(env.program_path).folder).file == "bin";
}

std::string choose_base(const FolderEnvironment& env) {
    // The short-folder rule of base_folder is about the program's own folder;
    // a chosen or data folder always takes the "/".
    if (!env.workdir.empty()) return as_folder(absolute_folder(env.workdir, env.current_directory));
    if (is_installed_program(env)) return as_folder(user_data_folder(env));
    return base_folder(split_path(env.program_path).folder);
}

FileLocations locate_files(const FolderEnvironment& env) {
    FileLocations f;
    f.mode = !env.workdir.empty()        ? FileMode::chosen
             : is_installed_program(env) ? FileMode::installed
                                         : FileMode::portable;
    f.base = choose_base(env);
    f.folders = working_folders(f.base);
    f.start_folder = f.mode == FileMode::portable ? std::filesystem::path(env.current_directory)
                                                  : std::filesystem::path(f.base);
    const std::filesystem::path program_folder = split_path(env.program_path).folder;
    f.factory_calibration =
        (program_folder / ".." / kFactoryCalibrationFolder / kDefaultCalibrationFile)
            .lexically_normal();
    return f;
}

bool make_start_folder(const FileLocations& files, std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(files.start_folder, ec);
    if (std::filesystem::is_directory(files.start_folder)) return true;
    error = without_trailing_slash(files.start_folder.string()) +
            ": not a folder that can be made" + (ec ? " (" + ec.message() + ")" : std::string());
    return false;
}

std::string describe_file_locations(const FileLocations& files) {
    std::error_code ignored;
    const bool factory_found = std::filesystem::is_regular_file(files.factory_calibration, ignored);
    std::string start = without_trailing_slash(files.start_folder.string()) + "/";
    if (files.mode == FileMode::portable) start += " (the current folder)";
    std::string text = "Files (" + std::string(mode_text(files.mode)) + "):\n";
    text += "  default.cfg and workmap.cfg in " + start + "\n";
    text += "  maps/, settings/, logs/ and firmware/ in " + files.base + "\n";
    text += "  factory calibration, read when there is no default.cfg:\n    " +
            files.factory_calibration.string() + (factory_found ? "" : " (not found)") + "\n";
    return text;
}

std::string about_text(std::string_view version, const FileLocations& files) {
    const std::string_view title = kTitleBase.substr(0, kTitleBase.find_last_not_of(' ') + 1);
    return std::string(title) + "\nMAF emulator and boost controller\n\nVeloquin " +
           std::string(version) + "\n\n" + describe_file_locations(files);
}

void create_working_folders(const WorkingFolders& folders) {
    for (const std::string* f :
         {&folders.maps, &folders.settings, &folders.logs, &folders.firmware}) {
        std::error_code ignored;
        std::filesystem::create_directories(*f, ignored);
    }
}

namespace {

// A program copied out of its package has no factory file beside it; the
// words it was built with are the same calibration, so a first start never
// shows an all-zero one.
std::string fall_back_to_built_in(Calibration& cal, const std::filesystem::path& directory,
                                  const std::filesystem::path& factory_file) {
    cal = factory_calibration();
    mark_all_unsynced(cal);
    return "No " + std::string(kDefaultCalibrationFile) + " in " +
           without_trailing_slash(directory.string()) + "/ and no factory calibration at " +
           factory_file.string() + ": the factory calibration built into the program is used";
}

// A workmap.cfg that cannot be read as a calibration would be written over
// at exit; moved aside, whatever it held can still be looked at.
std::string set_aside_refused_workmap(const std::filesystem::path& workmap,
                                      const std::string& why) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(workmap, ec)) return {};
    std::filesystem::path aside = workmap;
    aside += ".refused";
    std::filesystem::rename(workmap, aside, ec);
    return std::string(kWorkmapFile) + " was not read (" + why + ")" +
           (ec ? std::string() : "; it was kept as " + aside.filename().string());
}

}  // namespace

std::string load_start_files(Calibration& cal, const std::filesystem::path& directory,
                             Edition edition, const std::filesystem::path& factory_file) {
    set_start_values(cal);
    std::string notice;
    if (!read_calibration_file(cal, directory / kDefaultCalibrationFile, edition) &&
        !factory_file.empty() && !read_calibration_file(cal, factory_file, edition)) {
        notice = fall_back_to_built_in(cal, directory, factory_file);
    }
    std::string why;
    if (!read_calibration_file(cal, directory / kWorkmapFile, edition, &why)) {
        if (std::string refused = set_aside_refused_workmap(directory / kWorkmapFile, why);
            !refused.empty()) {
            notice = refused;
        }
    }
    return notice;
}

}  // namespace veloquin
