#pragma once

#include <QAbstractNativeEventFilter>

#include <cstdint>
#include <memory>

class QKeyEvent;

namespace didev {

// The keyboard as the window system knows it, so that a key event names the physical key the
// way the host's virtual-key codes do, whatever the layout. Under X11 it reads the server's
// keymap once and again whenever the server says the keyboard changed (setxkbmap, a layout
// switch in the desktop); elsewhere (offscreen, Wayland) it knows nothing and Qt's key decides.
class KeyboardLayout final : public QAbstractNativeEventFilter {
public:
    KeyboardLayout();
    ~KeyboardLayout() override;
    KeyboardLayout(const KeyboardLayout&) = delete;
    KeyboardLayout& operator=(const KeyboardLayout&) = delete;

    // The virtual-key code of the key that made the event: letters by the letter the key gives
    // unshifted on the active layout (65-90), the digit row 48-57 on every layout, other
    // character keys their OEM codes, the rest by function. 0 for a key without a code.
    int16_t virtualKeyCode(const QKeyEvent& event);

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    struct X11Keymap;
    std::unique_ptr<X11Keymap> x11_;
};

} // namespace didev
