// veloquin-tool log histogram: a channel of a recorded log gathered onto the
// cells of a map, as the program's "Log histogram..." window shows it.

#include <cstdio>
#include <string>
#include <vector>

#include "learn/log_histogram.h"
#include "tool/commands.h"

namespace veloquin::tool {
namespace {

constexpr const char* kUsage =
    "usage: veloquin-tool log histogram LOG CAL --map maf|fuel|meth|boost --channel NAME\n"
    "         [--stat mean|count|min|max|spread] [--where \"EXPR\"]... (--json | --tsv)\n"
    "         [--min-rpm N|off] [--min-temp C|off] [--max-throttle-step PERCENT|off]\n"
    "         [--settle SAMPLES|off] [--trim SECONDS|off] [--max-afr AFR|off] [--min-samples N]\n"
    "  EXPR: CHANNEL < <= > >= = != NUMBER, or CHANNEL between A and B";

struct HistogramArgs {
    std::vector<std::string> files;
    HistogramRequest request;
    bool have_map = false;
    bool have_channel = false;
    char format = 0;  // 'j' or 't'
};

bool parse_map(const std::string& value, MapId& map, std::string& error) {
    constexpr std::pair<const char*, MapId> kMaps[] = {{"maf", MapId::map_2_maf},
                                                       {"fuel", MapId::fuel_correction},
                                                       {"meth", MapId::meth_correction},
                                                       {"boost", MapId::boost_duty}};
    for (const auto& [name, id] : kMaps) {
        if (value == name) {
            map = id;
            return true;
        }
    }
    error = "--map is maf, fuel, meth or boost, not '" + value + "'";
    return false;
}

bool parse_option(const std::string& flag, const std::string& value, HistogramArgs& a,
                  std::string& error) {
    HistogramRequest& r = a.request;
    if (flag == "--map") return a.have_map = parse_map(value, r.map, error);
    if (flag == "--channel") {
        const auto channel = find_analysis_channel(value);
        if (!channel) {
            error = "unknown channel '" + value + "' (log histogram --help lists them)";
            return false;
        }
        r.channel = *channel;
        return a.have_channel = true;
    }
    if (flag == "--stat") {
        const auto stat = find_histogram_stat(value);
        if (!stat) error = "--stat is mean, count, min, max or spread, not '" + value + "'";
        if (stat) r.stat = *stat;
        return stat.has_value();
    }
    if (flag == "--where") {
        ConditionParse parsed = parse_condition(value);
        if (!parsed.condition) error = parsed.error;
        if (parsed.condition) r.conditions.push_back(std::move(*parsed.condition));
        return parsed.condition.has_value();
    }
    return parse_filter_option(flag, value, r.filters, error);
}

bool parse_args(Args args, HistogramArgs& out, std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--json" || a == "--tsv") {
            if (out.format != 0 && out.format != a[2]) {
                error = "--json and --tsv exclude each other";
                return false;
            }
            out.format = a[2];
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
    if (out.files.size() != 2 || !out.have_map || !out.have_channel || out.format == 0) {
        error = kUsage;
        return false;
    }
    return true;
}

void print_help() {
    std::printf("%s\n  channels:", kUsage);
    for (const AnalysisChannel& c : analysis_channels()) {
        const std::string_view name = c.name();
        const bool blank = name.find(' ') != std::string_view::npos;
        std::printf(blank ? " \"%.*s\"" : " %.*s", static_cast<int>(name.size()), name.data());
    }
    std::printf("\n  (INJ.PULSE, R/S and \"AFR error %%\" against O2FB_Target are computed)\n");
}

template <typename Cell>
void print_grid(const char* key, Cell cell) {
    std::printf("  \"%s\": [", key);
    for (int r = 0; r < kMapRows; ++r) {
        std::printf("%s\n    [", r == 0 ? "" : ",");
        for (int c = 0; c < kMapCols; ++c)
            std::printf("%s%s", c == 0 ? "" : ", ", cell(r, c).c_str());
        std::printf("]");
    }
    std::printf("\n  ]");
}

void print_json(const Histogram& h, const HistogramRequest& r) {
    const std::string_view channel = r.channel.name();
    const std::string_view stat = histogram_stat_name(r.stat);
    std::printf("{\n  \"map\": \"%s\",\n  \"channel\": \"%.*s\",\n  \"stat\": \"%.*s\",\n",
                map_table_name(h.map), static_cast<int>(channel.size()), channel.data(),
                static_cast<int>(stat.size()), stat.data());
    std::printf("  \"samples\": %d,\n  \"min_samples\": %d,\n  \"left_out\": {", h.samples,
                h.min_samples);
    for (int k = 1; k < kSampleFilterCount; ++k) {
        const std::string_view why = sample_filter_name(static_cast<SampleFilter>(k));
        std::printf("\"%.*s\": %d, ", static_cast<int>(why.size()), why.data(),
                    h.left_out.verdicts[static_cast<std::size_t>(k)]);
    }
    std::printf(
        "\"conditions\": %d, \"no value\": %d, \"outside the map\": %d, "
        "\"cells with too few samples\": %d},\n",
        h.left_out.conditions, h.left_out.no_value, h.outside, h.too_few_cells);
    print_grid("cells", [&h](int row, int col) {
        if (!h.reached(row, col) || h.too_few(row, col)) return std::string("null");
        char text[40];
        std::snprintf(text, sizeof text, "%.6g", h.at(row, col));
        return std::string(text);
    });
    std::printf(",\n");
    print_grid("hits",
               [&h](int row, int col) { return std::to_string(hits_at(h.hits, row, col)); });
    std::printf("\n}\n");
}

}  // namespace

int run_log_histogram(Args args) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "help")) {
        print_help();
        return kExitOk;
    }
    HistogramArgs a;
    std::string error;
    if (!parse_args(args, a, error)) return fail(error);
    LogBuffer log;
    if (!load_log_for_tool(a.files[0], log)) return kExitError;
    Calibration cal;
    if (!read_calibration_for_log(a.files[1], cal)) return kExitError;
    const Histogram h = log_histogram(cal, log, a.request, afr_target_of(cal));
    if (!h.ok) return fail(a.files[0] + ": " + h.error);
    if (a.format == 'j') {
        print_json(h, a.request);
    } else {
        // A twelve-row map still prints the 24 lines, the upper twelve empty.
        std::string text;
        for (int row = map_rows(h.map); row < kMapRows; ++row)
            text += std::string(kMapCols - 1, '\t') + "\n";
        text += histogram_grid_text(h, '\t', true);
        std::fputs(text.c_str(), stdout);
    }
    return kExitOk;
}

}  // namespace veloquin::tool
