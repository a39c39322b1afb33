#pragma once
// Which key does what: the two accelerator tables as data, the choice between
// them by page and focus, and the in-place-edit mode. The Qt program feeds
// every key press through route_key from one application-wide event filter.

#include <optional>
#include <span>
#include <string>

#include "base/page.h"
#include "calibration/calibration.h"

namespace veloquin {

// Key codes in the numbering the accelerator tables were written in: letters
// and digits are their upper-case ASCII codes.
namespace keycode {
inline constexpr int enter = 0x0D;
inline constexpr int escape = 0x1B;
inline constexpr int page_up = 0x21;
inline constexpr int page_down = 0x22;
inline constexpr int home = 0x24;
inline constexpr int left = 0x25;
inline constexpr int up = 0x26;
inline constexpr int right = 0x27;
inline constexpr int down = 0x28;
inline constexpr int delete_key = 0x2E;
inline constexpr int f7 = 0x76;
inline constexpr int f8 = 0x77;
}  // namespace keycode

struct KeyPress {
    int code = 0;      // keycode, letter or digit; 0 for a key without one
    std::string text;  // the character the key types, if any ("+", "=", "7")
    bool ctrl = false;
    bool shift = false;
    bool alt = false;
};

// One accelerator: a typed character, or a key with exactly these modifiers.
struct Accelerator {
    char character;  // nonzero: matches the typed character, whatever the key
    int code;
    bool ctrl;
    bool shift;
    int command;
};

enum class AcceleratorTable { short_109, full_133 };
std::span<const Accelerator> accelerators(AcceleratorTable table);

// The short table on "Parameters" and "LS Switches", and on "Boost Control"
// while one of its fields has the focus; the full table everywhere else.
AcceleratorTable choose_accelerator_table(Page visible, bool main_window_focused);

std::optional<int> translate_accelerator(AcceleratorTable table, const KeyPress& key);

enum class KeyAction {
    pass,              // the focused control gets the key
    command,           // run `command` and swallow the key
    commit_edit,       // Enter while the in-place value editor is open
    cancel_edit,       // Esc while it is open
    open_cell_editor,  // a digit or Delete on a map page: open the editor with it
};
struct KeyRoute {
    KeyAction action = KeyAction::pass;
    int command = 0;
};

// Where the keyboard focus is: the window itself, a text field of a
// parameter page, or another control (a list, a check box).
enum class KeyFocus { main_window, text_field, control };

// While a text field has the focus, every key that edits text is the field's
// on every page: "-5" typed into "Fade Out" must not lower a methanol cell.
bool edits_text(const KeyPress& key);

KeyRoute route_key(const KeyPress& key, Page visible, KeyFocus focus, bool cell_editor_open);

}  // namespace veloquin
