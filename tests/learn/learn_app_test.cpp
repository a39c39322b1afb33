// "Learn from log..." in the program's logic, and veloquin-tool log learn
// against it.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/application.h"
#include "app/commands.h"
#include "app/target_afr_editor.h"
#include "calfile/calibration_file.h"
#include "datalogs/log_file.h"
#include "datalogs/log_viewer.h"
#include "device/transfer.h"
#include "tests/device/scripted_device.h"
#include "tests/learn/learn_logs.h"
#include "tests/support/fake_platform.h"
#include "tests/support/temp_dir.h"

namespace veloquin {
namespace {

using testing::FakePlatform;
using testing::TempDir;

class LearnApp : public ::testing::Test {
  protected:
    // The program starts on the tuned calibration (its workmap), so start-up
    // derives the map's MAP counts from the file's pressure range, and the
    // tuner opens the same file as the one to learn into.
    void SetUp() override {
        ASSERT_TRUE(
            write_calibration_file(testing::learning_calibration(), cal_path, Edition::full));
        std::filesystem::copy_file(cal_path, dir.path() / kWorkmapFile);
        app.start(working_folders(base_folder(dir.path().string())), dir.path());
        app.create_main_window();
        testing::write_drive_log(testing::learning_calibration(), log_path);
        ASSERT_TRUE(app.open_calibration(cal_path.string()));
        app.select_page(Page::maf_emulation);
        ASSERT_TRUE(app.load_log(log_path.string()));
    }
    Calibration& cal() { return app.state().cal; }
    LearnReview& review() { return app.state().learn; }
    const MapProposal& proposal() { return review().result.proposal; }

    TempDir dir;
    std::filesystem::path cal_path = dir / "tuned.emu";
    std::filesystem::path log_path = dir / "drive.log";
    FakePlatform platform;
    Application app{platform, Edition::full};
};

TEST_F(LearnApp, ApplyIsOneStepThatUndoRestoresWordForWordAndFramesUntilTheNextChange) {
    const Calibration before = cal();
    app.command(cmd::learn_from_log);

    ASSERT_TRUE(review().active) << review().result.error;
    EXPECT_EQ(platform.pages_shown.back(), Page::maf_emulation);
    EXPECT_EQ(calibration_words(cal()), calibration_words(before)) << "a proposal changes nothing";
    const int changed = review().result.summary.changed_cells;
    ASSERT_GT(changed, 10);

    EXPECT_EQ(app.apply_learning(false), changed);
    EXPECT_FALSE(review().active) << "nothing left to apply";
    EXPECT_EQ(app.menu_entry_state(cmd::undo)->text, "Undo Learn from log\tCtrl-Z");
    int framed = 0;
    for (int r = 0; r < kMapRows; ++r) {
        for (int c = 0; c < kMapCols; ++c) {
            const CellLearning& cell = proposal().at(r, c);
            if (cell.state == ProposalCell::applied) {
                EXPECT_EQ(cal().cell(MapId::map_2_maf, r, c), cell.value);
            }
            framed += cal().cell(MapId::map_2_maf, r, c) !=
                      review().learnt_from.cell(MapId::map_2_maf, r, c);
        }
    }
    EXPECT_EQ(framed, changed);
    const LearnView shown = learn_view(review(), cal(), app.state().log, EditorKind::map_to_maf);
    EXPECT_NE(shown.learnt_from, nullptr);
    EXPECT_EQ(learn_view(review(), cal(), app.state().log, EditorKind::fuel_correction).learnt_from,
              nullptr);

    // The history folds the page switch's own normalisation of derived
    // header words into the next step; the maps come back word for word.
    app.command(cmd::undo);
    EXPECT_EQ(cal().maps, before.maps);
    EXPECT_EQ(cal().curves, before.curves);
    EXPECT_EQ(learn_view(review(), cal(), app.state().log, EditorKind::map_to_maf).learnt_from,
              nullptr);
    app.command(cmd::redo);
    EXPECT_EQ(learn_view(review(), cal(), app.state().log, EditorKind::map_to_maf).learnt_from,
              nullptr)
        << "the frames ended with the change after the apply";
}

TEST_F(LearnApp, ApplySelectionTakesItsCellsAndTheReviewGoesOn) {
    app.command(cmd::learn_from_log);
    ASSERT_TRUE(review().active);
    // The selection: the first cell the proposal would change, and the cell above.
    int row = -1, col = -1;
    for (int k = 0; k < kMapCells && row < 0; ++k) {
        const CellLearning& cell = proposal().cells[static_cast<std::size_t>(k)];
        if (cell.state == ProposalCell::proposed &&
            cell.value != cal().map(MapId::map_2_maf)[static_cast<std::size_t>(k)]) {
            row = k / kMapCols;
            col = k % kMapCols;
        }
    }
    ASSERT_GE(row, 0);
    EditorCursor& cursor = app.state().editor.cursor;
    cursor.map_anchor_row = row;
    cursor.map_cursor_row = std::min(row + 1, kMapRows - 1);
    cursor.map_anchor_col = cursor.map_cursor_col = col;
    const int waiting = pending_cells(proposal());
    const std::size_t steps = app.history().undo_count();
    const Calibration before = cal();
    EXPECT_GE(app.apply_learning(true), 1);
    EXPECT_TRUE(review().active);
    EXPECT_LT(pending_cells(proposal()), waiting);
    for (int r = 0; r < kMapRows; ++r) {
        for (int c = 0; c < kMapCols; ++c) {
            const bool inside = c == col && (r == row || r == cursor.map_cursor_row);
            if (inside) continue;
            EXPECT_EQ(cal().cell(MapId::map_2_maf, r, c), before.cell(MapId::map_2_maf, r, c));
        }
    }
    app.discard_learning();
    EXPECT_FALSE(review().active);
    EXPECT_EQ(app.history().undo_count(), steps + 1);
}

TEST_F(LearnApp, WithoutALoadedLogAFileIsAskedForAndABadOneIsRefused) {
    app.state().log.count = 0;
    platform.file_choices.push_back((dir / "missing.log").string());
    app.command(cmd::learn_from_log);
    ASSERT_EQ(platform.dialogs.size(), 1u);
    EXPECT_EQ(platform.dialogs.back().title, "Learn from log");
    EXPECT_FALSE(review().active);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages.back().caption, "Error");

    platform.file_choices.push_back(log_path.string());
    app.command(cmd::learn_from_log);
    EXPECT_TRUE(review().active);
    EXPECT_EQ(review().log_name, "drive.log");
    EXPECT_EQ(app.state().log.count, 0) << "the loaded log stays as it was";
}

TEST_F(LearnApp, LearningReadsTheTargetFileAndABadOneIsSaidAndTheDefaultsUsed) {
    ASSERT_TRUE(write_target_afr(dir.path(), uniform_target_afr(130), nullptr));
    app.command(cmd::learn_from_log);
    EXPECT_EQ(review().targets, uniform_target_afr(130));
    testing::write_file(dir / std::string(kTargetAfrFile), "13.0 13.0\n");
    app.discard_learning();
    app.command(cmd::learn_from_log);
    EXPECT_EQ(review().targets, default_target_afr(cal()));
    EXPECT_NE(platform.last_lower().find("target-afr.txt: line 1: 2 values, not 20"),
              std::string::npos)
        << platform.last_lower();
}

KeyPress press(int code, bool shift = false, bool ctrl = false, std::string text = {}) {
    return KeyPress{code, std::move(text), ctrl, shift, false};
}

// The map's keys and history on the target table; each change is in the file
// at once, undo and redo walk the same steps, "Replicate" is not offered.
TEST(TargetAfrEditor, TheFuelMapsEditingWritesTheFileAndUndoRedoWalkIt) {
    TempDir dir;
    FakePlatform platform;
    const Calibration cal = testing::learning_calibration();
    TargetAfrEditor editor;
    EXPECT_FALSE(editor.open(dir.path(), cal).from_file);
    EXPECT_EQ(editor.table(), default_target_afr(cal));
    const TargetAfrTable defaults = editor.table();
    const auto key = [&](const KeyPress& k) { return editor.key(k, false, platform); };
    // Row 0, columns 0 to 2: stepped, held at the top, undone to the defaults.
    key(press(keycode::right, true));
    key(press(keycode::right, true));
    EXPECT_TRUE(key(press(keycode::page_up)).changed);
    EXPECT_TRUE(key(press(0, false, false, "+")).changed);
    const TargetAfrTable stepped = editor.table();
    EXPECT_EQ(stepped.afr10[2] - defaults.afr10[2], 2);
    EXPECT_EQ(TargetAfrEditor().open(dir.path(), cal).table, stepped) << "written at once";
    for (int i = 0; i < 200; ++i)
        key(press(keycode::page_up));
    EXPECT_EQ(editor.table().afr10[1], kTargetAfrMax);
    while (editor.undo_steps() > 0)
        key(press('Z', false, true));
    EXPECT_EQ(editor.table(), defaults);
    key(press('Y', false, true));
    key(press('Y', false, true));
    EXPECT_EQ(editor.table(), stepped);

    key(press('R', false, true));
    EXPECT_EQ(editor.table(), stepped) << "Replicate Fuel Correction is not offered";
    EXPECT_EQ(editor.save_error(), "");
}

TEST(LearnUpload, AppliedLearningGoesToTheDeviceWithTheNextUpload) {
    TempDir dir;
    FakePlatform platform;
    testing::ScriptedDevice device;
    const Calibration tuned = testing::learning_calibration();
    for (const Block b : kBlockOrder)
        device.downloads[download_code(b)] = encode_block(tuned, b);
    device.attach(platform.ports[1]);
    Application app(platform, Edition::full);
    app.start(working_folders(base_folder(dir.path().string())), dir.path());
    app.create_main_window();
    for (int i = 0; i < 3 && !app.state().link.connected; ++i)
        app.poll_tick();
    ASSERT_TRUE(app.state().link.connected);
    const auto drive = dir / "drive.log";
    testing::write_drive_log(app.state().cal, drive);
    ASSERT_TRUE(app.load_log(drive.string()));
    app.command(cmd::learn_from_log);
    auto ticks = [&](int n) {
        for (int i = 0; i < n; ++i) {
            platform.clock_ms += 20;  // the poll's timer
            app.poll_tick();
        }
    };
    ticks(60);
    EXPECT_TRUE(device.upload_codes.empty()) << "a proposal alone changes nothing";
    ASSERT_GT(app.apply_learning(false), 0);
    ticks(60);
    EXPECT_EQ(device.upload_codes, std::vector<std::uint8_t>{upload_code(Block::e_map)});
}

struct ToolCell {
    int row, col, current, proposed, hits;
};

std::vector<ToolCell> run_tool_json(const TempDir& dir, const std::vector<std::string>& args,
                                    int& exit_code) {
    std::string command = std::string("'") + VELOQUIN_TOOL_PATH + "' log learn";
    for (const std::string& a : args)
        command += " '" + a + "'";
    command += " --json > '" + (dir / "out.json").string() + "'";
    const int status = std::system(command.c_str());
    exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::vector<ToolCell> cells;
    std::FILE* f = std::fopen((dir / "out.json").c_str(), "r");
    if (f == nullptr) return cells;
    char line[512];
    while (std::fgets(line, sizeof line, f) != nullptr) {
        ToolCell c{};
        if (std::sscanf(
                line, " {\"row\": %d, \"col\": %d, \"current\": %d, \"proposed\": %d, \"hits\": %d",
                &c.row, &c.col, &c.current, &c.proposed, &c.hits) == 5) {
            cells.push_back(c);
        }
    }
    std::fclose(f);
    return cells;
}

TEST_F(LearnApp, ToolOutputEqualsTheProgramsProposal) {
    app.command(cmd::learn_from_log);
    ASSERT_TRUE(review().active);
    for (const LearnMap map : {LearnMap::maf, LearnMap::fuel}) {
        LearnFilters filters;
        filters.min_samples = 15;
        app.change_learning(map, filters);
        const MapId id = learnt_map(map);
        const auto out = dir / "learnt.emu";
        int exit_code = 0;
        const auto cells =
            run_tool_json(dir,
                          {log_path.string(), cal_path.string(), out.string(), "--map",
                           map == LearnMap::maf ? "maf" : "fuel", "--min-samples", "15"},
                          exit_code);
        ASSERT_EQ(exit_code, 0);
        ASSERT_EQ(static_cast<int>(cells.size()), review().result.summary.changed_cells);
        ASSERT_GT(cells.size(), 3u);
        for (const ToolCell& c : cells) {
            const CellLearning& mine = proposal().at(c.row, c.col);
            EXPECT_EQ(c.proposed, mine.value) << c.row << "," << c.col;
            EXPECT_EQ(c.hits, mine.hits);
            EXPECT_EQ(c.current, cal().cell(id, c.row, c.col));
        }
        const Calibration before = cal();
        app.apply_learning(false);
        Calibration written;
        set_start_values(written);
        ASSERT_TRUE(read_calibration_file(written, out, Edition::full));
        EXPECT_EQ(written.map(id), cal().map(id));
        app.command(cmd::undo);
        EXPECT_EQ(cal().maps, before.maps);
        app.command(cmd::learn_from_log);
    }
}

// Every reader stopped at 60,000 samples, so most of a long drive could be
// neither converted, learnt from nor seen.
TEST_F(LearnApp, ALongLogIsReadConvertedLearntAndShownWhole) {
    constexpr int kSamples = 600000;
    constexpr int kLateRow = 18;
    const Calibration& learning = testing::learning_calibration();
    LogBuffer log;
    for (int i = 0; i < kSamples; ++i) {
        // Only the last 5 % reach the high rows, and only they run lean.
        const bool late = i >= kSamples - kSamples / 20;
        const int row = late ? kLateRow : 4;
        const int map = testing::map_counts_of_row(learning, row);
        testing::append_record(
            log, learning,
            testing::live_record(late ? 5000 : 2000, map, map / 2 + 600,
                                 testing::throttle_counts_of_row(learning, row)));
        LogSample& s = log.samples[static_cast<std::size_t>(i)];
        s.temperature = 30;
        s.afr = late ? 15.1F : 14.0F;
    }
    const auto long_log = dir / "long.log";
    ASSERT_TRUE(log_write_file(log, long_log).ok);
    auto tool = [&](const std::string& args) {
        const std::string command = std::string("'") + VELOQUIN_TOOL_PATH + "' " + args + " > '" +
                                    (dir / "tool.txt").string() + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << args;
        return testing::read_file(dir / "tool.txt");
    };
    EXPECT_NE(tool("log stats '" + long_log.string() + "'").find("samples: 600000\n"),
              std::string::npos);
    // Reading changes nothing: the log converted to a log is the same file.
    tool("log convert '" + long_log.string() + "' '" + (dir / "copy.log").string() + "'");
    EXPECT_TRUE(testing::read_file(dir / "copy.log") == testing::read_file(long_log));
    const std::string csv =
        (tool("log convert '" + long_log.string() + "' '" + (dir / "long.csv").string() + "'"),
         testing::read_file(dir / "long.csv"));
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), kSamples + 1);

    int exit_code = -1;
    const auto cells = run_tool_json(
        dir, {long_log.string(), cal_path.string(), (dir / "learnt.emu").string(), "--map", "fuel"},
        exit_code);
    ASSERT_EQ(exit_code, 0);
    EXPECT_TRUE(std::any_of(cells.begin(), cells.end(), [](const ToolCell& c) {
        return std::abs(c.row - kLateRow) <= 1 && c.hits > 0;
    })) << "the region only the end of the log visits";

    ASSERT_TRUE(app.load_log(long_log.string()));
    LogBuffer& shown = app.state().log;
    ASSERT_EQ(shown.count, kSamples);
    shown.flags.fill(false);
    shown.set_visible(LogChannel::rpm, true);
    LogViewerCache cache;
    const PaintModel m = paint_log_viewer(shown, app.state().log_view, cache);
    const auto curve = std::find_if(m.ops.begin(), m.ops.end(), [](const PaintOp& op) {
        return std::holds_alternative<PolylineOp>(op);
    });
    ASSERT_NE(curve, m.ops.end());
    const auto& points = std::get<PolylineOp>(*curve).points;
    const int right = kLogPlotLeft + log_plot_width(app.state().log_view) - 1;
    EXPECT_EQ(points.back().x, right) << "the last sample at the right end of the band";
    const int top = std::min_element(points.begin(), points.end(), [](Point a, Point b) {
                        return a.y < b.y;
                    })->y;
    EXPECT_EQ(points.back().y, top) << "the late, higher rpm drawn at the end";
}

}  // namespace
}  // namespace veloquin
