// veloquin-tool log histogram on a drive whose samples sit at the centres of
// a few fuel map cells with known AFR readings.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "calfile/calibration_file.h"
#include "tests/learn/learn_logs.h"
#include "tests/support/temp_dir.h"

namespace veloquin {
namespace {

using Cell = std::pair<int, int>;
using Grid = std::vector<std::vector<std::string>>;  // row 0 first

struct ToolRun {
    int exit_code = -1;
    std::string out, err;
};

ToolRun run_histogram(const testing::TempDir& dir, const std::vector<std::string>& args) {
    std::string command = std::string("'") + VELOQUIN_TOOL_PATH + "' log histogram";
    for (const std::string& a : args)
        command += " '" + a + "'";
    command += " > '" + (dir / "out").string() + "' 2> '" + (dir / "err").string() + "'";
    const int status = std::system(command.c_str());
    ToolRun run;
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const auto slurp = [](const std::filesystem::path& p) {
        std::ifstream in(p);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    run.out = slurp(dir / "out");
    run.err = slurp(dir / "err");
    return run;
}

// The rows of one grid of the JSON: one line per row after `"key": [`.
Grid json_grid(const std::string& json, const std::string& key) {
    Grid grid;
    std::istringstream in(json.substr(json.find("\"" + key + "\": [")));
    std::string line;
    std::getline(in, line);
    while (grid.size() < kMapRows && std::getline(in, line)) {
        std::vector<std::string> row;
        std::string item;
        std::istringstream cells(
            line.substr(line.find('[') + 1, line.find(']') - line.find('[') - 1));
        while (std::getline(cells, item, ','))
            row.push_back(item.substr(item.find_first_not_of(' ')));
        grid.push_back(row);
    }
    return grid;
}

Grid tsv_grid(const std::string& tsv) {
    Grid grid;
    std::istringstream in(tsv);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> row(1);
        for (const char c : line) {
            if (c == '\t') {
                row.emplace_back();
            } else {
                row.back() += c;
            }
        }
        grid.insert(grid.begin(), row);  // the highest row comes first
    }
    return grid;
}

TEST(LogHistogramTool, PerCellMeanMaxAndCountEqualTheHandTableAndUnreachedCellsStayEmpty) {
    testing::TempDir dir;
    const Calibration cal = testing::learning_calibration();  // fuel map over throttle
    const std::map<Cell, std::vector<float>> readings = {
        {{4, 2}, {14.0F, 14.0F, 14.0F, 15.0F}},
        {{10, 5}, {12.5F, 12.5F}},
        {{20, 9}, {13.0F, 14.0F, 16.0F}},
    };
    LogBuffer log;
    for (const auto& [cell, afrs] : readings) {
        const LiveRecord r = testing::live_record(500 * (cell.second + 1), 1500, 1000,
                                                  testing::throttle_counts_of_row(cal, cell.first));
        for (const float afr : afrs) {
            testing::append_record(log, cal, r);
            log.samples[static_cast<std::size_t>(log.count - 1)].afr = afr;
        }
    }
    ASSERT_TRUE(log_write_file(log, dir / "drive.log").ok);
    ASSERT_TRUE(write_calibration_file(cal, dir / "tuned.emu", Edition::full));
    std::vector<std::string> args = {(dir / "drive.log").string(),
                                     (dir / "tuned.emu").string(),
                                     "--map",
                                     "fuel",
                                     "--channel",
                                     "AFR",
                                     "--min-samples",
                                     "1"};
    for (const char* filter :
         {"--min-rpm", "--min-temp", "--max-throttle-step", "--settle", "--trim", "--max-afr"}) {
        args.insert(args.end(), {filter, "off"});
    }
    const auto with = [&args](std::vector<std::string> more) {
        more.insert(more.begin(), args.begin(), args.end());
        return more;
    };

    const std::map<Cell, std::array<std::string, 3>> hand = {{{4, 2}, {"14.25", "15", "4"}},
                                                             {{10, 5}, {"12.5", "12.5", "2"}},
                                                             {{20, 9}, {"14.3333", "16", "3"}}};
    const ToolRun mean = run_histogram(dir, with({"--stat", "mean", "--json"}));
    const ToolRun max = run_histogram(dir, with({"--stat", "max", "--json"}));
    const ToolRun count_tsv = run_histogram(dir, with({"--stat", "count", "--tsv"}));
    ASSERT_EQ(mean.exit_code, 0) << mean.err;
    ASSERT_EQ(max.exit_code, 0) << max.err;
    ASSERT_EQ(count_tsv.exit_code, 0) << count_tsv.err;
    EXPECT_NE(mean.out.find("\"channel\": \"AFR\""), std::string::npos);
    EXPECT_NE(max.out.find("\"stat\": \"max\""), std::string::npos);
    const Grid means = json_grid(mean.out, "cells");
    const Grid maxes = json_grid(max.out, "cells");
    const Grid hits = json_grid(mean.out, "hits");
    const Grid counts = tsv_grid(count_tsv.out);
    ASSERT_EQ(means.size(), 24u);
    ASSERT_EQ(counts.size(), 24u);
    for (int r = 0; r < kMapRows; ++r) {
        ASSERT_EQ(means[r].size(), 20u);
        ASSERT_EQ(counts[r].size(), 20u) << "row " << r;
        for (int c = 0; c < kMapCols; ++c) {
            const auto known = hand.find({r, c});
            const bool reached = known != hand.end();
            EXPECT_EQ(means[r][c], reached ? known->second[0] : "null") << r << "," << c;
            EXPECT_EQ(maxes[r][c], reached ? known->second[1] : "null") << r << "," << c;
            EXPECT_EQ(counts[r][c], reached ? known->second[2] : "") << r << "," << c;
            EXPECT_EQ(hits[r][c], reached ? known->second[2] : "0") << r << "," << c;
        }
    }

    // A condition keeps only the samples it holds for; a cell below the
    // minimum keeps its hits but shows no value.
    const ToolRun lean = run_histogram(
        dir, with({"--where", "AFR between 13.5 and 20", "--min-samples", "2", "--json"}));
    ASSERT_EQ(lean.exit_code, 0) << lean.err;
    const Grid lean_means = json_grid(lean.out, "cells");
    EXPECT_EQ(lean_means[4][2], "14.25");
    EXPECT_EQ(lean_means[10][5], "null");
    EXPECT_EQ(lean_means[20][9], "15");
    EXPECT_EQ(json_grid(lean.out, "hits")[10][5], "0");

    const ToolRun unknown = run_histogram(dir, with({"--channel", "BOGUS", "--json"}));
    EXPECT_EQ(unknown.exit_code, 2);
    EXPECT_NE(unknown.err.find("unknown channel 'BOGUS'"), std::string::npos) << unknown.err;
    const ToolRun bad = run_histogram(dir, with({"--where", "THROTTLE >> 80", "--json"}));
    EXPECT_EQ(bad.exit_code, 2);
    EXPECT_NE(bad.err.find("THROTTLE >> 80"), std::string::npos) << bad.err;
}

}  // namespace
}  // namespace veloquin
