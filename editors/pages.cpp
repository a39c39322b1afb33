#include "editors/pages.h"

#include <array>

namespace veloquin {
namespace {

constexpr std::array kFullOrder = {
    Page::parameters,      Page::maf_emulation,     Page::fuel_correction, Page::temp_correction,
    Page::maf_calibration, Page::knock_calibration, Page::afr_protect,     Page::nos_methanol,
    Page::ls_switches,     Page::boost_control,     Page::log_viewer,      Page::dashboard,
};

constexpr std::array kLiteOrder = {
    Page::parameters,      Page::maf_emulation,     Page::fuel_correction, Page::temp_correction,
    Page::maf_calibration, Page::knock_calibration, Page::nos_methanol,    Page::ls_switches,
    Page::boost_control,   Page::log_viewer,        Page::dashboard,
};

}  // namespace

std::string_view page_title(Page page) {
    switch (page) {
        case Page::parameters:
            return "Parameters";
        case Page::maf_emulation:
            return "MAF Emulation";
        case Page::fuel_correction:
            return "Fuel Correction";
        case Page::temp_correction:
            return "Temp. Correction";
        case Page::maf_calibration:
            return "MAF calibration";
        case Page::knock_calibration:
            return "Knock calibration";
        case Page::afr_protect:
            return "AFR Protect";
        case Page::nos_methanol:
            return "NOS/Methanol";
        case Page::ls_switches:
            return "LS Switches";
        case Page::boost_control:
            return "Boost Control";
        case Page::log_viewer:
            return "Log Viewer";
        case Page::dashboard:
            return "Dash board";
    }
    return {};
}

std::span<const Page> page_order(Edition edition) {
    if (edition == Edition::lite) return kLiteOrder;
    return kFullOrder;
}

int page_count(Edition edition) {
    return static_cast<int>(page_order(edition).size());
}

std::optional<int> page_number(Page page, Edition edition) {
    const auto order = page_order(edition);
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (order[i] == page) return static_cast<int>(i) + 1;
    }
    return std::nullopt;
}

std::optional<Page> page_at(int number, Edition edition) {
    const auto order = page_order(edition);
    if (number < 1 || number > static_cast<int>(order.size())) return std::nullopt;
    return order[static_cast<std::size_t>(number - 1)];
}

}  // namespace veloquin
