#include "automation/VirtualKeyPress.h"

namespace didev {

namespace {

struct NamedKey {
    int16_t code;
    Qt::Key key;
    const char* text;
};

const NamedKey kNamedKeys[] = {
    {8, Qt::Key_Backspace, "\b"},
    {9, Qt::Key_Tab, "\t"},
    {13, Qt::Key_Return, "\r"},
    {27, Qt::Key_Escape, "\x1b"},
    {32, Qt::Key_Space, " "},
    {33, Qt::Key_PageUp, ""},
    {34, Qt::Key_PageDown, ""},
    {35, Qt::Key_End, ""},
    {36, Qt::Key_Home, ""},
    {37, Qt::Key_Left, ""},
    {38, Qt::Key_Up, ""},
    {39, Qt::Key_Right, ""},
    {40, Qt::Key_Down, ""},
    {45, Qt::Key_Insert, ""},
    {46, Qt::Key_Delete, "\x7f"},
};

Qt::KeyboardModifiers modifiersOf(int16_t shift)
{
    Qt::KeyboardModifiers modifiers;
    if (shift & 1)
        modifiers |= Qt::ShiftModifier;
    if (shift & 2)
        modifiers |= Qt::ControlModifier;
    if (shift & 4)
        modifiers |= Qt::AltModifier;
    return modifiers;
}

} // namespace

std::optional<VirtualKeyPress> virtualKeyPress(int16_t keyCode, int16_t shift)
{
    VirtualKeyPress press;
    press.modifiers = modifiersOf(shift);
    const bool control = (shift & 2) != 0;
    if (keyCode >= 'A' && keyCode <= 'Z') {
        press.key = static_cast<Qt::Key>(Qt::Key_A + (keyCode - 'A'));
        const char letter = static_cast<char>((shift & 1) ? keyCode : keyCode - 'A' + 'a');
        // Ctrl with a letter types the control character, as a keyboard does.
        press.text = control ? QString(QChar(keyCode - 'A' + 1)) : QString(QChar(letter));
        return press;
    }
    if (keyCode >= '0' && keyCode <= '9') {
        press.key = static_cast<Qt::Key>(Qt::Key_0 + (keyCode - '0'));
        press.text = control ? QString() : QString(QChar(keyCode));
        return press;
    }
    if (keyCode >= 96 && keyCode <= 105) {
        press.key = static_cast<Qt::Key>(Qt::Key_0 + (keyCode - 96));
        press.modifiers |= Qt::KeypadModifier;
        press.text = QString(QChar('0' + (keyCode - 96)));
        return press;
    }
    if (keyCode >= 112 && keyCode <= 123) {
        press.key = static_cast<Qt::Key>(Qt::Key_F1 + (keyCode - 112));
        return press;
    }
    for (const NamedKey& named : kNamedKeys)
        if (named.code == keyCode) {
            press.key = named.key;
            press.text = QString::fromLatin1(named.text);
            return press;
        }
    return std::nullopt;
}

} // namespace didev
