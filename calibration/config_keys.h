#pragma once
// The configuration keys of the parameter record: one table shared by the
// calibration file reader and writer, the tool and the parameter pages.

#include <optional>
#include <span>
#include <string_view>

namespace veloquin {

enum class KeyEncoding {
    integer,  // a signed decimal integer, stored as its low 16 bits
    volts,    // volts with three decimals in files, sensor counts in the word
};

struct ConfigKey {
    std::string_view name;
    int word;  // index into the parameter record
    KeyEncoding encoding;
    bool written;  // MAP_LO and MAP_HI are read but never written
};

// All 129 keys; the 127 written ones first, in the order the writer puts them.
std::span<const ConfigKey> config_keys();
inline constexpr int kConfigKeyCount = 129;
inline constexpr int kWrittenKeyCount = 127;

// Exact, case-sensitive lookup of a whole key name.
const ConfigKey* find_config_key(std::string_view name);
// The key stored in a word of the parameter record, if any.
const ConfigKey* config_key_for_word(int word);

}  // namespace veloquin
