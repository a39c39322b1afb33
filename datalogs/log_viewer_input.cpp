// The log viewer's input: the cursor and the marked range under the mouse,
// kept on their samples across zoom and pan, and the right-click menus that
// switch the channels' bands.

#include <algorithm>

#include "datalogs/log_viewer.h"
#include "datalogs/log_zoom.h"

namespace veloquin {

namespace {

struct MenuSlot {
    bool separator;
    LogChannel channel;
};
constexpr MenuSlot sep() {
    return {true, LogChannel::rpm};
}
constexpr MenuSlot item(LogChannel c) {
    return {false, c};
}

using C = LogChannel;
constexpr std::array<MenuSlot, 20> kLogMenu = {
    item(C::rpm),         item(C::boost), item(C::fuel_corr),     item(C::maf_in),
    item(C::maf_out),     sep(),          item(C::throttle),      item(C::temperature),
    item(C::afr),         item(C::speed), item(C::inj_duty),      item(C::inj_pulse),
    item(C::wg_duty),     sep(),          item(C::rpm_per_speed), item(C::knock),
    item(C::ls_switches), sep(),          item(C::ecu_load),      item(C::ecu_ignition),
};
constexpr std::array<MenuSlot, 6> kMazdaMenu = {
    item(C::rpm),    item(C::boost),       item(C::throttle),
    item(C::maf_in), item(C::temperature), item(C::fuel_corr),
};

bool inside_plot(const LogView& view, int plot_x) {
    return plot_x > 0 && plot_x < log_plot_width(view);
}

// The range the mouse set cursor and anchor in.
SampleRange marked_range(const LogBuffer& log) {
    return resolve_range({log.marked_view_first, log.marked_view_count}, log.count);
}

void mark_in(LogBuffer& log, const LogView& view) {
    const SampleRange shown = shown_range(view, log.count);
    const bool zoomed = shown.count < log.count;
    log.marked_view_first = zoomed ? shown.first : 0;
    log.marked_view_count = zoomed ? shown.count : 0;
}

// The plot column of sample `index` in the range `shown`; outside the plot
// (below 0 or beyond Wp) for a sample out of view.
int column_in(SampleRange shown, int index, int plot_width) {
    return sample_column(index - shown.first, shown.count, plot_width);
}

}  // namespace

void derive_log_cursor(LogBuffer& log, const LogView& view) {
    const int wp = log_plot_width(view);
    const SampleRange marked = marked_range(log);
    auto index = [&](int px) {
        // A window narrower than 61 pixels has no plot to divide by.
        if (wp <= 0 || marked.count == 0) return 0;
        const auto offset = static_cast<int>(std::int64_t{px} * marked.count / wp);
        return std::clamp(marked.first + offset, 0, log.count - 1);
    };
    log.cursor_index = index(log.cursor_px);
    log.anchor_index = index(log.anchor_px);
    log.sel_first = std::min(log.anchor_index, log.cursor_index);
    log.sel_last = std::max(log.anchor_index, log.cursor_index);
    const SampleRange shown = shown_range(view, log.count);
    if (shown == marked) {
        log.sel_left_px = std::min(log.anchor_px, log.cursor_px);
        log.sel_right_px = std::max(log.anchor_px, log.cursor_px);
    } else {
        log.sel_left_px = column_in(shown, log.sel_first, wp);
        log.sel_right_px = column_in(shown, log.sel_last, wp);
    }
}

bool log_viewer_press(LogBuffer& log, const LogView& view, int mouse_x) {
    derive_log_cursor(log, view);
    const int x = mouse_x - kLogPlotLeft;
    if (!inside_plot(view, x)) return false;
    log.cursor_px = x;
    log.anchor_px = x;
    mark_in(log, view);
    derive_log_cursor(log, view);
    return true;
}

bool log_viewer_drag(LogBuffer& log, const LogView& view, int mouse_x) {
    derive_log_cursor(log, view);
    const int x = mouse_x - kLogPlotLeft;
    if (!inside_plot(view, x)) return false;
    const SampleRange shown = shown_range(view, log.count);
    if (marked_range(log) != shown) {
        log.anchor_px = column_in(shown, log.anchor_index, log_plot_width(view));
        mark_in(log, view);
    }
    log.cursor_px = x;
    derive_log_cursor(log, view);
    return true;
}

void log_viewer_double_click(LogBuffer& log, const LogView& view) {
    log.cursor_px = 0;
    log.anchor_px = 0;
    log.marked_view_first = 0;
    log.marked_view_count = 0;
    derive_log_cursor(log, view);
}

LogMenu log_viewer_menu(LogBuffer& log, const LogView& view) {
    derive_log_cursor(log, view);
    LogMenu menu;
    menu.name = log.mazda_log ? "MAZLogLocalMenu" : "LogLocalMenu";
    const std::span<const MenuSlot> slots =
        log.mazda_log ? std::span<const MenuSlot>(kMazdaMenu) : std::span<const MenuSlot>(kLogMenu);
    for (const MenuSlot& slot : slots) {
        if (slot.separator) {
            menu.entries.push_back({true, {}, 0, false});
            continue;
        }
        const LogBand& band = log_band(slot.channel);
        // The LS switches band is drawn here, so its item is checked like the others.
        menu.entries.push_back({false, log.mazda_log ? band.mazda_menu_text : band.menu_text,
                                band.command_id, log.visible(slot.channel)});
    }
    return menu;
}

bool log_viewer_command(LogBuffer& log, const LogView& view, int command_id) {
    derive_log_cursor(log, view);
    const LogBand* band = log_band_for_command(command_id);
    if (band == nullptr) return false;
    log.set_visible(band->channel, !log.visible(band->channel));
    return true;
}

}  // namespace veloquin
