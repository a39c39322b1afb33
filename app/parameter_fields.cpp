#include "app/parameter_fields.h"

#include "app/step_names.h"
#include "calibration/conversions.h"

namespace veloquin {

void ParameterFields::fill_all() {
    for (Page p : {Page::parameters, Page::nos_methanol, Page::boost_control, Page::ls_switches}) {
        fill_page(state_.controls, state_.cal, p);
    }
    committed_ = state_.controls;
    platform_.controls_changed();
}

void ParameterFields::commit_and_refresh_all() {
    read_back(Page::parameters);
    fill_page(state_.controls, state_.cal, Page::parameters);
    read_back(Page::nos_methanol);
    read_back(Page::boost_control);
    read_back(Page::ls_switches);
    recompute_derived_values(state_.cal, state_.edition);
    fill_page(state_.controls, state_.cal, Page::nos_methanol);
    fill_page(state_.controls, state_.cal, Page::boost_control);
    fill_page(state_.controls, state_.cal, Page::ls_switches);
    committed_ = state_.controls;
    platform_.controls_changed();
}

void ParameterFields::read_back(Page page, int skip) {
    Calibration& cal = state_.cal;
    const int lo = cal.param(hw::METH_BAR_LO);
    const int hi = cal.param(hw::METH_BAR_HI);
    const std::string notes = read_back_page(state_.controls, cal, page, skip);
    // Held like the application's notices: until the tuner's next action.
    if (!notes.empty()) {
        state_.notice = notes;
        platform_.set_lower_status(notes);
    }
    if (page == Page::parameters) return;
    recompute_derived_values(cal, state_.edition);
    // The methanol map's row axis moved: its editor must be drawn anew.
    if (page == Page::nos_methanol &&
        (cal.param(hw::METH_BAR_LO) != lo || cal.param(hw::METH_BAR_HI) != hi)) {
        state_.erase_allowance = 1;
        platform_.repaint_page();
    }
}

void ParameterFields::commit_typed(const std::function<void()>& read_back, int skip) {
    // The field still being typed into is neither read nor counted as committed.
    const auto index = static_cast<std::size_t>(skip);
    PageControls typed = state_.controls;
    if (skip >= 0) typed.values[index] = committed_.values[index];
    const std::string what = fields_step_name(typed, committed_);
    if (what.empty()) {
        read_back();
    } else {
        steps_.undoable(what, read_back);
    }
    const ControlValue kept = skip >= 0 ? committed_.values[index] : ControlValue{};
    committed_ = state_.controls;
    if (skip >= 0) committed_.values[index] = kept;
}

bool ParameterFields::touched(Page page) const {
    const auto table = control_table();
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (table[i].page == page && state_.controls.values[i].touched()) return true;
    }
    return false;
}

std::string ParameterFields::typed_step_name() const {
    return fields_step_name(state_.controls, committed_);
}

}  // namespace veloquin
