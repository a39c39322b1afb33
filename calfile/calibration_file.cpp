#include "calfile/calibration_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "calfile/atomic_file.h"
#include "calibration/config_keys.h"
#include "calibration/conversions.h"

namespace veloquin {
namespace {

constexpr std::array<CalibrationSection, 9> kSections = {{
    {"[MAF-Sensor-Calibration]", false, MapId::map_2_maf, cv::MAF_SENSOR, cv::MAF_SENSOR_POINTS,
     true, false},
    {"[IAT-Sensor-Calibration]", false, MapId::map_2_maf, cv::IAT_SENSOR, cv::IAT_SENSOR_POINTS,
     false, false},
    {"[IAT-Correction]", false, MapId::map_2_maf, cv::IAT_CORRECTION, cv::IAT_CORRECTION_POINTS,
     false, false},
    {"[KNOCK-Sensor-Calibration]", false, MapId::map_2_maf, cv::KNOCK, cv::KNOCK_POINTS, false,
     false},
    {"[AFR-PROTECT]", false, MapId::map_2_maf, cv::AFR_PROTECT, cv::AFR_PROTECT_POINTS, false,
     true},
    {"[MAP-2-MAF]", true, MapId::map_2_maf, 0, kMapCells, false, false},
    {"[FUEL-CORRECTION]", true, MapId::fuel_correction, 0, kMapCells, false, false},
    {"[METH-CORRECTION]", true, MapId::meth_correction, 0, kMapCells, false, false},
    {"[BOOST-DUTY]", true, MapId::boost_duty, 0, kMapCells, false, false},
}};

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Decimal digits with an optional sign, as the C library reads them, saturating
// like strtol where the number does not fit: the stored word keeps the low 16
// bits of the result.
struct ParsedInt {
    long value = 0;
    std::size_t length = 0;  // characters used; 0 when no digits were found
};

ParsedInt parse_leading_int(std::string_view s) {
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    const std::size_t digits_start = i;
    long value = 0;
    bool saturated = false;
    for (; i < s.size() && is_digit(s[i]); ++i) {
        const int d = s[i] - '0';
        if (!saturated && value > (LONG_MAX - d) / 10) saturated = true;
        if (!saturated) value = value * 10 + d;
    }
    if (i == digits_start) return {};
    if (saturated) return {negative ? LONG_MIN : LONG_MAX, i};
    return {negative ? -value : value, i};
}

float float_token_value(std::string_view text) {
    std::array<char, kMaxTokenLength + 1> buffer{};
    const std::size_t n = std::min(text.size(), kMaxTokenLength);
    std::memcpy(buffer.data(), text.data(), n);
    return std::strtof(buffer.data(), nullptr);
}

// A word holds a signed or an unsigned 16-bit value; anything past both
// would wrap into another value on the device.
bool fits_word(long v) {
    return v >= INT16_MIN && v <= UINT16_MAX;
}

class Reader {
  public:
    Reader(Calibration& cal, std::string_view text, Edition edition)
        : cal_(cal), text_(text), edition_(edition) {}

    void run() {
        std::string_view token;
        while (next_token(token))
            handle_token(token);
    }

    // The first thing the text holds that would store something else than
    // it says (a short section, a number past its word); empty for none.
    const std::string& problem() const { return problem_; }

  private:
    int line_at(std::size_t pos) const {
        const auto before = text_.substr(0, std::min(pos, text_.size()));
        return 1 + static_cast<int>(std::count(before.begin(), before.end(), '\n'));
    }

    void note(std::size_t pos, std::string_view what, const std::string& why) {
        if (problem_.empty())
            problem_ = std::string(what) + " at line " + std::to_string(line_at(pos)) + ": " + why;
    }

    void check_number(std::size_t pos, std::string_view what, std::string_view token, long v) {
        if (!fits_word(v)) note(pos, what, std::string(token) + " does not fit a 16-bit word");
    }

    void note_short(std::size_t pos, const CalibrationSection& s, int read) {
        note(pos, s.header,
             "the section holds " + std::to_string(read) + " of its " + std::to_string(s.count) +
                 " numbers");
    }

    void skip_space() {
        while (pos_ < text_.size() && is_space(text_[pos_]))
            ++pos_;
    }

    // The next token of acceptable length; overlong ones are passed over whole.
    bool next_token(std::string_view& token) {
        for (;;) {
            skip_space();
            if (pos_ >= text_.size()) return false;
            const std::size_t start = pos_;
            while (pos_ < text_.size() && !is_space(text_[pos_]))
                ++pos_;
            if (pos_ - start <= kMaxTokenLength) {
                token = text_.substr(start, pos_ - start);
                return true;
            }
        }
    }

    void handle_token(std::string_view token) {
        const std::size_t colon = token.find(':');
        if (colon != std::string_view::npos) {
            store_key(token.substr(0, colon), token.substr(colon + 1));
            token = token.substr(0, colon);
        }
        for (const CalibrationSection& s : kSections) {
            if (s.full_edition_only && edition_ != Edition::full) continue;
            if (token == s.header) {
                if (s.is_map) {
                    read_map(s, cal_.map(s.map));
                } else {
                    read_curve(s);
                }
                break;
            }
        }
    }

    void store_key(std::string_view name, std::string_view value) {
        const ConfigKey* key = find_config_key(name);
        if (key == nullptr) return;
        const std::size_t at = static_cast<std::size_t>(value.data() - text_.data());
        if (key->encoding == KeyEncoding::volts) {
            const int counts = volts_to_counts(float_token_value(value));
            check_number(at, name, value, counts);
            cal_.param(key->word) = low16(counts);
        } else {
            const ParsedInt n = parse_leading_int(value);
            if (n.length == 0) note(at, name, "\"" + std::string(value) + "\" is not a number");
            check_number(at, name, value, n.value);
            cal_.param(key->word) = low16(n.value);
        }
    }

    // A curve takes the next tokens whatever they are; the end of the text
    // fills the rest with the last value, or leaves the curve alone when none came.
    void read_curve(const CalibrationSection& s) {
        int read = 0;
        std::int16_t last = 0;
        std::string_view token;
        bool numbers = true;
        while (read < s.count && next_token(token)) {
            const ParsedInt n = parse_leading_int(token);
            numbers = numbers && n.length > 0;
            if (numbers) check_number(pos_, s.header, token, n.value);
            last = low16(n.value);
            cal_.curve_word(s.curve_offset + read++) = last;
            if (!numbers) note_short(pos_, s, read - 1);
        }
        if (read < s.count) note_short(pos_, s, read);
        if (read == 0) return;
        while (read < s.count)
            cal_.curve_word(s.curve_offset + read++) = last;
    }

    // A map takes formatted integer reads, which stop at the first character
    // that cannot continue a number; the reader then carries on from there.
    void read_map(const CalibrationSection& s, Map& map) {
        int read = 0;
        std::int16_t last = 0;
        while (read < kMapCells) {
            skip_space();
            const ParsedInt n = parse_leading_int(text_.substr(pos_));
            if (n.length == 0) break;
            check_number(pos_, s.header, text_.substr(pos_, n.length), n.value);
            pos_ += n.length;
            last = low16(n.value);
            map[static_cast<std::size_t>(read++)] = last;
        }
        if (read < kMapCells) note_short(pos_, s, read);
        if (read == 0) return;
        while (read < kMapCells)
            map[static_cast<std::size_t>(read++)] = last;
    }

    Calibration& cal_;
    std::string_view text_;
    Edition edition_;
    std::size_t pos_ = 0;
    std::string problem_;
};

void finish_read(Calibration& cal) {
    if (cal.param(hw::REV2x_FUELCORR) > 0) cal.param(hw::REV2x_FUELCORR) = -80;
    rebuild_maf_reverse_table(cal);
    if (cal.param(hw::MAP_BAR_LO) == 0) derive_map_pressure_limits(cal);
}

void append_format(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void append_format(std::string& out, const char* format, ...) {
    char line[256];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n > 0) out.append(line, static_cast<std::size_t>(std::min<int>(n, sizeof line - 1)));
}

}  // namespace

std::span<const CalibrationSection> calibration_sections() {
    return kSections;
}

const CalibrationSection* find_calibration_section(std::string_view name, Edition edition) {
    for (const CalibrationSection& s : kSections) {
        if (s.full_edition_only && edition != Edition::full) continue;
        if (name == s.header || name == s.name()) return &s;
    }
    return nullptr;
}

bool holds_calibration(std::string_view text, Edition edition) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && is_space(text[pos]))
            ++pos;
        const std::size_t start = pos;
        while (pos < text.size() && !is_space(text[pos]))
            ++pos;
        std::string_view token = text.substr(start, pos - start);
        const std::size_t colon = token.find(':');
        if (colon != std::string_view::npos) {
            if (find_config_key(token.substr(0, colon)) != nullptr) return true;
            token = token.substr(0, colon);
        }
        if (!token.empty() && find_calibration_section(token, edition) != nullptr &&
            token.front() == '[') {
            return true;
        }
    }
    return false;
}

std::string calibration_text_problem(std::string_view text, Edition edition) {
    if (!holds_calibration(text, edition)) return "no calibration found in it";
    Calibration scratch;
    Reader reader(scratch, text, edition);
    reader.run();
    return reader.problem();
}

void read_calibration_text(Calibration& cal, std::string_view text, Edition edition) {
    mark_all_unsynced(cal);
    Reader(cal, text, edition).run();
    finish_read(cal);
}

bool load_calibration_text(const std::filesystem::path& path, std::string& text,
                           std::string& error) {
    if (!check_regular_file(path, error)) return false;
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (!ec && size > kMaxCalibrationFileBytes) {
        error = path.string() + " is too large to be a calibration file";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path.string() + ": " + std::strerror(errno);
        return false;
    }
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) {
        error = "cannot read " + path.string();
        return false;
    }
    text = content.str();
    return true;
}

bool read_calibration_file(Calibration& cal, const std::filesystem::path& path, Edition edition,
                           std::string* error) {
    mark_all_unsynced(cal);
    std::string text;
    std::string why;
    if (!load_calibration_text(path, text, why)) {
        if (error != nullptr) *error = why;
        return false;
    }
    if (const std::string problem = calibration_text_problem(text, edition); !problem.empty()) {
        if (error != nullptr) *error = path.string() + ": " + problem;
        return false;
    }
    read_calibration_text(cal, text, edition);
    return true;
}

namespace {

void append_key_line(std::string& out, const Calibration& cal, const ConfigKey& key) {
    const std::string name(key.name);
    if (key.encoding == KeyEncoding::volts) {
        append_format(out, "%s:%0.3f\r\n", name.c_str(),
                      static_cast<double>(counts_to_volts(cal.param(key.word))));
    } else {
        append_format(out, "%s:%d\r\n", name.c_str(), cal.param(key.word));
    }
}

std::string calibration_text(const Calibration& cal, Edition edition, bool with_map_axis) {
    std::string out;
    out.reserve(24 * 1024);
    for (const ConfigKey& key : config_keys()) {
        if (!key.written) continue;
        append_key_line(out, cal, key);
        if (with_map_axis && key.word == hw::MAP_BAR_HI) {
            append_key_line(out, cal, *config_key_for_word(hw::MAP_LO));
            append_key_line(out, cal, *config_key_for_word(hw::MAP_HI));
        }
    }
    for (const CalibrationSection& s : kSections) {
        if (s.full_edition_only && edition != Edition::full) continue;
        out += "\r\n";
        out += s.header;
        out += "\r\n";
        if (s.is_map) {
            for (int r = 0; r < kMapRows; ++r) {
                for (int c = 0; c < kMapCols; ++c)
                    append_format(out, "%4d  ", cal.cell(s.map, r, c));
                out += "\r\n";
            }
        } else {
            for (int i = 0; i < s.count; ++i) {
                const std::int16_t w = cal.curve_word(s.curve_offset + i);
                append_format(out, "%d\r\n",
                              s.unsigned_values ? static_cast<int>(static_cast<std::uint16_t>(w))
                                                : static_cast<int>(w));
            }
        }
        out += "[end]\r\n\r\n";
    }
    return out;
}

}  // namespace

std::string write_calibration_text(const Calibration& cal, Edition edition) {
    return calibration_text(cal, edition, false);
}

std::string write_calibration_text_with_map_axis(const Calibration& cal, Edition edition) {
    return calibration_text(cal, edition, true);
}

bool write_calibration_file(const Calibration& cal, const std::filesystem::path& path,
                            Edition edition, std::string* error) {
    return write_file_atomically(path, write_calibration_text(cal, edition), error);
}

}  // namespace veloquin
