// What the map editors draw of a learnt map: the rules, read from the paint model.

#include <gtest/gtest.h>

#include <cstdio>

#include "editors/graph_editors.h"
#include "editors/learn_paint.h"
#include "tests/learn/learn_logs.h"

namespace veloquin {
namespace {

struct Painted {
    Calibration cal = testing::learning_calibration();
    EditorState state;
    LiveRecord live;
    MapProposal proposal;
    LearnView learn;

    PaintModel paint(EditorKind kind) {
        const EditorInfo& info = editor_info(kind);
        return paint_editor(kind,
                            EditorView{info.width, info.height, cal, state, live, nullptr, &learn});
    }
    // The box behind cell (r, c) and the text drawn in it, as the cell loop draws them.
    std::pair<const FillOp*, const TextOp*> cell(const PaintModel& m, EditorKind kind, int r,
                                                 int c) {
        const EditorInfo& info = editor_info(kind);
        const MapGrid g = *map_grid(kind, info.width, info.height);
        const int right = scaled(c + 1, g.width, kMapCols);
        const int top = scaled(g.rows - 1 - r, g.height, g.rows);
        const FillOp* box = nullptr;
        const TextOp* text = nullptr;
        for (const PaintOp& op : m.ops) {
            if (const auto* f = std::get_if<FillOp>(&op);
                f && f->x == right + 27 && f->w == 30 && f->y >= top && f->y <= top + 4) {
                box = f;
            }
            if (const auto* t = std::get_if<TextOp>(&op);
                t && t->at.x == right + 55 && t->at.y >= top && t->at.y <= top + 6) {
                text = t;
            }
        }
        return {box, text};
    }
};

TEST(LearnPaint, CellsShowTheProposalByDirectionAndLeaveTooFewAlone) {
    Painted p;
    p.proposal.map = MapId::fuel_correction;
    p.proposal.at(5, 5) = {12, 40, 1.0F, ProposalCell::proposed};  // 12 points richer
    p.proposal.at(6, 5) = {-3, 40, 1.0F, ProposalCell::proposed};  // leaner
    p.proposal.at(7, 5) = {0, 40, 1.0F, ProposalCell::proposed};   // the log agrees
    p.proposal.at(8, 5) = {0, 4, 0.0F, ProposalCell::too_few};
    p.learn.proposal = &p.proposal;
    const PaintModel m = p.paint(EditorKind::fuel_correction);
    const auto up = p.cell(m, EditorKind::fuel_correction, 5, 5);
    ASSERT_TRUE(up.first && up.second);
    EXPECT_EQ(up.first->color, colors::learn_up) << "10 points and more: the full colour";
    EXPECT_EQ(up.second->text, " 12");
    const auto down = p.cell(m, EditorKind::fuel_correction, 6, 5);
    EXPECT_EQ(down.first->color, learn_change_color(-3.0));
    EXPECT_NE(down.first->color, colors::learn_down);
    EXPECT_EQ(p.cell(m, EditorKind::fuel_correction, 7, 5).first->color, colors::learn_same);
    const auto few = p.cell(m, EditorKind::fuel_correction, 8, 5);
    EXPECT_EQ(few.first->color, colors::learn_too_few);
    EXPECT_EQ(few.second->color, colors::text_grey);
    EXPECT_EQ(p.cell(m, EditorKind::fuel_correction, 9, 5).first->color, colors::window_grey);
    // Not this map's proposal: the MAF emulation editor draws none of it.
    const PaintModel other = p.paint(EditorKind::map_to_maf);
    EXPECT_EQ(p.cell(other, EditorKind::map_to_maf, 5, 5).first->color, colors::window_grey);

    p.learn.hit_numbers = true;
    const PaintModel numbers = p.paint(EditorKind::fuel_correction);
    EXPECT_EQ(p.cell(numbers, EditorKind::fuel_correction, 5, 5).second->text, "40");
    EXPECT_EQ(p.cell(numbers, EditorKind::fuel_correction, 9, 5).second->text, "");
}

TEST(LearnPaint, MafSectionsDrawTheProposedCurveAndAppliedCellsAreFramed) {
    Painted p;
    p.proposal.map = MapId::map_2_maf;
    const int now = p.cal.cell(MapId::map_2_maf, 0, 3);
    p.proposal.at(0, 3) = {static_cast<std::int16_t>(now + 200), 50, 2.0F, ProposalCell::proposed};
    p.learn.proposal = &p.proposal;
    const PaintModel m = p.paint(EditorKind::map_to_maf);
    const auto polylines = std::count_if(m.ops.begin(), m.ops.end(), [](const PaintOp& op) {
        const auto* l = std::get_if<PolylineOp>(&op);
        return l != nullptr && l->pen == pens::learn_proposed;
    });
    EXPECT_EQ(polylines, 2) << "the row and the column section";
    char volts[16];
    std::snprintf(volts, sizeof volts, "%.2f", (now + 200) * 0.0012210013F);
    EXPECT_EQ(p.cell(m, EditorKind::map_to_maf, 0, 3).second->text, volts);

    Calibration before = p.cal;
    p.cal.cell(MapId::map_2_maf, 4, 4) += 10;
    p.learn = {};
    p.learn.learnt_from = &before;
    const PaintModel framed = p.paint(EditorKind::map_to_maf);
    const auto frame_fills =
        std::count_if(framed.ops.begin(), framed.ops.end(), [](const PaintOp& op) {
            const auto* f = std::get_if<FillOp>(&op);
            return f != nullptr && f->color == colors::learnt_frame;
        });
    EXPECT_EQ(frame_fills, 4) << "one frame of four edges";
}

TEST(LearnPaint, HitCountsShadeByHowOftenTheLogWasThere) {
    EXPECT_EQ(hits_shade(0, 100), colors::window_grey);
    EXPECT_EQ(hits_shade(100, 100), colors::learn_hits);
    const Rgb few = hits_shade(3, 100);
    EXPECT_NE(few, colors::window_grey);
    EXPECT_NE(few, colors::learn_hits);
    Painted p;
    HitCounts hits{};
    hits[static_cast<std::size_t>(2 * kMapCols + 1)] = 9;
    p.learn.hits = &hits;
    p.learn.most_hits = most_hits(hits);
    const PaintModel m = p.paint(EditorKind::boost_duty);
    EXPECT_EQ(p.cell(m, EditorKind::boost_duty, 2, 1).first->color, colors::learn_hits);
    EXPECT_EQ(p.cell(m, EditorKind::boost_duty, 2, 2).first->color, colors::window_grey);
}

}  // namespace
}  // namespace veloquin
