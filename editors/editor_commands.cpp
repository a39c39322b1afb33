#include "editors/editor_commands.h"

#include "editors/cursor_keys.h"
#include "editors/map_operations.h"

namespace veloquin {
namespace {

struct CommandId {
    int id;
    EditorCommand command;
};

constexpr CommandId kCommandIds[] = {
    {32778, EditorCommand::move_left},
    {32779, EditorCommand::move_right},
    {32780, EditorCommand::move_up},
    {32781, EditorCommand::move_down},
    {32785, EditorCommand::extend_left},
    {32786, EditorCommand::extend_right},
    {32783, EditorCommand::extend_up},
    {32784, EditorCommand::extend_down},
    {32771, EditorCommand::increase},
    {32776, EditorCommand::decrease},
    {32814, EditorCommand::increase_large},
    {32815, EditorCommand::decrease_large},
    {32816, EditorCommand::clear_visits},
    {32834, EditorCommand::copy},
    {32835, EditorCommand::paste},
    {32792, EditorCommand::interpolate},
    {32800, EditorCommand::smooth_map},
    {32842, EditorCommand::extrapolate_boost_up},
    {32829, EditorCommand::replicate_fuel_correction},
    {32795, EditorCommand::rest_all_map_data},
};

// The map operations that say so when they change nothing, by their menu text.
struct MapOperationName {
    EditorCommand command;
    std::string_view name;
};

constexpr MapOperationName kMapOperationNames[] = {
    {EditorCommand::interpolate, "Interpolate"},
    {EditorCommand::smooth_map, "Smooth MAP"},
    {EditorCommand::extrapolate_boost_up, "Exterpolate boost up"},
    {EditorCommand::rest_all_map_data, "Rest all map data"},
};

std::string_view map_operation_name(EditorCommand command) {
    for (const MapOperationName& m : kMapOperationNames) {
        if (m.command == command) return m.name;
    }
    return {};
}

void apply_command(EditorState& state, Calibration& cal, EditorCommand command, Page visible,
                   Platform& platform);

bool maf_emulation_only(EditorCommand command) {
    return command == EditorCommand::smooth_map || command == EditorCommand::extrapolate_boost_up;
}

struct Move {
    EditorCommand command;
    CursorMove move;
    bool extend;
};

constexpr Move kMoves[] = {
    {EditorCommand::move_left, CursorMove::left, false},
    {EditorCommand::move_right, CursorMove::right, false},
    {EditorCommand::move_up, CursorMove::up, false},
    {EditorCommand::move_down, CursorMove::down, false},
    {EditorCommand::extend_left, CursorMove::left, true},
    {EditorCommand::extend_right, CursorMove::right, true},
    {EditorCommand::extend_up, CursorMove::up, true},
    {EditorCommand::extend_down, CursorMove::down, true},
};

std::optional<ValueStep> value_step(EditorCommand command) {
    switch (command) {
        case EditorCommand::increase:
            return ValueStep::increase;
        case EditorCommand::decrease:
            return ValueStep::decrease;
        case EditorCommand::increase_large:
            return ValueStep::increase_large;
        case EditorCommand::decrease_large:
            return ValueStep::decrease_large;
        default:
            return std::nullopt;
    }
}

}  // namespace

std::optional<EditorCommand> editor_command_for_id(int command_id) {
    for (const CommandId& c : kCommandIds) {
        if (c.id == command_id) return c.command;
    }
    return std::nullopt;
}

std::string apply_editor_command(EditorState& state, Calibration& cal, EditorCommand command,
                                 Page visible, Platform& platform) {
    const std::string_view name = map_operation_name(command);
    if (name.empty()) {
        apply_command(state, cal, command, visible, platform);
        return {};
    }
    // A menu entry that seems to do nothing leaves the tuner guessing.
    if (maf_emulation_only(command) && visible != Page::maf_emulation) {
        return std::string(name) + " works on the MAF Emulation map: nothing was changed";
    }
    const auto before = cal.maps;
    apply_command(state, cal, command, visible, platform);
    if (cal.maps != before) return {};
    return std::string(name) + " found nothing to do: the map is unchanged";
}

namespace {

void apply_command(EditorState& state, Calibration& cal, EditorCommand command, Page visible,
                   Platform& platform) {
    for (const Move& m : kMoves) {
        if (m.command != command) continue;
        move_cursor(state, visible, m.move, m.extend);
        platform.repaint_page();
        return;
    }
    if (const auto step = value_step(command)) {
        step_values(state, cal, visible, *step);
        platform.repaint_page();
        return;
    }
    switch (command) {
        case EditorCommand::clear_visits:
            state.visits.clear();
            break;
        case EditorCommand::copy:
            copy_selection(state, cal, visible);
            return;
        case EditorCommand::paste:
            paste_clipboard(state, cal, visible);
            break;
        case EditorCommand::interpolate:
            interpolate_selection(state, cal, visible);
            break;
        case EditorCommand::smooth_map:
            if (visible != Page::maf_emulation) return;
            smooth_map(cal);
            break;
        case EditorCommand::extrapolate_boost_up:
            if (visible != Page::maf_emulation) return;
            extrapolate_boost_up(cal);
            break;
        case EditorCommand::replicate_fuel_correction:
            replicate_fuel_correction(cal);
            break;
        default:
            // "Rest all map data" has no operation behind it.
            return;
    }
    platform.repaint_page();
}

}  // namespace

int calibrate_knock_by_log(Calibration& cal, const LogBuffer& log, Platform& platform) {
    const int set = knock_from_log(cal, log);
    if (set > 0) platform.show_page(Page::knock_calibration);
    return set;
}

}  // namespace veloquin
