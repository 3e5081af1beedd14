#include "ui/PanelMenuTracker.h"

#include <gtest/gtest.h>

using namespace didev;

// The rule of the click after a dismissed menu is followed through the windows' clicks
// (SnapshotViewerTest, CaptureMenusTest); here the rounding of the anchors.
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
        {{0, 0, 4327.5, 0, 0, 112.5}, 15, {8, 288}},    // 7.5 and 288.5: halves to even
        {{0, 0, 4342.5, 0, 0, 97.5}, 15, {6, 290}},     // 6.5 and 289.5
        {{1200, 600, 3600, 48, 24, 1200}, 12, {206, 350}},
    };
    for (const auto& c : cases) {
        const ScreenMetrics screen{0, 0, c.twipsPerPixel, c.twipsPerPixel};
        EXPECT_EQ(PanelMenuTracker::menuBottomLeft(c.geometry, screen), c.expected) << c.geometry.panelLeft;
    }
}
