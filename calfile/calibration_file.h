#pragma once
// The calibration text file: "workmap.cfg", "default.cfg", profiles "*.emu" and
// partial settings "*.par". Keys "NAME:value" and bracketed sections of values,
// read token by token so that any subset of the format is a valid file.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "calibration/calibration.h"

namespace veloquin {

// A bracketed section of the file: a map or a curve of the curve block.
struct CalibrationSection {
    std::string_view header;  // "[MAP-2-MAF]"
    bool is_map;
    MapId map;         // for a map section
    int curve_offset;  // for a curve section: its first word in the curve block
    int count;         // values in the section
    bool unsigned_values;
    bool full_edition_only;  // the lite program neither writes nor reads it

    // The name without brackets: "MAP-2-MAF".
    std::string_view name() const { return header.substr(1, header.size() - 2); }
};

// The nine sections in the order they are written.
std::span<const CalibrationSection> calibration_sections();
// The section of that name (with or without brackets), if the edition has it.
const CalibrationSection* find_calibration_section(std::string_view name, Edition edition);

// Tokens longer than this are outside the format and skipped whole.
inline constexpr std::size_t kMaxTokenLength = 1023;

// Reads file text onto the calibration: marks all blocks unsynced, changes
// only what the text contains, then forces a positive REV2x_FUELCORR to -80,
// rebuilds the MAF reverse table and derives the pressure limits when
// MAP_BAR_LO is 0.
void read_calibration_text(Calibration& cal, std::string_view text, Edition edition);

// Whether the text holds anything the reader takes: a key of the key table or
// a section of the edition. Random bytes, an empty file or another program's
// file hold neither and must change nothing.
bool holds_calibration(std::string_view text, Edition edition);

// Why the text must not be read as a calibration, naming the key or section
// and its line: nothing the reader takes, a section with fewer numbers than
// it needs (a file cut short), or a number no 16-bit word holds. Empty when
// the text is sound.
std::string calibration_text_problem(std::string_view text, Edition edition);

// A calibration file is a few tens of kilobytes; anything past this limit was
// chosen by mistake and is refused before it is read into memory.
inline constexpr std::uintmax_t kMaxCalibrationFileBytes = 4 * 1024 * 1024;

// The text of a calibration file, or false with the reason (not a regular
// file, unreadable, or larger than any calibration file can be).
bool load_calibration_text(const std::filesystem::path& path, std::string& text,
                           std::string& error);

// The same from a file. A file that cannot be opened, or whose text has a
// problem (above), leaves everything but the unsynced marks unchanged and
// returns false, with the reason in `error`.
bool read_calibration_file(Calibration& cal, const std::filesystem::path& path, Edition edition,
                           std::string* error = nullptr);

// The whole calibration as file text, byte for byte, with CR LF line ends.
std::string write_calibration_text(const Calibration& cal, Edition edition);

// The same with MAP_LO and MAP_HI, the map pressure axis in sensor counts,
// after MAP_BAR_HI. The program never writes them: it derives them from the
// limits when the Parameters page is read back. A file meant to be opened
// fresh, such as the factory calibration, carries them so that the map's rows
// mean the pressures of its limits from the first look.
std::string write_calibration_text_with_map_axis(const Calibration& cal, Edition edition);

// Saves without ever destroying the previous file: the text goes to a
// temporary file in the same folder, is flushed to disk, and only then
// replaces the target. Returns false with the reason when anything failed;
// the old file is then untouched and no temporary file is left behind.
bool write_calibration_file(const Calibration& cal, const std::filesystem::path& path,
                            Edition edition, std::string* error = nullptr);

}  // namespace veloquin
