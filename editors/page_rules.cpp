#include "editors/page_rules.h"

#include <algorithm>
#include <array>

namespace veloquin {
namespace {

constexpr StepRule kNoStep{};

constexpr PageRules kRules[] = {
    {Page::parameters, TableKind::none, MapId::map_2_maf, 0, 0, false, false, false, false, kNoStep,
     Interpolation::none},
    {Page::maf_emulation,
     TableKind::map,
     MapId::map_2_maf,
     0,
     0,
     false,
     false,
     true,
     false,
     {StepKind::clamped, 5, StepKind::clamped, 0, 0, 4095},
     Interpolation::airflow_2d},
    {Page::fuel_correction,
     TableKind::map,
     MapId::fuel_correction,
     0,
     0,
     false,
     false,
     true,
     false,
     {StepKind::conditional, 1, StepKind::conditional, 1, -75, 200},
     Interpolation::plain_2d},
    {Page::temp_correction,
     TableKind::curve,
     MapId::map_2_maf,
     cv::IAT_SENSOR,
     cv::IAT_SENSOR_POINTS,
     false,
     false,
     false,
     false,
     {StepKind::unlimited, 1, StepKind::unlimited, 1, 0, 0},
     Interpolation::curve_1d},
    {Page::maf_calibration,
     TableKind::curve,
     MapId::map_2_maf,
     cv::MAF_SENSOR,
     cv::MAF_SENSOR_POINTS,
     true,
     false,
     false,
     true,
     {StepKind::maf_unsigned, 1, StepKind::maf_unsigned, 32, 0, 32768},
     Interpolation::curve_1d},
    {Page::knock_calibration,
     TableKind::curve,
     MapId::map_2_maf,
     cv::KNOCK,
     cv::KNOCK_POINTS,
     false,
     false,
     false,
     false,
     {StepKind::conditional, 1, StepKind::clamped, 32, 0, 4095},
     Interpolation::curve_1d},
    {Page::afr_protect,
     TableKind::curve,
     MapId::map_2_maf,
     cv::AFR_PROTECT,
     cv::AFR_PROTECT_POINTS,
     false,
     false,
     false,
     false,
     {StepKind::conditional, 1, StepKind::clamped, 5, 100, 150},
     Interpolation::curve_1d},
    {Page::nos_methanol,
     TableKind::map,
     MapId::meth_correction,
     0,
     0,
     false,
     true,
     false,
     false,
     {StepKind::conditional, 1, StepKind::conditional, 1, -75, 200},
     Interpolation::plain_2d},
    {Page::ls_switches, TableKind::none, MapId::map_2_maf, 0, 0, false, false, false, false,
     kNoStep, Interpolation::none},
    {Page::boost_control,
     TableKind::map,
     MapId::boost_duty,
     0,
     0,
     false,
     true,
     false,
     false,
     {StepKind::conditional, 1, StepKind::conditional, 1, 0, 100},
     Interpolation::rows_only},
    {Page::log_viewer, TableKind::none, MapId::map_2_maf, 0, 0, false, false, false, false, kNoStep,
     Interpolation::none},
    {Page::dashboard, TableKind::none, MapId::map_2_maf, 0, 0, false, false, false, false, kNoStep,
     Interpolation::none},
};

}  // namespace

const PageRules& page_rules(Page page) {
    for (const PageRules& r : kRules) {
        if (r.page == page) return r;
    }
    return kRules[0];
}

CurveRef page_curve(Page page, TempCurve active) {
    const PageRules& r = page_rules(page);
    if (page == Page::temp_correction && active == TempCurve::correction) {
        return {cv::IAT_CORRECTION, cv::IAT_CORRECTION_POINTS};
    }
    return {r.curve_offset, r.curve_points};
}

std::optional<Page> page_of_map(MapId map, Edition edition) {
    for (const Page page : page_order(edition)) {
        const PageRules& rules = page_rules(page);
        if (rules.kind == TableKind::map && rules.map == map) return page;
    }
    return std::nullopt;
}

std::optional<CurvePage> page_of_curve(int curve_offset, Edition edition) {
    for (const Page page : page_order(edition)) {
        if (page_rules(page).kind != TableKind::curve) continue;
        for (const TempCurve curve : {TempCurve::sensor, TempCurve::correction}) {
            if (page_curve(page, curve).offset == curve_offset) return CurvePage{page, curve};
        }
    }
    return std::nullopt;
}

void limit_rows_for_page(EditorCursor& cursor, Page page) {
    if (!page_rules(page).twelve_rows) return;
    cursor.map_cursor_row = std::min(cursor.map_cursor_row, kTwelveRowLimit);
    cursor.map_anchor_row = std::min(cursor.map_anchor_row, kTwelveRowLimit);
}

void limit_curve_for_page(EditorCursor& cursor, Page page, TempCurve active) {
    if (page_rules(page).kind != TableKind::curve) return;
    const int last = page_curve(page, active).points - 1;
    cursor.curve_cursor = std::clamp(cursor.curve_cursor, 0, last);
    cursor.curve_anchor = std::clamp(cursor.curve_anchor, 0, last);
}

}  // namespace veloquin
