// veloquin-tool log learn: a map learnt from a recorded log, as the program's
// "Learn from log..." review proposes it, applied whole to a calibration file.

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/startup.h"
#include "calfile/calibration_file.h"
#include "calibration/conversions.h"
#include "calibration/map_rows.h"
#include "learn/learn_maps.h"
#include "tool/commands.h"
#include "tool/edition.h"

namespace veloquin::tool {
namespace {

constexpr const char* kUsage =
    "usage: veloquin-tool log learn LOG CAL OUT [--map maf|fuel] [--json]\n"
    "         [--min-rpm N|off] [--min-temp C|off] [--max-throttle-step PERCENT|off]\n"
    "         [--settle SAMPLES|off] [--trim SECONDS|off] [--overrun AFR|off] [--max-afr AFR|off]\n"
    "         [--min-samples N] [--targets FILE | --target AFR] [--workdir DIR]\n"
    "The fuel map aims at the program's target AFR table (target-afr.txt beside workmap.cfg,\n"
    "the defaults when there is none), a table FILE, or one AFR for every cell.";

struct LearnArgs {
    std::vector<std::string> files;
    LearnMap map = LearnMap::maf;
    LearnFilters filters;
    bool json = false;
    std::string targets_file;      // --targets
    std::optional<double> target;  // --target
    std::string workdir;           // --workdir, as the program takes it
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
    if (flag == "--targets") {
        a.targets_file = value;
        return true;
    }
    if (flag == "--workdir") {
        a.workdir = value;
        return true;
    }
    if (flag == "--target") {
        const auto afr = parse_number<double>(value);
        if (!afr || *afr * 10.0 < kTargetAfrMin || *afr * 10.0 > kTargetAfrMax) {
            error = "--target takes an AFR from 9.0 to 20.0, not '" + value + "'";
            return false;
        }
        a.target = *afr;
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
    if (flag == "--overrun") return set_filter(flag, value, f.overrun_on, f.overrun_afr, error);
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
    if (out.target && !out.targets_file.empty()) {
        error = "--targets and --target exclude each other";
        return false;
    }
    return true;
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
    if (s.outside > 0) std::printf("left out: %d outside the map's axes\n", s.outside);
    for (int r = 0; r < kMapRows; ++r) {
        for (int c = 0; c < kMapCols; ++c) {
            const CellLearning& cell = l.proposal.at(r, c);
            if (cell.state != ProposalCell::refused) continue;
            std::printf("refused (leaner than AFR protect): row %d (%s) col %d (%d rpm): %s\n", r,
                        map_row_label(cal, map, r).c_str(), c, 500 * (c + 1),
                        shown_value(map, cell.value).c_str());
        }
    }
    if (s.changed_cells > 0) {
        std::printf("%4s %4s %14s %6s %10s %10s %8s %7s %7s\n", "row", "col", "load", "rpm",
                    "current", "proposed", "change", "hits", "spread");
    }
    for_changed(cal, l.proposal, [&](int r, int c, int now, const CellLearning& cell) {
        std::printf("%4d %4d %14s %6d %10s %10s %8s %7d %6.1f%%\n", r, c,
                    map_row_label(cal, map, r).c_str(), 500 * (c + 1),
                    shown_value(map, now).c_str(), shown_value(map, cell.value).c_str(),
                    change_text(cal, map, now, cell.value).c_str(), cell.hits,
                    static_cast<double>(cell.spread));
    });
    std::printf("hit counts (samples per cell, row 23 at the top, 500 rpm on the left):\n");
    for (int r = kMapRows - 1; r >= 0; --r) {
        std::printf("%4d %14s", r, map_row_label(cal, map, r).c_str());
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
        "},\n  \"outside\": %d,\n  \"min_samples\": %d,\n  \"proposed_cells\": %d,\n"
        "  \"changed_cells\": %d,\n  \"too_few_cells\": %d,\n  \"refused_cells\": %d,\n"
        "  \"refused\": [",
        s.outside, f.min_samples, s.proposed_cells, s.changed_cells, s.too_few_cells,
        s.refused_cells);
    const char* sep = "";
    for (int r = 0; r < kMapRows; ++r) {
        for (int c = 0; c < kMapCols; ++c) {
            if (l.proposal.at(r, c).state != ProposalCell::refused) continue;
            std::printf("%s{\"row\": %d, \"col\": %d, \"proposed\": %d}", sep, r, c,
                        l.proposal.at(r, c).value);
            sep = ", ";
        }
    }
    std::printf("],\n  \"cells\": [");
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

// Where the program run from here keeps workmap.cfg, so the tool reads the
// target AFR table the tuner edits there.
std::filesystem::path program_start_folder(const std::string& workdir) {
    FolderEnvironment e;
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    e.program_path = error ? std::string() : self.string();
    const std::string folder = split_path(e.program_path).folder;
    e.program_folder_writable = ::access(folder.empty() ? "." : folder.c_str(), W_OK) == 0;
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    e.xdg_data_home = xdg != nullptr ? xdg : "";
    e.home = home != nullptr ? home : "";
    e.current_directory = std::filesystem::current_path(error).string();
    e.workdir = workdir;
    return locate_files(e).start_folder;
}

// The table the fuel learning aims at; nullopt after saying why there is none.
std::optional<TargetAfrTable> chosen_targets(const LearnArgs& a, const Calibration& cal,
                                             std::string& used) {
    if (a.target) {
        char text[48];
        std::snprintf(text, sizeof text, "AFR %.1f in every cell", *a.target);
        used = text;
        return uniform_target_afr(static_cast<int>(std::lround(*a.target * 10.0)));
    }
    if (!a.targets_file.empty()) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(a.targets_file, ec)) {
            fail(a.targets_file + ": not a readable file");
            return std::nullopt;
        }
        const TargetAfrRead read = read_target_afr_file(a.targets_file, cal);
        if (!read.from_file) {
            fail(read.error);
            return std::nullopt;
        }
        used = a.targets_file;
        return read.table;
    }
    const std::filesystem::path folder = program_start_folder(a.workdir);
    const TargetAfrRead read = read_target_afr(folder, cal);
    if (!read.error.empty()) {
        std::fprintf(stderr, "veloquin-tool: %s: the default target AFR table is used\n",
                     read.error.c_str());
    }
    used = read.from_file ? (folder / kTargetAfrFile).string() : "the default target AFR table";
    return read.table;
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
    // The live box, so the learning, works on the row axes the program derives.
    derive_row_axes(cal);
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
    std::string targets_used;
    std::optional<TargetAfrTable> targets;
    if (a.map == LearnMap::fuel) {
        targets = chosen_targets(a, cal, targets_used);
        if (!targets) return kExitError;
    }
    LearnResult learnt = learn_from_log(cal, log, a.map, a.filters, targets ? &*targets : nullptr);
    if (!learnt.ok) return fail(log_path + ": " + learnt.error);
    if (a.json) {
        print_json(cal, learnt, a.filters);
    } else {
        print_text(cal, learnt, a.filters, log_path);
        if (targets) std::printf("aimed at %s\n", targets_used.c_str());
    }
    Calibration out = cal;
    apply_proposal(out, learnt.proposal, nullptr);
    if (!write_calibration_file(out, a.files[2], kEdition, &error)) return fail(error);
    return kExitOk;
}

}  // namespace veloquin::tool
