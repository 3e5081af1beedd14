#include "capture/VirtualKeys.h"

#include <array>
#include <utility>

namespace didev {

namespace {

// Keys whose code is not their character.
constexpr std::array<std::pair<int, int16_t>, 28> kNamedKeys{{
    {Qt::Key_Backspace, 8}, {Qt::Key_Tab, 9}, {Qt::Key_Backtab, 9}, {Qt::Key_Return, 13}, {Qt::Key_Enter, 13},
    {Qt::Key_Shift, 16}, {Qt::Key_Control, 17}, {Qt::Key_Alt, 18}, {Qt::Key_Pause, 19}, {Qt::Key_CapsLock, 20},
    {Qt::Key_Escape, 27}, {Qt::Key_Space, 32}, {Qt::Key_PageUp, 33}, {Qt::Key_PageDown, 34}, {Qt::Key_End, 35},
    {Qt::Key_Home, 36}, {Qt::Key_Left, 37}, {Qt::Key_Up, 38}, {Qt::Key_Right, 39}, {Qt::Key_Down, 40},
    {Qt::Key_Print, 44}, {Qt::Key_Insert, 45}, {Qt::Key_Delete, 46}, {Qt::Key_NumLock, 144},
    {Qt::Key_ScrollLock, 145}, {Qt::Key_Meta, 91}, {Qt::Key_Menu, 93}, {Qt::Key_Help, 47},
}};

// Keypad keys other than the digits.
constexpr std::array<std::pair<int, int16_t>, 6> kKeypadKeys{{
    {Qt::Key_Asterisk, 106}, {Qt::Key_Plus, 107}, {Qt::Key_Minus, 109}, {Qt::Key_Period, 110},
    {Qt::Key_Slash, 111}, {Qt::Key_Comma, 110},
}};

constexpr int16_t kKeypadZero = 96;
constexpr int16_t kF1 = 112;

} // namespace

int16_t virtualKeyCode(int qtKey, Qt::KeyboardModifiers modifiers)
{
    const bool keypad = modifiers.testFlag(Qt::KeypadModifier);
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return static_cast<int16_t>(keypad ? kKeypadZero + (qtKey - Qt::Key_0) : qtKey);
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)
        return static_cast<int16_t>(qtKey);
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return static_cast<int16_t>(kF1 + (qtKey - Qt::Key_F1));
    if (keypad) {
        for (const auto& [key, code] : kKeypadKeys) {
            if (key == qtKey)
                return code;
        }
    }
    for (const auto& [key, code] : kNamedKeys) {
        if (key == qtKey)
            return code;
    }
    // Punctuation of a US keyboard.
    switch (qtKey) {
    case Qt::Key_Semicolon: case Qt::Key_Colon: return 186;
    case Qt::Key_Equal: case Qt::Key_Plus: return 187;
    case Qt::Key_Comma: case Qt::Key_Less: return 188;
    case Qt::Key_Minus: case Qt::Key_Underscore: return 189;
    case Qt::Key_Period: case Qt::Key_Greater: return 190;
    case Qt::Key_Slash: case Qt::Key_Question: return 191;
    case Qt::Key_QuoteLeft: case Qt::Key_AsciiTilde: return 192;
    case Qt::Key_BracketLeft: case Qt::Key_BraceLeft: return 219;
    case Qt::Key_Backslash: case Qt::Key_Bar: return 220;
    case Qt::Key_BracketRight: case Qt::Key_BraceRight: return 221;
    case Qt::Key_Apostrophe: case Qt::Key_QuoteDbl: return 222;
    default: return 0;
    }
}

int16_t shiftState(Qt::KeyboardModifiers modifiers)
{
    int16_t shift = 0;
    if (modifiers.testFlag(Qt::ShiftModifier))
        shift |= kShiftMask;
    if (modifiers.testFlag(Qt::ControlModifier))
        shift |= kCtrlMask;
    if (modifiers.testFlag(Qt::AltModifier))
        shift |= kAltMask;
    return shift;
}

QtKeyPress qtKeyPress(int16_t keyCode, int16_t shift)
{
    QtKeyPress press;
    if (shift & kShiftMask)
        press.modifiers |= Qt::ShiftModifier;
    if (shift & kCtrlMask)
        press.modifiers |= Qt::ControlModifier;
    if (shift & kAltMask)
        press.modifiers |= Qt::AltModifier;

    if ((keyCode >= '0' && keyCode <= '9') || (keyCode >= 'A' && keyCode <= 'Z')) {
        press.key = keyCode;
    } else if (keyCode >= kKeypadZero && keyCode <= kKeypadZero + 9) {
        press.key = Qt::Key_0 + (keyCode - kKeypadZero);
        press.modifiers |= Qt::KeypadModifier;
    } else if (keyCode >= kF1 && keyCode < kF1 + 24) {
        press.key = Qt::Key_F1 + (keyCode - kF1);
    } else {
        for (const auto& [key, code] : kKeypadKeys) {
            if (code == keyCode && key != Qt::Key_Comma) {
                press.key = key;
                press.modifiers |= Qt::KeypadModifier;
                return press;
            }
        }
        for (const auto& [key, code] : kNamedKeys) {
            if (code == keyCode && key != Qt::Key_Backtab && key != Qt::Key_Enter) {
                press.key = key;
                return press;
            }
        }
        static constexpr std::pair<int16_t, int> kPunctuation[] = {
            {186, Qt::Key_Semicolon}, {187, Qt::Key_Equal}, {188, Qt::Key_Comma}, {189, Qt::Key_Minus},
            {190, Qt::Key_Period}, {191, Qt::Key_Slash}, {192, Qt::Key_QuoteLeft}, {219, Qt::Key_BracketLeft},
            {220, Qt::Key_Backslash}, {221, Qt::Key_BracketRight}, {222, Qt::Key_Apostrophe}};
        for (const auto& [code, key] : kPunctuation) {
            if (code == keyCode)
                press.key = key;
        }
    }
    return press;
}

} // namespace didev
