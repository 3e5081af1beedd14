#include "capture/CaptureMenus.h"
#include "capture/DeviceList.h"
#include "capture/PanelMenuState.h"
#include "capture/PopupMenuItems.h"

#include <QMenu>

#include <gtest/gtest.h>

using namespace didev;

namespace {

constexpr int32_t kGreyed = 0x1;
constexpr int32_t kChecked = 0x8;
constexpr int32_t kPopup = 0x10;
constexpr int32_t kSeparator = 0x800;

PopupMenuRow row(int32_t id, int32_t flags, const char* text, int16_t depth = 0)
{
    return {id, flags, QString::fromUtf8(text), depth};
}

DeviceList listOf(const QStringList& names)
{
    DeviceList list(DeviceKind::Video, [names] {
        QList<CaptureDevice> devices;
        for (int i = 0; i < names.size(); ++i)
            devices.append(CaptureDevice{names[i], QStringLiteral("test:%1").arg(i + 1), nullptr});
        return devices;
    }, {});
    list.refresh();
    return list;
}

} // namespace

TEST(PopupMenuItems, FlagsSurviveTheRoundTripThroughTheMenu)
{
    QMenu menu;
    auto* submenu = new QMenu(&menu);
    appendMenuItem(*submenu, MenuItemFlag::Checked | MenuItemFlag::Greyed, 7, QStringLiteral("Deep"));
    appendMenuItem(menu, MenuItemFlag::Plain, 1, QStringLiteral("Plain"));
    appendMenuItem(menu, MenuItemFlag::Greyed, 2, QStringLiteral("Grey"));
    appendMenuItem(menu, MenuItemFlag::Separator, 99, QStringLiteral("ignored"));
    appendMenuItem(menu, MenuItemFlag::Popup, 0, QStringLiteral("Sub"), submenu);
    appendMenuItem(menu, MenuItemFlag::Checked, 3, QStringLiteral("Tick"));

    const QList<PopupMenuRow> expected{row(1, 0, "Plain"), row(2, kGreyed, "Grey"), row(0, kSeparator, ""),
        row(0, kPopup, "Sub"), row(7, kGreyed | kChecked, "Deep", 1), row(3, kChecked, "Tick")};
    EXPECT_EQ(popupMenuRows(menu), expected);
}

struct DeviceMenuCase {
    const char* name;
    QStringList devices;
    const char* panelText;
    QList<int32_t> flags;   // None, then each device
};

class DeviceMenu : public testing::TestWithParam<DeviceMenuCase> {};

TEST_P(DeviceMenu, ChecksByThePanelText)
{
    const DeviceMenuCase& c = GetParam();
    const DeviceList devices = listOf(c.devices);
    QMenu menu;
    CaptureMenus::buildDeviceMenu(menu, devices, QString::fromUtf8(c.panelText), QStringLiteral("No Video"));
    QList<PopupMenuRow> expected{row(kNoDeviceCommand, c.flags[0], "None")};
    for (int i = 0; i < c.devices.size(); ++i)
        expected.append({i + 1, c.flags[i + 1], c.devices[i], 0});
    EXPECT_EQ(popupMenuRows(menu), expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, DeviceMenu, testing::Values(
    DeviceMenuCase{"SameNameChecksBoth", {"Cam", "Cam", "Other"}, "Cam", {0, kChecked, kChecked, 0}},
    DeviceMenuCase{"NameComparedCaseSensitively", {"Cam A", "cam a"}, "Cam A", {0, kChecked, 0}},
    DeviceMenuCase{"PanelTextNotIndexDecides", {"No Video"}, "No Video", {kChecked, kChecked}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OptionsMenu, ItemsIdsAndSubmenusInOrder)
{
    QMenu menu;
    CaptureMenus::buildOptionsMenu(menu, 0, vbTrue, 0, 0);
    const QList<PopupMenuRow> expected{
        row(1, kGreyed, "Show Captured Frames"), row(2, kGreyed, "Discard Captured Frames"), row(0, kSeparator, ""),
        row(3, 0, "Capture Current Frame"), row(0, kSeparator, ""),
        row(0, kPopup, "Input Mode"),
        row(4, 0, "Audio Only", 1), row(5, 0, "Video Only", 1), row(6, kChecked, "Audio and Video", 1),
        row(0, kPopup, "Viewer Source Stage"),
        row(7, kChecked, "Source", 1), row(8, 0, "Processors", 1), row(9, 0, "Compressor", 1)};
    EXPECT_EQ(popupMenuRows(menu), expected);
}

// A panel at 3000..4000 twips in a status bar at 3900, 300 high.
const StatusPanelClick kOptions{3, 3000, 1000, {}};
const StatusPanelClick kVideo{1, 0, 2990, {}};
constexpr double kBarTop = 3907.5;
constexpr double kBarHeight = 300;

TEST(PanelMenuState, ADismissedMenuSwallowsTheNextClickOnItsPanelOnly)
{
    enum class Step { Click, ClickVideo, Command, PointerOverVideo, PointerInPanel };
    const struct {
        Step step;
        bool opens;
        int16_t armed;
    } steps[] = {
        {Step::Click, true, 3},         // anchor just inside the panel
        {Step::Click, false, 0},        // the click that closed the menu
        {Step::Click, true, 3},
        {Step::Command, false, 0},      // a command clears the panel
        {Step::Click, true, 3},
        {Step::PointerOverVideo, false, 3},
        {Step::Click, true, 3},         // the anchor left the panel
        {Step::ClickVideo, true, 1},    // another panel re-arms
        {Step::Click, true, 3},
        {Step::PointerInPanel, false, 3},
        {Step::Click, false, 0},
    };
    PanelMenuState state;
    for (size_t i = 0; i < std::size(steps); ++i) {
        const auto& s = steps[i];
        bool opened = false;
        switch (s.step) {
        case Step::Click: opened = state.admitClick(kOptions, kBarTop, kBarHeight); break;
        case Step::ClickVideo: opened = state.admitClick(kVideo, kBarTop, kBarHeight); break;
        case Step::Command: state.clearPanel(); break;
        case Step::PointerOverVideo: state.pointerMoved(250, 100, ScreenMetrics{}); break;
        case Step::PointerInPanel: state.pointerMoved(4000 / 15.f, 4207.f / 15.f, ScreenMetrics{}); break;
        }
        EXPECT_EQ(opened, s.opens) << "step " << i;
        EXPECT_EQ(state.lastMenuPanel(), s.armed) << "step " << i;
        if (opened) {
            EXPECT_EQ(state.menuAnchorX(), (s.step == Step::Click ? kOptions : kVideo).left + 1) << "step " << i;
            EXPECT_EQ(state.menuAnchorY(), 3908) << "the bar's top + 1, halves to even";
        }
    }
    state.reset();
    EXPECT_EQ(state.lastMenuPanel(), 0);
    EXPECT_EQ(state.menuAnchorX(), 0);
    EXPECT_EQ(state.menuAnchorY(), 0);
}

TEST(PanelMenuState, PointerPositionsBecomeWholeTwips)
{
    PanelMenuState state;
    state.pointerMoved(21.5f, 33.5f, ScreenMetrics{0, 0, 15, 15});
    EXPECT_EQ(state.menuAnchorX(), 322);   // 322.5
    EXPECT_EQ(state.menuAnchorY(), 502);   // 502.5
    state.pointerMoved(10.25f, 3.5f, ScreenMetrics{0, 0, 12, 12});
    EXPECT_EQ(state.menuAnchorX(), 123);
    EXPECT_EQ(state.menuAnchorY(), 42);
}

TEST(CaptureMenusPosition, BottomLeftUnderThePanelOnTheWindowsBottomEdge)
{
    const struct {
        PanelMenuGeometry geometry;
        double twipsPerPixel;
        QPoint expected;
    } cases[] = {
        {{1500, 1200, 4320, 60, 0, 3000}, 15, {304, 368}},
        {{0, 0, 4327.5, 0, 0, 112.5}, 15, {8, 288}},    // 7.5 and 288.5: halves to even
        {{0, 0, 4342.5, 0, 0, 97.5}, 15, {6, 290}},     // 6.5 and 289.5
        {{1200, 600, 3600, 48, 24, 1200}, 12, {206, 350}},
        {{-3000, -150, 4500, 0, 0, 0}, 15, {-200, 290}},
    };
    for (const auto& c : cases) {
        const ScreenMetrics screen{0, 0, c.twipsPerPixel, c.twipsPerPixel};
        EXPECT_EQ(CaptureMenus::menuPosition(c.geometry, screen), c.expected) << c.geometry.panelLeft;
    }
}
