#pragma once

#include <Qt>

#include <cstdint>

namespace didev {

// The host's key codes are virtual-key codes (letters and digits their upper-case character codes);
// its shift state is 1 Shift + 2 Ctrl + 4 Alt.
inline constexpr int16_t kShiftMask = 1;
inline constexpr int16_t kCtrlMask = 2;
inline constexpr int16_t kAltMask = 4;

// The virtual-key code of a Qt key; 0 for a key the host has no code for. Letters are their
// upper-case codes whatever the shift state; keypad digits have codes of their own.
int16_t virtualKeyCode(int qtKey, Qt::KeyboardModifiers modifiers);

// The host's shift state from Qt's modifiers.
int16_t shiftState(Qt::KeyboardModifiers modifiers);

// The other way, for the test driver's key presses: the Qt key and the modifiers (keypad
// digits carry Qt::KeypadModifier); Qt::Key_unknown for a code without a key.
struct QtKeyPress {
    int key = Qt::Key_unknown;
    Qt::KeyboardModifiers modifiers;
};
QtKeyPress qtKeyPress(int16_t keyCode, int16_t shift);

} // namespace didev
