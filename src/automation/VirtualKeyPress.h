#pragma once

#include <QString>
#include <Qt>

#include <cstdint>
#include <optional>

namespace didev {

// The Qt key event a person's key press makes, for a host's virtual-key code and shift state
// (1 Shift + 2 Ctrl + 4 Alt): letters and digits are their upper-case ASCII codes, keypad digits
// 96..105, F1..F12 112..123, and the editing and arrow keys of the common table.
struct VirtualKeyPress {
    Qt::Key key = Qt::Key_unknown;
    Qt::KeyboardModifiers modifiers;
    QString text;   // what the key types; empty for keys that type nothing
};

// Nothing for a code no key of the table has.
std::optional<VirtualKeyPress> virtualKeyPress(int16_t keyCode, int16_t shift);

} // namespace didev
