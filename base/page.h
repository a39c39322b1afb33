#pragma once
// The pages of the main window, by name. Code never refers to a page by its
// number: the lite program drops "AFR Protect" and numbers every later page
// one lower (editors/pages.h maps names to numbers per edition).

namespace veloquin {

enum class Page {
    parameters,
    maf_emulation,
    fuel_correction,
    temp_correction,
    maf_calibration,
    knock_calibration,
    afr_protect,
    nos_methanol,
    ls_switches,
    boost_control,
    log_viewer,
    dashboard,
};

}  // namespace veloquin
