#pragma once
// Learning the two main maps from a recorded log, reviewed before anything
// changes.
//
// MAP-2-MAF: the log is replayed through the automapping step: each sample's
// live box (the cells trace would select) takes the sample's airflow estimate
// into a running mean that starts from the cell's value as ten estimates, so
// the proposal is what live automapping would have learnt from the same
// records.
//
// FUEL-CORRECTION: the samples reaching a cell (the live box of the fuel
// correction page, over throttle or MAP as FLM_LOAD chooses) give its mean
// AFR; the proposal is the correction that brings that mean to the cell's
// target AFR, (100 + current) x AFR / target - 100, within the map's -75..200.
// A proposal whose expected AFR is leaner than the AFR protect curve allows
// at the cell's pressure (its row's on a map over MAP, the mean of its
// samples' on a map over throttle) is refused.
//
// Samples whose operating point lies outside the map's axes teach nothing.

#include <string>

#include "base/live_record.h"
#include "calibration/calibration.h"
#include "datalogs/log_sample.h"
#include "editors/editor_state.h"
#include "editors/map_proposal.h"
#include "learn/learn_filters.h"
#include "learn/target_afr.h"

namespace veloquin {

enum class LearnMap { maf, fuel };
MapId learnt_map(LearnMap map);

inline constexpr int kFuelCorrectionMin = -75;
inline constexpr int kFuelCorrectionMax = 200;

struct LearnSummary {
    int samples = 0;          // in the log
    FilterCounts verdicts{};  // how many each filter left out; [kept] those it kept
    int used = 0;             // kept samples that reached at least one cell
    int outside = 0;          // kept samples outside the map's axes, which teach no cell
    int proposed_cells = 0;
    int changed_cells = 0;  // proposed with a value other than the current one
    int too_few_cells = 0;
    int refused_cells = 0;  // leaner than AFR protect
};

struct LearnResult {
    bool ok = false;
    std::string error;  // why nothing could be learnt
    MapProposal proposal;
    LearnSummary summary;
};

// Learns `map` from the valid samples of `log` against `cal` as it is now;
// the fuel map aims at `targets`, the default table when null.
LearnResult learn_from_log(const Calibration& cal, const LogBuffer& log, LearnMap map,
                           const LearnFilters& filters, const TargetAfrTable* targets = nullptr);

// The AFR a cell is expected to run at with `proposed` in place of
// `current`, from the mean AFR it ran at: the injected fuel scales with
// (100 + correction).
double expected_afr(double mean_afr, int current, int proposed);

// The samples the filters keep that reach each cell of every map: the two
// main maps by their live box, the twelve-row maps by the same rule over
// their own rows (MAP between the methanol pressure limits, throttle).
MapHitCounts hit_counts(const Calibration& cal, const LogBuffer& log, const LearnFilters& filters);

// The cells of `map` a replayed sample reaches, by the rule the hit counts
// use; empty (last before first) where it reaches none.
struct CellBox {
    int r0 = 0, r1 = -1, c0 = 0, c1 = -1;
};
CellBox reached_cells(const Calibration& cal, const LiveRecord& live, MapId map);

// Writes the proposed cells into the calibration, all of them or those inside
// the selection rectangle (first/last row and column as update_selection
// derives them); they are marked applied. Returns how many words changed.
int apply_proposal(Calibration& cal, MapProposal& proposal, const EditorCursor* selection);

// Cells still waiting to be applied.
int pending_cells(const MapProposal& proposal);

}  // namespace veloquin
