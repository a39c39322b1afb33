#include "app/application.h"

namespace veloquin {

std::string Application::title_line(std::string_view device_line) const {
    const bool unsaved = calibration_words(state_.cal) != saved_words_;
    if (state_.calibration_name.empty() && !unsaved) return std::string(device_line);
    std::string line(device_line);
    if (!line.empty()) line += " - ";
    line += state_.calibration_name.empty() ? "(no file)" : state_.calibration_name;
    // An undo back to the file's words takes the mark away again.
    if (unsaved) line += " *";
    return line;
}

}  // namespace veloquin
