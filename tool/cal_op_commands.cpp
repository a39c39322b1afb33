// veloquin-tool cal op: the map operations of the editors applied to a
// calibration file, with the rules of the page that shows each table.

#include <charconv>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "calfile/calibration_file.h"
#include "datalogs/log_file.h"
#include "datalogs/mazda_import.h"
#include "editors/map_operations.h"
#include "editors/page_rules.h"
#include "editors/pages.h"
#include "tool/commands.h"
#include "tool/edition.h"

namespace veloquin::tool {
namespace {

constexpr const char* kUsage =
    "usage: veloquin-tool cal op smooth|extrapolate|replicate-fuel IN OUT\n"
    "       veloquin-tool cal op knock-from-log --log LOG IN OUT\n"
    "       veloquin-tool cal op interpolate --table TABLE (--rows A:B --cols C:D | --points A:B) "
    "IN OUT";

struct Range {
    int first = 0;
    int last = 0;
};

struct OpArgs {
    std::string name;
    std::vector<std::string> files;
    std::optional<std::string> table, log;
    std::optional<std::string> rows, cols, points;
};

std::optional<int> parse_int(std::string_view text) {
    int v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return v;
}

// "A:B" within 0..limit; the two ends may come in either order, as a
// selection's anchor and cursor do.
std::optional<Range> parse_range(const std::string& text, int limit, const char* what,
                                 std::string& error) {
    const auto colon = text.find(':');
    const auto a = colon == std::string::npos ? std::nullopt : parse_int(text.substr(0, colon));
    const auto b = colon == std::string::npos ? std::nullopt : parse_int(text.substr(colon + 1));
    if (!a || !b) {
        error = std::string(what) + " '" + text + "' is not of the form A:B";
        return std::nullopt;
    }
    for (int v : {*a, *b}) {
        if (v < 0 || v > limit) {
            error = std::string(what) + " " + std::to_string(v) + " is outside 0.." +
                    std::to_string(limit);
            return std::nullopt;
        }
    }
    return Range{*a, *b};
}

bool parse_args(Args args, OpArgs& out, std::string& error) {
    if (args.empty()) {
        error = kUsage;
        return false;
    }
    out.name = args[0];
    const struct {
        const char* flag;
        std::optional<std::string> OpArgs::*field;
    } options[] = {{"--table", &OpArgs::table},
                   {"--log", &OpArgs::log},
                   {"--rows", &OpArgs::rows},
                   {"--cols", &OpArgs::cols},
                   {"--points", &OpArgs::points}};
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.size() < 2 || a.compare(0, 2, "--") != 0) {
            out.files.push_back(a);
            continue;
        }
        bool known = false;
        for (const auto& o : options) {
            if (a != o.flag) continue;
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            out.*(o.field) = args[++i];
            known = true;
        }
        if (!known) {
            error = "unknown option '" + a + "'";
            return false;
        }
    }
    if (out.files.size() != 2) {
        error = kUsage;
        return false;
    }
    return true;
}

// The page that shows a table, and so whose rules "Interpolate" follows: the
// page whose own rules name that map or curve (for the temperature page, the
// curve it shows when that curve is the active one).
std::optional<Page> page_of(const CalibrationSection& s, TempCurve& active) {
    if (s.is_map) return page_of_map(s.map, kEdition);
    const auto shown = page_of_curve(s.curve_offset, kEdition);
    if (!shown) return std::nullopt;
    active = shown->curve;
    return shown->page;
}

bool select_map_range(const OpArgs& a, Page page, EditorCursor& cursor, std::string& error) {
    if (!a.rows || !a.cols || a.points) {
        error = "a map is interpolated over --rows A:B and --cols C:D";
        return false;
    }
    // The 12-row editors never reach rows 12 to 23, so neither does this.
    const int last_row = page_rules(page).twelve_rows ? kTwelveRowLimit : kMapRows - 1;
    const auto rows = parse_range(*a.rows, last_row, "row", error);
    if (!rows && last_row == kTwelveRowLimit) error += " (this map is edited in rows 0 to 11 only)";
    const auto cols = rows ? parse_range(*a.cols, kMapCols - 1, "column", error) : std::nullopt;
    if (!rows || !cols) return false;
    cursor.map_anchor_row = rows->first;
    cursor.map_cursor_row = rows->last;
    cursor.map_anchor_col = cols->first;
    cursor.map_cursor_col = cols->last;
    return true;
}

bool select_curve_range(const OpArgs& a, int points, EditorCursor& cursor, std::string& error) {
    if (!a.points || a.rows || a.cols) {
        error = "a curve is interpolated over --points A:B";
        return false;
    }
    const auto range = parse_range(*a.points, points - 1, "point", error);
    if (!range) return false;
    cursor.curve_anchor = range->first;
    cursor.curve_cursor = range->last;
    return true;
}

bool interpolate(const OpArgs& a, Calibration& cal, std::string& error) {
    if (!a.table) {
        error = "interpolate needs --table TABLE";
        return false;
    }
    const CalibrationSection* section = find_calibration_section(*a.table, kEdition);
    EditorState state;
    const auto page = section ? page_of(*section, state.active_temp_curve) : std::nullopt;
    if (!page) {
        error = "no table '" + *a.table + "' in this program's calibration";
        return false;
    }
    const bool selected = section->is_map
                              ? select_map_range(a, *page, state.cursor, error)
                              : select_curve_range(a, section->count, state.cursor, error);
    if (!selected) return false;
    interpolate_selection(state, cal, *page);
    return true;
}

bool knock_by_log(const OpArgs& a, Calibration& cal, std::string& error) {
    if (!a.log) {
        error = "knock-from-log needs --log LOG";
        return false;
    }
    LogBuffer log;
    // By its name, as the program loads it: a Mazda log read as a log file
    // gave knock voltages of whatever its numbers were.
    const LogReadResult r = load_log_by_name(log, *a.log);
    if (!r.ok) {
        error = r.message.empty() ? *a.log + ": cannot read the log" : r.message;
        return false;
    }
    if (const std::string refused = knock_log_refusal(log); !refused.empty()) {
        error = *a.log + ": " + refused;
        return false;
    }
    if (knock_from_log(cal, log) == 0) {
        error = *a.log + (log.count == 0 ? ": the log holds no samples"
                                         : ": no sample of the log lies on the knock curve");
        return false;
    }
    return true;
}

bool no_options(const OpArgs& a, std::string& error) {
    if (a.table || a.log || a.rows || a.cols || a.points) {
        error = "'" + a.name + "' takes no options";
        return false;
    }
    return true;
}

bool apply(const OpArgs& a, Calibration& cal, std::string& error) {
    if (a.name == "interpolate") return interpolate(a, cal, error);
    if (a.name == "knock-from-log") return knock_by_log(a, cal, error);
    if (!no_options(a, error)) return false;
    if (a.name == "smooth") {
        smooth_map(cal);
    } else if (a.name == "extrapolate") {
        extrapolate_boost_up(cal);
    } else if (a.name == "replicate-fuel") {
        replicate_fuel_correction(cal);
    } else {
        error = "unknown operation '" + a.name + "'\n" + kUsage;
        return false;
    }
    return true;
}

}  // namespace

int run_cal_op(Args args) {
    OpArgs a;
    std::string error;
    if (!parse_args(args, a, error)) return fail(error);
    const std::string& in = a.files[0];
    if (!std::filesystem::is_regular_file(in)) return fail(in + ": not a readable file");
    Calibration cal;
    set_start_values(cal);
    if (!read_calibration_file(cal, in, kEdition, &error)) return fail(error);
    if (!apply(a, cal, error)) return fail(error);
    if (!write_calibration_file(cal, a.files[1], kEdition, &error)) return fail(error);
    return kExitOk;
}

}  // namespace veloquin::tool
