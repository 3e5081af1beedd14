#include "automation/FrameRoad.h"
#include "capture/CaptureWindow.h"
#include "common/AutomationDate.h"
#include "ui/PictureBox.h"
#include "ui/StatusPanel.h"
#include "viewer/ViewerTestSupport.h"

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace didev {
namespace {

using namespace didev::testing;

constexpr int kWait = 5000;
constexpr int kFocusWait = 20000;   // a loaded machine's window manager can be slow to move the focus

class FrameRoadTest : public WindowFixture {
protected:
    // The number of stored frames when each KeyDown arrived.
    std::vector<int> framesAtKeyDown;
    std::vector<int16_t> keys;

    void SetUp() override
    {
        WindowFixture::SetUp();
        CaptureOptions options;
        options.systemDevices = false;
        options.virtualVideo.append(VirtualVideoDevice{QStringLiteral("Cam"), QStringLiteral("smpte"), {320, 240, 25}});
        openWindow(options);
        QObject::connect(window.get(), &CaptureWindow::keyDown, [this](int16_t& keyCode, int16_t&) {
            keys.push_back(keyCode);
            framesAtKeyDown.push_back(testModule().state().snapshotStore.count());
        });
        ASSERT_TRUE(QTest::qWaitFor([this] { return window->captureControl().newestFrame() != nullptr; }, kWait));
    }

    int16_t grab() { return CaptureSnapshot(testModule(), *window, QStringLiteral("01:02:03:04")); }

    bool bannerShown() const { return window->grabFailedBanner().isVisible(); }
    void hideBanner()
    {
        window->grabFailedBanner().hide();
        window->bannerTimer().stop();
    }
};

TEST_F(FrameRoadTest, TheFirstGrabIsNumberedOneAndOpensTheViewerUnderTheCaptureWindowAtTheFrameSize)
{
    const double before = automationDateNow();
    EXPECT_EQ(grab(), 1);
    const FrameStore& store = testModule().state().snapshotStore;
    ASSERT_EQ(store.count(), 1);
    const SnapshotRecord& record = store.at(1);
    EXPECT_EQ(record.frameID, 1);
    EXPECT_EQ(record.frameTimecode, QStringLiteral("01:02:03:04"));
    EXPECT_GE(record.frameTime, before);
    EXPECT_LE(record.frameTime, automationDateNow());
    ASSERT_TRUE(record.picture);
    EXPECT_EQ(record.picture->width(), 320);
    EXPECT_EQ(record.picture->height(), 240);
    EXPECT_FALSE(bannerShown());

    SnapshotViewer* viewer = testModule().loadedViewer();
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_EQ(viewer->currentFrame(), 1);
    EXPECT_EQ(viewer->framePicture().picture(), record.picture) << "not opened at the capture size";
    // Frame under frame, also where the window manager frames the viewer after it is shown.
    const bool framing = QGuiApplication::platformName() == QLatin1String("xcb");
    (void)QTest::qWaitFor([&] {
        return (!framing || !viewer->windowHandle()->frameMargins().isNull())
            && viewer->placement().top() == window->placement().top() + window->placement().height();
    }, kWait);
    if (framing) {
        EXPECT_FALSE(viewer->windowHandle()->frameMargins().isNull()) << "openbox framed the viewer";
    }
    EXPECT_DOUBLE_EQ(viewer->placement().left(), window->placement().left());
    EXPECT_DOUBLE_EQ(viewer->placement().top(), window->placement().top() + window->placement().height());
}

TEST_F(FrameRoadTest, TheViewerIsPulledUpWhereItWouldRunPastTheScreenBottomOrGoesWhereItWasLast)
{
    const double screenHeight = 1024 * 15.0;
    window->move(60, 1024 - 200);
    ASSERT_EQ(grab(), 1);
    SnapshotViewer* viewer = testModule().loadedViewer();
    ASSERT_NE(viewer, nullptr);
    EXPECT_DOUBLE_EQ(viewer->placement().top() + viewer->placement().height(), screenHeight);
    EXPECT_DOUBLE_EQ(viewer->placement().left(), 900);

    testModule().unloadViewer();
    flushDeletes();
    testModule().state().viewerPlacement = {4500, 3000, 6000, 5000};
    ASSERT_EQ(grab(), 2);
    viewer = testModule().loadedViewer();
    ASSERT_NE(viewer, nullptr);
    EXPECT_DOUBLE_EQ(viewer->placement().left(), 4500);
    EXPECT_DOUBLE_EQ(viewer->placement().top(), 3000);
    EXPECT_EQ(viewer->currentFrame(), 2);
}

TEST_F(FrameRoadTest, AShownViewerOnlySwitchesToTheNewFrame)
{
    ASSERT_EQ(grab(), 1);
    SnapshotViewer* viewer = testModule().loadedViewer();
    ASSERT_NE(viewer, nullptr);
    viewer->placement().setLeft(3000);
    viewer->placement().setTop(1500);
    const double width = viewer->placement().width();
    ASSERT_EQ(grab(), 2);
    EXPECT_EQ(testModule().loadedViewer(), viewer);
    EXPECT_EQ(viewer->currentFrame(), 2);
    EXPECT_EQ(viewer->panel(1).text(), QStringLiteral("Frame 2 of 2"));
    EXPECT_DOUBLE_EQ(viewer->placement().left(), 3000);
    EXPECT_DOUBLE_EQ(viewer->placement().top(), 1500);
    EXPECT_DOUBLE_EQ(viewer->placement().width(), width);
    EXPECT_EQ(viewer->framePicture().picture(), nullptr) << "switched at the capture size instead of fitted";
}

TEST_F(FrameRoadTest, AFailedStepOrTheLastNumberShowsTheBannerAndStoresNothing)
{
    ASSERT_EQ(grab(), 1);
    ASSERT_EQ(grab(), 2);
    const struct {
        const char* step;
        std::function<void()> prepare;
        int16_t counterAfter;
    } cases[] = {
        {"readiness", [&] { window->captureControl().failNextGrab(GrabStep::Readiness); }, 2},
        {"no number left", [&] { testModule().state().frameCounter = kMaxFrameId; }, kMaxFrameId},
        // A failed fetch uses up its number.
        {"fetch", [&] { window->captureControl().failNextGrab(GrabStep::Fetch); }, 3},
    };
    for (const auto& c : cases) {
        testModule().state().frameCounter = 2;
        hideBanner();
        c.prepare();
        EXPECT_EQ(grab(), 0) << c.step;
        EXPECT_TRUE(bannerShown()) << c.step;
        EXPECT_EQ(testModule().state().snapshotStore.count(), 2) << c.step;
        EXPECT_EQ(testModule().state().frameCounter, c.counterAfter) << c.step;
        EXPECT_EQ(testModule().loadedViewer()->currentFrame(), 2) << c.step;
    }
    // After the failed fetch the capture was stopped: the next grab starts afresh and is number 4.
    testModule().state().frameCounter = 3;
    hideBanner();
    EXPECT_EQ(grab(), 4);
    EXPECT_FALSE(bannerShown());
    EXPECT_EQ(testModule().state().snapshotStore.at(3).frameID, 4);
}

TEST_F(FrameRoadTest, WithoutAccumulationOnlyTheLatestFrameStaysAndNoViewerOpens)
{
    testModule().state().accumulateFrames = false;
    for (int16_t expected = 1; expected <= 3; ++expected)
        EXPECT_EQ(grab(), expected);
    const FrameStore& store = testModule().state().snapshotStore;
    ASSERT_EQ(store.count(), 1);
    EXPECT_EQ(store.at(1).frameID, 3);
    EXPECT_EQ(testModule().loadedViewer(), nullptr);
    EXPECT_FALSE(testModule().state().viewerShown);

    // A failed fetch has already let the kept frame go.
    window->captureControl().failNextGrab(GrabStep::Fetch);
    EXPECT_EQ(grab(), 0);
    EXPECT_TRUE(store.empty());
    EXPECT_EQ(testModule().state().frameCounter, 4);
}

TEST_F(FrameRoadTest, NoVideoDeviceIsAQuietNothing)
{
    window->captureControl().videoDevices().setSelectedIndex(-1);
    hideBanner();
    EXPECT_EQ(grab(), 0);
    EXPECT_FALSE(bannerShown());
    EXPECT_EQ(testModule().state().frameCounter, 0);
    EXPECT_TRUE(testModule().state().snapshotStore.empty());
}

TEST_F(FrameRoadTest, AFullStoreRefusesTheGrabUnlessOnlyTheLatestFrameIsKept)
{
    ASSERT_EQ(grab(), 1);
    ModuleState& state = testModule().state();

    state.snapshotStore.resizePreserve(FrameStore::kMaxFrames);
    state.frameCounter = 100;
    hideBanner();
    EXPECT_EQ(grab(), 0);
    EXPECT_TRUE(bannerShown());
    EXPECT_EQ(state.snapshotStore.count(), FrameStore::kMaxFrames);
    EXPECT_EQ(state.frameCounter, 100);

    // Keeping only the latest frame, a full store is no obstacle.
    state.accumulateFrames = false;
    hideBanner();
    EXPECT_EQ(grab(), 101);
    EXPECT_EQ(state.snapshotStore.count(), 1);
}

TEST_F(FrameRoadTest, TheSKeyGrabsOnlyWhileInternalCaptureIsTrueThenGivesTheFocusBack)
{
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == window.get(); }, kFocusWait));
    const struct {
        const char* fault;
        HostBoolean allow;
        Qt::KeyboardModifiers modifiers;
        int framesAfter;
    } cases[] = {
        {"S did not grab", kHostTrue, Qt::NoModifier, 1},
        {"Ctrl+Alt+S did not grab", kHostTrue, Qt::ControlModifier | Qt::AltModifier, 2},
        {"grabbed while not allowed", kHostFalse, Qt::NoModifier, 2},
        {"a true other than -1 taken as true", HostBoolean{1}, Qt::NoModifier, 2},
    };
    for (const auto& c : cases) {
        testModule().state().AllowInternalCapture = c.allow;
        framesAtKeyDown.clear();
        keys.clear();
        QTest::keyClick(window.get(), Qt::Key_S, c.modifiers);
        EXPECT_EQ(testModule().state().snapshotStore.count(), c.framesAfter) << c.fault;
        // The modifier keys' own presses come first; the S press is the last.
        ASSERT_FALSE(keys.empty()) << c.fault;
        EXPECT_EQ(keys.back(), 'S') << c.fault;
        EXPECT_EQ(framesAtKeyDown.back(), c.framesAfter) << "KeyDown came before the grab: " << c.fault;
        EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == window.get(); }, kFocusWait))
            << "the focus stayed away: " << c.fault;
    }
    ASSERT_NE(testModule().loadedViewer(), nullptr);
    EXPECT_EQ(testModule().loadedViewer()->currentFrame(), 2);
}

} // namespace
} // namespace didev
