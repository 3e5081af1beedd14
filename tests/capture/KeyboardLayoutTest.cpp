#include "capture/CaptureWindow.h"
#include "support/TestModule.h"

#include <QGuiApplication>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <xcb/xcb.h>
// xkb.h names a member `explicit`, a keyword in C++.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#include <xcb/xtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

// Keys pressed through the X server (XTest) on the capture window, on the layouts setxkbmap
// gives the server, as a person types them: KeyDown carries the code of the physical key.

using namespace didev;

namespace {

constexpr int16_t kShift = 1;
constexpr int16_t kCtrl = 2;
// X key codes of the server's (evdev) keyboard.
constexpr uint8_t kLeftShift = 50;
constexpr uint8_t kLeftCtrl = 37;

struct Key {
    uint8_t keycode;
    const char* what;
    int16_t shift;
    int16_t us, fr, de;
};

// The layouts' own codes for some of the keys that differ between them (letters, character keys,
// a letter where another layout has a character key), and keys that must not differ.
// Named keys whose code is the same on every layout are checked through their Qt key (CaptureUnitTest).
const Key kKeys[] = {
    {24, "AD01 q/a/q", 0, 81, 65, 81},
    {29, "AD06 y/y/z", 0, 89, 89, 90},
    {47, "AC10 ;/m/ö", 0, 186, 77, 192},
    {58, "AB07 m/,/m", 0, 77, 188, 77},
    {49, "TLDE `/²/^", 0, 192, 222, 220},
    {20, "AE11 -/)/ß", 0, 189, 219, 219},
    {35, "AD12 ]/$/+", 0, 221, 186, 187},
    {61, "AB10 //!/-", 0, 191, 223, 189},
    {94, "LSGT <", 0, 226, 226, 226},
    {10, "Shift+1", kShift, 49, 49, 49},
    {11, "Ctrl+Shift+2", kShift | kCtrl, 50, 50, 50},
    {87, "keypad 1 without NumLock", 0, 35, 35, 35},
};

struct KeyRecorder {
    std::vector<std::pair<int16_t, int16_t>> keys;
    void attach(CaptureWindow& window)
    {
        QObject::connect(&window, &CaptureWindow::keyDown, [this](int16_t& keyCode, int16_t& shift) { keys.emplace_back(keyCode, shift); });
    }
};

class XTestKeyboard {
public:
    XTestKeyboard()
        : connection_(xcb_connect(nullptr, nullptr))
    {
    }
    ~XTestKeyboard() { xcb_disconnect(connection_); }
    XTestKeyboard(const XTestKeyboard&) = delete;
    XTestKeyboard& operator=(const XTestKeyboard&) = delete;

    bool usable() const { return xcb_connection_has_error(connection_) == 0; }

    void press(const Key& key)
    {
        if (key.shift & kCtrl)
            fake(XCB_KEY_PRESS, kLeftCtrl);
        if (key.shift & kShift)
            fake(XCB_KEY_PRESS, kLeftShift);
        fake(XCB_KEY_PRESS, key.keycode);
        fake(XCB_KEY_RELEASE, key.keycode);
        if (key.shift & kShift)
            fake(XCB_KEY_RELEASE, kLeftShift);
        if (key.shift & kCtrl)
            fake(XCB_KEY_RELEASE, kLeftCtrl);
        xcb_flush(connection_);
    }

    // Makes layout group `group` (0-based) the active one, as a layout switch in a desktop does.
    void lockGroup(uint8_t group)
    {
        xcb_discard_reply(connection_,
            xcb_xkb_use_extension(connection_, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION).sequence);
        xcb_void_cookie_t done = xcb_xkb_latch_lock_state_checked(connection_, XCB_XKB_ID_USE_CORE_KBD, 0, 0, 1, group, 0, 0, 0);
        free(xcb_request_check(connection_, done));
    }

private:
    void fake(uint8_t type, uint8_t keycode)
    {
        xcb_test_fake_input(connection_, type, keycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    }

    xcb_connection_t* connection_;
};

bool setLayouts(const QString& layouts)
{
    QProcess setxkbmap;
    setxkbmap.start(QStringLiteral("setxkbmap"), {QStringLiteral("-layout"), layouts});
    return setxkbmap.waitForFinished(30000) && setxkbmap.exitStatus() == QProcess::NormalExit && setxkbmap.exitCode() == 0;
}

} // namespace

TEST(KeyboardLayouts, EveryPhysicalKeyRaisesKeyDownWithItsCodeOnEachLayout)
{
    TestModule owner;
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb")) << "needs an X server";
    XTestKeyboard keyboard;
    ASSERT_TRUE(keyboard.usable());
    testModule().state().AllowInternalCapture = kHostFalse;
    CaptureOptions options;
    options.systemDevices = false;
    CaptureWindow window(testModule().state(), options);
    KeyRecorder recorder;
    recorder.attach(window);
    window.load();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    QTRY_VERIFY_WITH_TIMEOUT(window.isActiveWindow(), 10000);

    const struct {
        const char* layouts;
        uint8_t group;
        int16_t Key::*expected;
    } scenarios[] = {
        {"us", 0, &Key::us},
        {"fr", 0, &Key::fr},
        {"de", 0, &Key::de},
        {"us,de", 1, &Key::de},   // the second group made active after the first
    };
    for (const auto& scenario : scenarios) {
        ASSERT_TRUE(setLayouts(QString::fromLatin1(scenario.layouts))) << scenario.layouts;
        keyboard.lockGroup(scenario.group);
        recorder.keys.clear();
        std::vector<std::pair<int16_t, int16_t>> expected;
        std::vector<const char*> pressed;
        for (int digit = 0; digit < 10; ++digit) {
            keyboard.press(Key{static_cast<uint8_t>(10 + digit), "digit row", 0, 0, 0, 0});
            expected.emplace_back(digit == 9 ? '0' : '1' + digit, 0);
            pressed.push_back("digit row");
        }
        for (const Key& key : kKeys) {
            keyboard.press(key);
            // The modifiers are keys too, each with its own KeyDown, Ctrl held before Shift.
            if (key.shift & kCtrl) {
                expected.emplace_back(17, kCtrl);
                pressed.push_back("Ctrl");
            }
            if (key.shift & kShift) {
                expected.emplace_back(16, key.shift);
                pressed.push_back("Shift");
            }
            expected.emplace_back(key.*scenario.expected, key.shift);
            pressed.push_back(key.what);
        }

        QTRY_VERIFY_WITH_TIMEOUT(recorder.keys.size() >= expected.size(), 10000);
        EXPECT_EQ(recorder.keys.size(), expected.size()) << scenario.layouts;
        for (size_t i = 0; i < std::min(expected.size(), recorder.keys.size()); ++i)
            EXPECT_EQ(recorder.keys[i], expected[i]) << scenario.layouts << ": " << pressed[i];
    }
    window.unload();
}
