#include "capture/KeyboardLayout.h"

#include "capture/VirtualKeys.h"

#include <QKeyEvent>

#ifdef DIDEV_HAVE_XKBCOMMON_X11
#include <QCoreApplication>
#include <QGuiApplication>

#include <xcb/xcb.h>
// xkb.h names a member `explicit`, a keyword in C++.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#include <xkbcommon/xkbcommon-keysyms.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>
#endif

namespace didev {

#ifdef DIDEV_HAVE_XKBCOMMON_X11

namespace {

using KeyName = std::string_view;

struct NamedCode {
    KeyName key;
    int16_t code;
};

// The character keys that are no letter on a US keyboard, with their codes there; also the
// codes of a layout this module has no table for.
constexpr NamedCode kUsCharacterKeys[] = {
    {"TLDE", 192}, {"AE11", 189}, {"AE12", 187}, {"AD11", 219}, {"AD12", 221}, {"BKSL", 220},
    {"AC10", 186}, {"AC11", 222}, {"AB08", 188}, {"AB09", 190}, {"AB10", 191}, {"LSGT", 226},
};
// German (and Austrian): ü 186, ö 192, ä 222, ß 219.
constexpr NamedCode kGermanCharacterKeys[] = {
    {"TLDE", 220}, {"AE11", 219}, {"AE12", 221}, {"AD11", 186}, {"AD12", 187}, {"BKSL", 191},
    {"AC10", 192}, {"AC11", 222}, {"AB08", 188}, {"AB09", 190}, {"AB10", 189}, {"LSGT", 226},
};
// French: ² 222, ) 219, ^ 221, $ 186, ù 192, * 220, ! 223; the M is a letter.
constexpr NamedCode kFrenchCharacterKeys[] = {
    {"TLDE", 222}, {"AE11", 219}, {"AE12", 187}, {"AD11", 221}, {"AD12", 186}, {"BKSL", 220},
    {"AC11", 192}, {"AB07", 188}, {"AB08", 190}, {"AB09", 191}, {"AB10", 223}, {"LSGT", 226},
};

// Letter rows of a US keyboard: the code of a key whose unshifted character is no Latin letter
// (Cyrillic, Greek) is the letter at its place.
constexpr std::pair<std::string_view, std::string_view> kLetterRows[] = {
    {"AD", "QWERTYUIOP"}, {"AC", "ASDFGHJKL"}, {"AB", "ZXCVBNM"},
};

// Keys named by their function; the same on every layout.
constexpr std::pair<xkb_keysym_t, int16_t> kFunctionKeys[] = {
    {XKB_KEY_BackSpace, 8}, {XKB_KEY_Tab, 9}, {XKB_KEY_ISO_Left_Tab, 9}, {XKB_KEY_Return, 13},
    {XKB_KEY_Shift_L, 16}, {XKB_KEY_Shift_R, 16}, {XKB_KEY_Control_L, 17}, {XKB_KEY_Control_R, 17},
    {XKB_KEY_Alt_L, 18}, {XKB_KEY_Alt_R, 18}, {XKB_KEY_ISO_Level3_Shift, 18}, {XKB_KEY_Pause, 19},
    {XKB_KEY_Caps_Lock, 20}, {XKB_KEY_Escape, 27}, {XKB_KEY_space, 32}, {XKB_KEY_Prior, 33},
    {XKB_KEY_Next, 34}, {XKB_KEY_End, 35}, {XKB_KEY_Home, 36}, {XKB_KEY_Left, 37}, {XKB_KEY_Up, 38},
    {XKB_KEY_Right, 39}, {XKB_KEY_Down, 40}, {XKB_KEY_Print, 44}, {XKB_KEY_Insert, 45},
    {XKB_KEY_Delete, 46}, {XKB_KEY_Help, 47}, {XKB_KEY_Super_L, 91}, {XKB_KEY_Super_R, 92},
    {XKB_KEY_Menu, 93}, {XKB_KEY_Num_Lock, 144}, {XKB_KEY_Scroll_Lock, 145},
};

// Keypad keys by what they give now: with NumLock the digits, without it the arrows and Home.
constexpr std::pair<xkb_keysym_t, int16_t> kKeypadKeys[] = {
    {XKB_KEY_KP_Enter, 13}, {XKB_KEY_KP_Begin, 12}, {XKB_KEY_KP_Prior, 33}, {XKB_KEY_KP_Next, 34},
    {XKB_KEY_KP_End, 35}, {XKB_KEY_KP_Home, 36}, {XKB_KEY_KP_Left, 37}, {XKB_KEY_KP_Up, 38},
    {XKB_KEY_KP_Right, 39}, {XKB_KEY_KP_Down, 40}, {XKB_KEY_KP_Insert, 45}, {XKB_KEY_KP_Delete, 46},
    {XKB_KEY_KP_Multiply, 106}, {XKB_KEY_KP_Add, 107}, {XKB_KEY_KP_Separator, 108},
    {XKB_KEY_KP_Subtract, 109}, {XKB_KEY_KP_Decimal, 110}, {XKB_KEY_KP_Divide, 111},
};

template <typename Table, typename Key>
int16_t lookUp(const Table& table, const Key& key)
{
    for (const auto& [name, code] : table) {
        if (name == key)
            return code;
    }
    return 0;
}

// What the keymap says of one physical key.
struct PhysicalKey {
    KeyName name;              // its place: "AE01", "AC10", "LSGT"
    xkb_keysym_t unshifted;    // without Shift on the active layout
    xkb_keysym_t produced;     // what this press gave, NumLock and Shift applied
    std::string_view layout;   // the active layout's short name: "us", "de", "fr"
};

int16_t codeOf(const PhysicalKey& key)
{
    if (key.produced >= XKB_KEY_KP_0 && key.produced <= XKB_KEY_KP_9)
        return static_cast<int16_t>(96 + (key.produced - XKB_KEY_KP_0));
    if (const int16_t keypad = lookUp(kKeypadKeys, key.produced))
        return keypad;
    // The digit row gives digits on every layout, shifted or not (AZERTY's & key is 1).
    if (key.name.size() == 4 && key.name.substr(0, 2) == "AE" && key.name >= "AE01" && key.name <= "AE10")
        return static_cast<int16_t>(key.name == "AE10" ? '0' : '1' + (key.name[3] - '1'));
    if (key.unshifted >= XKB_KEY_a && key.unshifted <= XKB_KEY_z)
        return static_cast<int16_t>('A' + (key.unshifted - XKB_KEY_a));
    if (key.unshifted >= XKB_KEY_F1 && key.unshifted <= XKB_KEY_F24)
        return static_cast<int16_t>(112 + (key.unshifted - XKB_KEY_F1));
    if (const int16_t function = lookUp(kFunctionKeys, key.unshifted))
        return function;

    const auto& table = key.layout == "de" || key.layout == "at" ? kGermanCharacterKeys
        : key.layout == "fr"                                     ? kFrenchCharacterKeys
                                                                 : kUsCharacterKeys;
    if (const int16_t character = lookUp(table, key.name))
        return character;
    for (const auto& [row, letters] : kLetterRows) {
        if (key.name.size() == 4 && key.name.substr(0, 2) == row) {
            const int column = (key.name[2] - '0') * 10 + (key.name[3] - '0');
            if (column >= 1 && static_cast<size_t>(column) <= letters.size())
                return static_cast<int16_t>(letters[static_cast<size_t>(column - 1)]);
        }
    }
    return 0;
}

template <typename T>
using XcbReply = std::unique_ptr<T, decltype(&std::free)>;

std::vector<std::string> split(std::string_view text, char separator)
{
    std::vector<std::string> parts;
    for (size_t from = 0; from < text.size();) {
        const size_t end = std::min(text.find(separator, from), text.size());
        parts.emplace_back(text.substr(from, end - from));
        from = end + 1;
    }
    return parts;
}

// The layouts the keymap was made from, one per group ("us,de" from setxkbmap or the desktop).
std::vector<std::string> ruleLayouts(xcb_connection_t* connection)
{
    static constexpr char kRulesNames[] = "_XKB_RULES_NAMES";
    const XcbReply<xcb_intern_atom_reply_t> atom{
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 1, sizeof kRulesNames - 1, kRulesNames), nullptr),
        &std::free};
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (!atom || atom->atom == XCB_ATOM_NONE || !screen)
        return {};
    const XcbReply<xcb_get_property_reply_t> property{
        xcb_get_property_reply(connection,
            xcb_get_property(connection, 0, screen->root, atom->atom, XCB_ATOM_STRING, 0, 1024), nullptr),
        &std::free};
    if (!property)
        return {};
    // rules, model, layout, variant, options; each ends with a zero byte.
    const std::string_view names(static_cast<const char*>(xcb_get_property_value(property.get())),
        static_cast<size_t>(xcb_get_property_value_length(property.get())));
    const std::vector<std::string> fields = split(names, '\0');
    return fields.size() > 2 ? split(fields[2], ',') : std::vector<std::string>();
}

} // namespace

struct KeyboardLayout::X11Keymap {
    xcb_connection_t* connection = nullptr;
    uint8_t xkbEventBase = 0;
    std::unique_ptr<xkb_context, decltype(&xkb_context_unref)> context{nullptr, &xkb_context_unref};
    std::unique_ptr<xkb_keymap, decltype(&xkb_keymap_unref)> keymap{nullptr, &xkb_keymap_unref};
    std::vector<std::string> layouts;

    bool load()
    {
        if (keymap)
            return true;
        if (!context)
            context.reset(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
        const int32_t device = xkb_x11_get_core_keyboard_device_id(connection);
        if (!context || device < 0)
            return false;
        keymap.reset(xkb_x11_keymap_new_from_device(context.get(), connection, device, XKB_KEYMAP_COMPILE_NO_FLAGS));
        layouts = ruleLayouts(connection);
        return keymap != nullptr;
    }
};

KeyboardLayout::KeyboardLayout()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    uint8_t eventBase = 0;
    if (!connection
        || !xkb_x11_setup_xkb_extension(connection, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
            XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, &eventBase, nullptr))
        return;
    x11_ = std::make_unique<X11Keymap>();
    x11_->connection = connection;
    x11_->xkbEventBase = eventBase;
    QCoreApplication::instance()->installNativeEventFilter(this);
}

KeyboardLayout::~KeyboardLayout()
{
    if (x11_ && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool KeyboardLayout::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (!x11_ || eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != x11_->xkbEventBase)
        return false;
    // The byte after the response type says which XKB event it is.
    const uint8_t xkbType = reinterpret_cast<const uint8_t*>(event)[1];
    if (xkbType == XCB_XKB_NEW_KEYBOARD_NOTIFY || xkbType == XCB_XKB_MAP_NOTIFY)
        x11_->keymap.reset();
    return false;
}

int16_t KeyboardLayout::virtualKeyCode(const QKeyEvent& event)
{
    const quint32 keycode = event.nativeScanCode();
    if (x11_ && keycode != 0 && x11_->load()) {
        // The event's state carries the active group in bits 13 and 14.
        const auto group = static_cast<xkb_layout_index_t>((event.nativeModifiers() >> 13) & 3);
        const xkb_keysym_t* syms = nullptr;
        const int count = xkb_keymap_key_get_syms_by_level(x11_->keymap.get(), keycode, group, 0, &syms);
        const char* name = xkb_keymap_key_get_name(x11_->keymap.get(), keycode);
        const std::vector<std::string>& layouts = x11_->layouts;
        const std::string_view layout = layouts.empty() ? std::string_view()
                                                        : std::string_view(layouts[std::min<size_t>(group, layouts.size() - 1)]);
        const PhysicalKey key{name ? KeyName(name) : KeyName(), count > 0 ? syms[0] : XKB_KEY_NoSymbol,
            event.nativeVirtualKey(), layout};
        if (const int16_t code = codeOf(key))
            return code;
    }
    return didev::virtualKeyCode(event.key(), event.modifiers());
}

#else

struct KeyboardLayout::X11Keymap {};

KeyboardLayout::KeyboardLayout() = default;
KeyboardLayout::~KeyboardLayout() = default;

bool KeyboardLayout::nativeEventFilter(const QByteArray&, void*, qintptr*)
{
    return false;
}

int16_t KeyboardLayout::virtualKeyCode(const QKeyEvent& event)
{
    return didev::virtualKeyCode(event.key(), event.modifiers());
}

#endif

} // namespace didev
