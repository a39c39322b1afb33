// veloquin-tool cal op, run as the built program on files.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "calfile/calibration_file.h"
#include "calibration/conversions.h"
#include "datalogs/log_file.h"
#include "editors/graph_editors.h"
#include "editors/map_operations.h"
#include "tests/editors/editor_fixture.h"
#include "tests/support/temp_dir.h"

namespace veloquin {
namespace {

using testing::TempDir;

struct ToolRun {
    int exit_code;
    std::string error;
};

ToolRun run_tool(const TempDir& dir, const std::vector<std::string>& args) {
    std::string command = std::string("'") + VELOQUIN_TOOL_PATH + "' cal op";
    for (const std::string& a : args)
        command += " '" + a + "'";
    const auto err = dir / "stderr.txt";
    command += " 2> '" + err.string() + "'";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, testing::read_file(err)};
}

Calibration sample_calibration() {
    Calibration cal = testing::tuned_calibration();
    for (int r = 0; r < kMapRows; ++r) {
        for (int c = 0; c < kMapCols; ++c) {
            // A rough map with holes, so every operation has something to do.
            const int v = (r * 7 + c * 13) % 5 == 0 ? 0 : 600 + 90 * r + 40 * c + (r * c) % 37;
            cal.cell(MapId::map_2_maf, r, c) = static_cast<std::int16_t>(r < 16 ? v : 0);
            cal.cell(MapId::fuel_correction, r, c) = static_cast<std::int16_t>((r - c) % 9);
            cal.cell(MapId::boost_duty, r, c) = static_cast<std::int16_t>(r * 5);
        }
    }
    cal.curve_word(cv::KNOCK + 4) = 300;
    return cal;
}

// What the program holds after loading a file, as the tool does.
Calibration load(const std::filesystem::path& path) {
    Calibration cal;
    set_start_values(cal);
    EXPECT_TRUE(read_calibration_file(cal, path, Edition::full));
    return cal;
}

class CalOpTool : public ::testing::Test {
  protected:
    void SetUp() override {
        in = dir / "in.cfg";
        out = dir / "out.cfg";
        ASSERT_TRUE(write_calibration_file(sample_calibration(), in, Edition::full));
    }
    TempDir dir;
    std::filesystem::path in, out;
};

TEST_F(CalOpTool, WholeMapOperationsMatchTheEditors) {
    struct Case {
        const char* name;
        void (*op)(Calibration&);
    };
    for (const Case& c : {Case{"smooth", smooth_map}, Case{"extrapolate", extrapolate_boost_up},
                          Case{"replicate-fuel", replicate_fuel_correction}}) {
        const ToolRun r = run_tool(dir, {c.name, in.string(), out.string()});
        ASSERT_EQ(r.exit_code, 0) << c.name << ": " << r.error;
        Calibration expected = load(in);
        c.op(expected);
        EXPECT_EQ(load(out).maps, expected.maps) << c.name;
        EXPECT_NE(load(out).maps, load(in).maps) << c.name;
    }
}

TEST_F(CalOpTool, InterpolateFollowsTheRulesOfTheTablesPage) {
    ToolRun r = run_tool(dir, {"interpolate", "--table", "MAP-2-MAF", "--rows", "3:3", "--cols",
                               "4:0", in.string(), out.string()});
    ASSERT_EQ(r.exit_code, 0) << r.error;
    Calibration expected = load(in);
    EditorState s;
    testing::select_cells(s, 3, 0, 3, 4);
    interpolate_selection(s, expected, Page::maf_emulation);
    EXPECT_EQ(load(out).maps, expected.maps);

    // On the boost map the same selection is between rows only: nothing to fill.
    r = run_tool(dir, {"interpolate", "--table", "[BOOST-DUTY]", "--rows", "3:3", "--cols", "0:4",
                       in.string(), out.string()});
    ASSERT_EQ(r.exit_code, 0) << r.error;
    EXPECT_EQ(load(out).maps, load(in).maps);

    r = run_tool(dir, {"interpolate", "--table", "KNOCK-Sensor-Calibration", "--points", "0:4",
                       in.string(), out.string()});
    ASSERT_EQ(r.exit_code, 0) << r.error;
    EXPECT_EQ(load(out).curve_word(cv::KNOCK + 2), 150);
}

TEST_F(CalOpTool, RefusesWhatThePageWouldNotAllow) {
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const std::vector<Case> cases = {
        {{"interpolate", "--table", "BOOST-DUTY", "--rows", "0:12", "--cols", "0:3"},
         "rows 0 to 11"},
        {{"interpolate", "--table", "METH-CORRECTION", "--rows", "15:2", "--cols", "0:3"},
         "rows 0 to 11"},
        {{"interpolate", "--table", "MAP-2-MAF", "--rows", "0:24", "--cols", "0:3"}, "0..23"},
        {{"interpolate", "--table", "MAP-2-MAF", "--points", "0:3"}, "--rows"},
        {{"interpolate", "--table", "AFR-PROTECT", "--points", "0:17"}, "0..16"},
        {{"interpolate", "--table", "NO-SUCH", "--points", "0:3"}, "NO-SUCH"},
        {{"interpolate", "--table", "MAP-2-MAF", "--rows", "a:b", "--cols", "0:3"}, "A:B"},
        {{"smooth", "--table", "MAP-2-MAF"}, "takes no options"},
        {{"knock-from-log"}, "--log"},
        {{"frobnicate"}, "unknown operation"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.push_back(in.string());
        args.push_back(out.string());
        const ToolRun r = run_tool(dir, args);
        EXPECT_EQ(r.exit_code, 2) << c.args[0];
        EXPECT_NE(r.error.find(c.message), std::string::npos) << r.error;
        EXPECT_FALSE(std::filesystem::exists(out)) << r.error;
    }
    const ToolRun r = run_tool(dir, {"smooth", (dir / "missing.cfg").string(), out.string()});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(CalOpTool, KnockFromLogTakesTheHighestVoltagePerBand) {
    LogBuffer log;
    log.make_room(2);
    log.samples[0].rpm = 3000;
    log.samples[0].knock = 1.0F;
    log.samples[1].rpm = 3100;
    log.samples[1].knock = 0.5F;
    log.count = 2;
    const auto log_path = dir / "run.log";
    ASSERT_TRUE(log_write_file(log, log_path).ok);
    ToolRun r =
        run_tool(dir, {"knock-from-log", "--log", log_path.string(), in.string(), out.string()});
    ASSERT_EQ(r.exit_code, 0) << r.error;
    const Calibration result = load(out);
    EXPECT_EQ(result.curve_word(cv::KNOCK + 6), 901);
    EXPECT_EQ(result.curve_word(cv::KNOCK + 4), load(in).curve_word(cv::KNOCK + 4));  // not reached

    log.count = 0;
    ASSERT_TRUE(log_write_file(log, log_path).ok);
    std::filesystem::remove(out);
    r = run_tool(dir, {"knock-from-log", "--log", log_path.string(), in.string(), out.string()});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_NE(r.error.find("no samples"), std::string::npos) << r.error;
    EXPECT_FALSE(std::filesystem::exists(out));

    testing::write_file(dir / "trip.mdl", "40 101.3 3000 12.5 65 25.0\n50 120 4000 10 80 60\n");
    r = run_tool(
        dir, {"knock-from-log", "--log", (dir / "trip.mdl").string(), in.string(), out.string()});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_NE(r.error.find("no knock data"), std::string::npos) << r.error;
    EXPECT_FALSE(std::filesystem::exists(out));
}

// Stdout of a tool command on files of `dir`.
std::string tool_output(const TempDir& dir, const std::string& args) {
    const auto out = dir / "stdout.txt";
    const std::string command =
        std::string("'") + VELOQUIN_TOOL_PATH + "' " + args + " > '" + out.string() + "'";
    [[maybe_unused]] const int status = std::system(command.c_str());
    return testing::read_file(out);
}

// The labels the editor draws beside its rows, bottom row first.
std::vector<std::string> editor_row_labels(Calibration& cal, EditorKind kind) {
    EditorState state;
    const LiveRecord live;
    const EditorInfo& info = editor_info(kind);
    const PaintModel m = paint_editor(kind, EditorView{info.width, info.height, cal, state, live});
    const MapGrid g = *map_grid(kind, info.width, info.height);
    std::vector<std::string> labels;
    for (int r = 0; r < g.rows; ++r) {
        for (const TextOp* t : m.texts())
            if (t->at == Point{51, ((g.rows - 1 - r) * g.height) / g.rows + 4})
                labels.push_back(t->text);
    }
    return labels;
}

TEST_F(CalOpTool, ShowAndDiffLabelRowsAsTheEditorDoes) {
    Calibration file = sample_calibration();
    file.param(hw::MAP_UNITS) = 1;
    file.param(hw::MAP_BAR_LO) = -60;
    file.param(hw::MAP_BAR_HI) = 170;
    file.param(hw::METH_BAR_LO) = 20;
    file.param(hw::METH_BAR_HI) = 150;
    ASSERT_TRUE(write_calibration_file(file, in, Edition::full));
    Calibration other = file;
    for (int r = 0; r < kMapRows; ++r)
        other.cell(MapId::map_2_maf, r, 0) = static_cast<std::int16_t>(4000 - r);
    ASSERT_TRUE(write_calibration_file(other, out, Edition::full));

    // The program reads its pages back after a load: the axes in counts follow the limits.
    Calibration shown = load(in);
    shown.param(hw::MAP_LO) = low16(bar100_to_counts(shown, shown.param(hw::MAP_BAR_LO)));
    shown.param(hw::MAP_HI) = low16(bar100_to_counts(shown, shown.param(hw::MAP_BAR_HI)));
    recompute_derived_values(shown, Edition::full);
    const auto labels = editor_row_labels(shown, EditorKind::map_to_maf);
    const auto meth = editor_row_labels(shown, EditorKind::meth_correction);
    ASSERT_EQ(labels.size(), std::size_t{kMapRows});
    ASSERT_EQ(meth.size(), std::size_t{12});

    const std::string show = tool_output(dir, "cal show '" + in.string() + "'");
    const std::string diff =
        tool_output(dir, "cal diff '" + in.string() + "' '" + out.string() + "'");
    const auto shows = [&show](const std::string& label) {
        char line[64];
        std::snprintf(line, sizeof line, "\n%16s ", (label + " bar").c_str());
        return show.find(line) != std::string::npos;
    };
    for (int r = 0; r < kMapRows; ++r) {
        const std::string label = labels[static_cast<std::size_t>(r)];
        EXPECT_TRUE(shows(label)) << "MAP-2-MAF row " << r << "\n" << show;
        EXPECT_NE(diff.find("row " + std::to_string(r) + " (" + label + " bar)"), std::string::npos)
            << diff;
        if (r < 12) {
            EXPECT_TRUE(shows(meth[static_cast<std::size_t>(r)])) << "METH row " << r;
        }
    }
}

}  // namespace
}  // namespace veloquin
