// veloquin-tool log learn: a map learnt from a recorded log, as the program's
// "Learn from log..." review proposes it, applied whole to a calibration file.

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "calfile/calibration_file.h"
#include "calibration/conversions.h"
#include "learn/learn_maps.h"
#include "tool/commands.h"
#include "tool/edition.h"

namespace veloquin::tool {
namespace {

constexpr const char* kUsage =
    "usage: veloquin-tool log learn LOG CAL OUT [--map maf|fuel] [--json]\n"
    "         [--min-rpm N|off] [--min-temp C|off] [--max-throttle-step PERCENT|off]\n"
    "         [--settle SAMPLES|off] [--trim SECONDS|off] [--max-afr AFR|off] [--min-samples N]";

struct LearnArgs {
    std::vector<std::string> files;
    LearnMap map = LearnMap::maf;
    LearnFilters filters;
    bool json = false;
};

template <typename T>
std::optional<T> parse_number(const std::string& text) {
    T v{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return v;
}

// A filter option: a value, or "off".
template <typename T>
bool set_filter(const std::string& flag, const std::string& text, bool& on, T& value,
                std::string& error) {
    if (text == "off") {
        on = false;
        return true;
    }
    const auto v = parse_number<T>(text);
    if (!v) {
        error = flag + " takes a number or 'off', not '" + text + "'";
        return false;
    }
    on = true;
    value = *v;
    return true;
}

bool parse_option(const std::string& flag, const std::string& value, LearnArgs& a,
                  std::string& error) {
    if (flag == "--map") {
        if (value != "maf" && value != "fuel") {
            error = "--map is maf or fuel, not '" + value + "'";
            return false;
        }
        a.map = value == "maf" ? LearnMap::maf : LearnMap::fuel;
        return true;
    }
    return parse_filter_option(flag, value, a.filters, error);
}

}  // namespace

bool parse_filter_option(const std::string& flag, const std::string& value, LearnFilters& f,
                         std::string& error) {
    if (flag == "--min-rpm") return set_filter(flag, value, f.min_rpm_on, f.min_rpm, error);
    if (flag == "--min-temp") {
        return set_filter(flag, value, f.min_temperature_on, f.min_temperature_c, error);
    }
    if (flag == "--max-throttle-step") {
        return set_filter(flag, value, f.throttle_step_on, f.max_throttle_step, error);
    }
    if (flag == "--settle") return set_filter(flag, value, f.settle_on, f.settle_samples, error);
    if (flag == "--trim") return set_filter(flag, value, f.trim_on, f.trim_seconds, error);
    if (flag == "--max-afr") return set_filter(flag, value, f.max_afr_on, f.max_afr, error);
    if (flag == "--min-samples") {
        bool always = true;
        return set_filter(flag, value, always, f.min_samples, error) && always;
    }
    error = "unknown option '" + flag + "'";
    return false;
}

namespace {

bool parse_args(Args args, LearnArgs& out, std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--json") {
            out.json = true;
        } else if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            if (!parse_option(a, args[++i], out, error)) return false;
        } else {
            out.files.push_back(a);
        }
    }
    if (out.files.size() != 3) {
        error = kUsage;
        return false;
    }
    return true;
}

std::string row_label(const Calibration& cal, MapId map, int row) {
    const bool by_throttle = map == MapId::fuel_correction && cal.param(hw::FLM_LOAD) == 0;
    if (by_throttle) return std::to_string(100 * row / 23) + "%";
    const int lo = cal.param(hw::MAP_LO);
    return format_map(cal, lo + (cal.param(hw::MAP_HI) - lo) * row / 23);
}

std::string shown_value(MapId map, int word) {
    char text[32];
    if (map == MapId::map_2_maf) {
        std::snprintf(text, sizeof text, "%.2f V", static_cast<double>(counts_to_volts(word)));
    } else {
        std::snprintf(text, sizeof text, "%d %%", word);
    }
    return text;
}

// How far a cell moves: airflow percent on the MAF emulation map, points of
// correction on the fuel map.
std::string change_text(const Calibration& cal, MapId map, int from, int to) {
    char text[32];
    if (map == MapId::fuel_correction) {
        std::snprintf(text, sizeof text, "%+d", to - from);
        return text;
    }
    const int a = maf_counts_to_airflow(cal, from);
    if (a <= 0) return "new";
    std::snprintf(text, sizeof text, "%+.1f%%",
                  (maf_counts_to_airflow(cal, to) / static_cast<double>(a) - 1.0) * 100.0);
    return text;
}

const char* map_name(MapId map) {
    return map == MapId::map_2_maf ? "MAP-2-MAF" : "FUEL-CORRECTION";
}

template <typename Each>
void for_changed(const Calibration& cal, const MapProposal& p, Each each) {
    for (int r = 0; r < kMapRows; ++r) {
        for (int c = 0; c < kMapCols; ++c) {
            const CellLearning& cell = p.at(r, c);
            const int now = cal.cell(p.map, r, c);
            if (cell.state == ProposalCell::proposed && cell.value != now) each(r, c, now, cell);
        }
    }
}

void print_text(const Calibration& cal, const LearnResult& l, const LearnFilters& f,
                const std::string& log_path) {
    const LearnSummary& s = l.summary;
    const MapId map = l.proposal.map;
    std::printf(
        "learnt %s from %s: %d of %d samples used; %d cells proposed, %d changed, "
        "%d with fewer than %d samples left alone\n",
        map_name(map), log_path.c_str(), s.used, s.samples, s.proposed_cells, s.changed_cells,
        s.too_few_cells, f.min_samples);
    for (int k = 1; k < kSampleFilterCount; ++k) {
        const int n = s.verdicts[static_cast<std::size_t>(k)];
        const std::string_view why = sample_filter_name(static_cast<SampleFilter>(k));
        if (n > 0) {
            std::printf("left out: %d %.*s\n", n, static_cast<int>(why.size()), why.data());
        }
    }
    if (s.changed_cells > 0) {
        std::printf("%4s %4s %10s %6s %10s %10s %8s %7s %7s\n", "row", "col", "load", "rpm",
                    "current", "proposed", "change", "hits", "spread");
    }
    for_changed(cal, l.proposal, [&](int r, int c, int now, const CellLearning& cell) {
        std::printf("%4d %4d %10s %6d %10s %10s %8s %7d %6.1f%%\n", r, c,
                    row_label(cal, map, r).c_str(), 500 * (c + 1), shown_value(map, now).c_str(),
                    shown_value(map, cell.value).c_str(),
                    change_text(cal, map, now, cell.value).c_str(), cell.hits,
                    static_cast<double>(cell.spread));
    });
    std::printf("hit counts (samples per cell, row 23 at the top, 500 rpm on the left):\n");
    for (int r = kMapRows - 1; r >= 0; --r) {
        std::printf("%4d %10s", r, row_label(cal, map, r).c_str());
        for (int c = 0; c < kMapCols; ++c)
            std::printf(" %5d", l.proposal.at(r, c).hits);
        std::printf("\n");
    }
}

// One cell to a line, so a script (and a test) can read the cells line by line.
void print_json(const Calibration& cal, const LearnResult& l, const LearnFilters& f) {
    const LearnSummary& s = l.summary;
    std::printf("{\n  \"map\": \"%s\",\n  \"samples\": %d,\n  \"used\": %d,\n",
                map_name(l.proposal.map), s.samples, s.used);
    std::printf("  \"left_out\": {");
    for (int k = 1; k < kSampleFilterCount; ++k) {
        const std::string_view why = sample_filter_name(static_cast<SampleFilter>(k));
        std::printf("%s\"%.*s\": %d", k == 1 ? "" : ", ", static_cast<int>(why.size()), why.data(),
                    s.verdicts[static_cast<std::size_t>(k)]);
    }
    std::printf(
        "},\n  \"min_samples\": %d,\n  \"proposed_cells\": %d,\n  \"changed_cells\": %d,\n"
        "  \"too_few_cells\": %d,\n  \"cells\": [",
        f.min_samples, s.proposed_cells, s.changed_cells, s.too_few_cells);
    bool first = true;
    for_changed(cal, l.proposal, [&](int r, int c, int now, const CellLearning& cell) {
        std::printf(
            "%s\n    {\"row\": %d, \"col\": %d, \"current\": %d, \"proposed\": %d, "
            "\"hits\": %d, \"spread\": %.3f}",
            first ? "" : ",", r, c, now, cell.value, cell.hits, static_cast<double>(cell.spread));
        first = false;
    });
    std::printf("%s],\n  \"hits\": [", first ? "" : "\n  ");
    for (int r = 0; r < kMapRows; ++r) {
        std::printf("%s\n    [", r == 0 ? "" : ",");
        for (int c = 0; c < kMapCols; ++c)
            std::printf("%s%d", c == 0 ? "" : ", ", l.proposal.at(r, c).hits);
        std::printf("]");
    }
    std::printf("\n  ]\n}\n");
}

}  // namespace

bool read_calibration_for_log(const std::string& path, Calibration& cal) {
    if (!std::filesystem::is_regular_file(path)) {
        fail(path + ": not a readable file");
        return false;
    }
    std::string error;
    set_start_values(cal);
    if (!read_calibration_file(cal, path, kEdition, &error)) {
        fail(error);
        return false;
    }
    // The file keeps the map's pressure range in hundredths of a bar; the
    // program derives the MAP counts of rows 0 and 23 from them when it reads
    // its parameter page back, and its live box, so its learning, uses those.
    cal.param(hw::MAP_LO) = low16(bar100_to_counts(cal, cal.param(hw::MAP_BAR_LO)));
    cal.param(hw::MAP_HI) = low16(bar100_to_counts(cal, cal.param(hw::MAP_BAR_HI)));
    return true;
}

int run_log_learn(Args args) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "help")) {
        std::printf("%s\n", kUsage);
        return kExitOk;
    }
    LearnArgs a;
    std::string error;
    if (!parse_args(args, a, error)) return fail(error);
    const std::string& log_path = a.files[0];
    const std::string& cal_path = a.files[1];
    LogBuffer log;
    if (!load_log_for_tool(log_path, log)) return kExitError;
    Calibration cal;
    if (!read_calibration_for_log(cal_path, cal)) return kExitError;
    LearnResult learnt = learn_from_log(cal, log, a.map, a.filters);
    if (!learnt.ok) return fail(log_path + ": " + learnt.error);
    if (a.json) {
        print_json(cal, learnt, a.filters);
    } else {
        print_text(cal, learnt, a.filters, log_path);
    }
    Calibration out = cal;
    apply_proposal(out, learnt.proposal, nullptr);
    if (!write_calibration_file(out, a.files[2], kEdition, &error)) return fail(error);
    return kExitOk;
}

}  // namespace veloquin::tool
