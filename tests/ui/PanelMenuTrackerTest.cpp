#include "ui/PanelMenuTracker.h"

#include <gtest/gtest.h>

using namespace didev;

// A panel at 3000..4000 twips in a status bar at 3900, 300 high.
const StatusPanelClick kOptions{3, 3000, 1000, {}};
const StatusPanelClick kVideo{1, 0, 2990, {}};
constexpr double kBarTop = 3907.5;
constexpr double kBarHeight = 300;

TEST(PanelMenuTracker, ADismissedMenuSwallowsTheNextClickOnItsPanelOnly)
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
    PanelMenuTracker tracker;
    for (size_t i = 0; i < std::size(steps); ++i) {
        const auto& s = steps[i];
        bool opened = false;
        switch (s.step) {
        case Step::Click: opened = tracker.admitClick(kOptions, kBarTop, kBarHeight); break;
        case Step::ClickVideo: opened = tracker.admitClick(kVideo, kBarTop, kBarHeight); break;
        case Step::Command: tracker.clearPanel(); break;
        case Step::PointerOverVideo: tracker.pointerAt(250, 100, ScreenMetrics{}); break;
        case Step::PointerInPanel: tracker.pointerAt(4000 / 15.f, 4207.f / 15.f, ScreenMetrics{}); break;
        }
        EXPECT_EQ(opened, s.opens) << "step " << i;
        EXPECT_EQ(tracker.lastMenuPanel(), s.armed) << "step " << i;
        if (opened) {
            EXPECT_EQ(tracker.menuAnchorX(), (s.step == Step::Click ? kOptions : kVideo).left + 1) << "step " << i;
            EXPECT_EQ(tracker.menuAnchorY(), 3908) << "the bar's top + 1, halves to even";
        }
    }
}

TEST(PanelMenuTracker, PointerPositionsBecomeWholeTwips)
{
    PanelMenuTracker tracker;
    tracker.pointerAt(21.5f, 33.5f, ScreenMetrics{0, 0, 15, 15});
    EXPECT_EQ(tracker.menuAnchorX(), 322);   // 322.5
    EXPECT_EQ(tracker.menuAnchorY(), 502);   // 502.5
    tracker.pointerAt(10.25f, 3.5f, ScreenMetrics{0, 0, 12, 12});
    EXPECT_EQ(tracker.menuAnchorX(), 123);
    EXPECT_EQ(tracker.menuAnchorY(), 42);
}

TEST(PanelMenuTracker, MenuOpensBottomLeftUnderThePanelOnTheWindowsBottomEdge)
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
        EXPECT_EQ(PanelMenuTracker::menuBottomLeft(c.geometry, screen), c.expected) << c.geometry.panelLeft;
    }
}
