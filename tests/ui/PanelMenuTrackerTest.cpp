#include "ui/PanelMenuTracker.h"

#include <gtest/gtest.h>

using namespace didev;

// A panel at 3000..4000 twips in a status bar at 3907.5, 300 high. The windows' panel tables
// (SnapshotViewerTest, CaptureMenusTest) follow the rule through clicks; here the pointer that
// stays inside the panel, and the anchor's rounding.
TEST(PanelMenuTracker, ADismissedMenuSwallowsTheNextClickEvenWhenThePointerStayedInThePanel)
{
    const StatusPanelClick options{3, 3000, 1000, {}};
    PanelMenuTracker tracker;
    EXPECT_TRUE(tracker.admitClick(options, 3907.5, 300));
    EXPECT_EQ(tracker.menuAnchorX(), 3001) << "just inside the panel";
    EXPECT_EQ(tracker.menuAnchorY(), 3908) << "the bar's top + 1, halves to even";
    tracker.pointerAt(4000 / 15.f, 4207.f / 15.f, ScreenMetrics{});
    EXPECT_EQ(tracker.lastMenuPanel(), 3);
    EXPECT_FALSE(tracker.admitClick(options, 3907.5, 300));
    EXPECT_EQ(tracker.lastMenuPanel(), 0);
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
