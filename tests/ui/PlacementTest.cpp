#include "support/AutomationErrors.h"
#include "ui/PlacedWindow.h"
#include "ui/Placement.h"
#include "ui/Screen.h"
#include "ui/WidgetPlacedWindow.h"
#include "ui/WindowFrame.h"

#include <QApplication>
#include <QLabel>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include <ostream>

using namespace didev;

namespace didev {

void PrintTo(const WindowPlacement& p, std::ostream* os)
{
    *os << "{Left " << p.Left << ", Top " << p.Top << ", Width " << p.Width << ", Height " << p.Height << "}";
}

void PrintTo(const WindowMetrics& m, std::ostream* os)
{
    *os << "{caption " << m.captionHeight << ", frame " << m.sizingFrameWidth << "x" << m.sizingFrameHeight
        << ", border " << m.borderWidth << "x" << m.borderHeight << "}";
}

} // namespace didev


namespace {

class FakeWindow final : public PlacedWindow {
public:
    FakeWindow(double width, double height) : width_(width), height_(height) {}

    double left() const override { return left_; }
    double top() const override { return top_; }
    double width() const override { return width_; }
    double height() const override { return height_; }
    void setLeft(double twips) override { left_ = twips; }
    void setTop(double twips) override { top_ = twips; }
    void setWidth(double twips) override { width_ = twips; }
    void setHeight(double twips) override { height_ = twips; }

    double left_ = 777;
    double top_ = 777;
    double width_;
    double height_;
};

const ScreenMetrics kScreen{19200, 14400, 15, 15};

const WindowMetrics kBorderOnly{0, 0, 0, 30, 0};

struct PlacementCase {
    const char* fault;
    WindowPlacement stored;
    double windowWidth, windowHeight;
    int32_t defaultWidth, defaultHeight;
    double left, top, width, height;
};

} // namespace

TEST(ApplyWindowPlacement, EdgeRules)
{
    const PlacementCase cases[] = {
        {"off the right edge is pulled back by the width before resizing", {18000, 500, 3000, 2000}, 5250, 4320,
            5250, 4320, 19200 - 5250 - 30, 500, 3000, 2000},
        {"right edge exactly on the screen's edge stays", {16200, 500, 3000, 2000}, 5250, 4320, 5250, 4320, 16200,
            500, 3000, 2000},
        {"below the bottom keeps 300 twips on the screen", {100, 14200, 3000, 2000}, 5250, 4320, 5250, 4320, 100,
            14100, 3000, 2000},
        {"negative position clamps to 0", {-200, -50, 3000, 2000}, 5250, 4320, 5250, 4320, 0, 0, 3000, 2000},
        {"width -1 keeps the size and tests the current width", {15000, 500, -1, -1}, 5250, 4320, 5250, 4320,
            19200 - 5250 - 30, 500, 5250, 4320},
        {"width -1 still takes a stored height", {100, 500, -1, 2000}, 5250, 4320, 5250, 4320, 100, 500, 5250, 2000},
        {"nothing stored takes the defaults", {0, 0, 0, 0}, 1000, 800, 5250, 4320, 0, 0, 5250, 4320},
        {"non-positive defaults leave the size", {0, 0, 0, 0}, 1000, 800, 0, -5, 0, 0, 1000, 800},
    };
    for (const PlacementCase& c : cases) {
        FakeWindow window(c.windowWidth, c.windowHeight);
        ApplyWindowPlacement(window, c.stored, c.defaultWidth, c.defaultHeight, kScreen, kBorderOnly);
        EXPECT_DOUBLE_EQ(window.left(), c.left) << c.fault;
        EXPECT_DOUBLE_EQ(window.top(), c.top) << c.fault;
        EXPECT_DOUBLE_EQ(window.width(), c.width) << c.fault;
        EXPECT_DOUBLE_EQ(window.height(), c.height) << c.fault;
    }
}

TEST(ApplyWindowPlacement, OverflowingRightEdgeIsAnAutomationError)
{
    FakeWindow window(5250, 4320);
    EXPECT_EQ(didev::testing::errorNumberOf([&] { ApplyWindowPlacement(window, {2147483000, 0, 1000, 100}, 5250, 4320, kScreen, {}); }), 6);
}

TEST(WindowMetrics, FrameSplitsIntoCaptionFrameAndBorderRoundedBeforeDoubling)
{
    const struct {
        const char* fault;
        QMargins frame;
        double twipsPerPixel;
        WindowMetrics expected;
    } cases[] = {
        {"typical frame at 96 DPI", {4, 27, 4, 4}, 15, {345, 90, 90, 30, 30}},
        {"a one-pixel frame is all border", {1, 1, 1, 1}, 15, {0, 0, 0, 30, 30}},
        // 1 pixel at 100 DPI is 14.4 twips: 14 doubled is 28, not 29.
        {"rounding comes before doubling", {2, 2, 2, 2}, 14.4, {0, 28, 28, 28, 28}},
        {"uneven sides take the thinner one", {3, 30, 6, 3}, 15, {405, 60, 60, 30, 30}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(windowMetricsFromFrame(c.frame, c.twipsPerPixel, c.twipsPerPixel), c.expected) << c.fault;
}

class WidgetPlacement : public ::testing::Test {
protected:
    void SetUp() override { setFixedScreenMetrics(ScreenMetrics{19200, 14400, 15, 15}); }
    void TearDown() override { setFixedScreenMetrics(std::nullopt); }
};

TEST_F(WidgetPlacement, WindowLandsWithItsOuterFrameAndStoresTheSamePlacedAfterOrBeforeShowing)
{
    // Closed and reopened several times: the stored size must not creep by the frame.
    WindowPlacement stored{1500, 750, 4500, 3000};
    for (int session = 0; session < 4; ++session) {
        QWidget window;
        new QLabel(QStringLiteral("content"), &window);   // the window's own children stay what they are
        if (session == 0) {
            window.show();
            QApplication::processEvents();
        }
        WidgetPlacedWindow placed(window);
        ApplyWindowPlacement(placed, stored, kDefaultWindowWidth, kDefaultWindowHeight);
        window.show();
        QApplication::processEvents();
        QApplication::processEvents();
        EXPECT_EQ(window.frameGeometry(), QRect(100, 50, 300, 200)) << session;
        const QMargins frame = window.windowHandle()->frameMargins();
        EXPECT_EQ(window.size(), QSize(300 - frame.left() - frame.right(), 200 - frame.top() - frame.bottom()));
        StoreWindowPlacement(placed, stored);
        EXPECT_EQ(stored, (WindowPlacement{1500, 750, 4500, 3000})) << session;
    }
}

// Taken off the top again by the viewer's printing (FramePrintingTest).
TEST(KeepOnTop, ShownWindowStaysShownInPlaceAndOnTopAndAHiddenOneIsOnTopWhenShown)
{
    QWidget window;
    window.setGeometry(40, 30, 200, 100);
    window.show();
    QApplication::processEvents();
    const QRect before = window.frameGeometry();

    keepOnTop(window);
    QApplication::processEvents();
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(window.frameGeometry(), before);

    // A hidden window stays hidden, and is on top once shown.
    QWidget hidden;
    keepOnTop(hidden);
    EXPECT_FALSE(hidden.isVisible());
    hidden.show();
    QApplication::processEvents();
    EXPECT_TRUE(hidden.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
}
