#include "capture/CaptureWindow.h"
#include "capture/DeviceWatch.h"
#include "capture/VideoView.h"
#include "support/TestModule.h"
#include "support/WindowFixture.h"
#include "ui/PictureBox.h"
#include "ui/Screen.h"
#include "ui/StatusPanel.h"
#include "ui/WindowFrame.h"

#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

using namespace didev;
using namespace didev::testing;

namespace {

constexpr int kWait = 5000;
// Heartbeat (up to 1 s) plus the first reconnection tick (1 s), with room for a loaded machine.
constexpr int kReconnectWait = 3500;

class CaptureWindowTest : public WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        testModule().state().closeNotifyRequest = QStringLiteral("Y");
    }

    // Not on the frame road: grabs and the viewer are not wired.
    void open(const QString& video, const QString& audio = QStringLiteral("Mic"))
    {
        window = std::make_unique<CaptureWindow>(testModule().state(), virtualDevices(video, audio));
        window->load();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    QString panelText(int index) { return window->panel(index).text(); }
    bool logoShown() { return window->logo().isVisible(); }
    CaptureControl& capture() { return window->captureControl(); }
};

// What the capture log says while it lives.
class CaptureLogRecorder {
public:
    CaptureLogRecorder() { previous_ = qInstallMessageHandler(&CaptureLogRecorder::record); }
    ~CaptureLogRecorder() { qInstallMessageHandler(previous_); }

    static QStringList& lines()
    {
        static QStringList recorded;
        return recorded;
    }

private:
    static void record(QtMsgType, const QMessageLogContext& context, const QString& text)
    {
        if (context.category && QLatin1String(context.category) == QLatin1String("didev.capture"))
            lines().append(text);
    }
    QtMessageHandler previous_ = nullptr;
};

} // namespace

TEST_F(CaptureWindowTest, StartupSelectsTheFirstDevicesAndStartsThePreview)
{
    open(QStringLiteral("Cam A;Cam B:ball"), QStringLiteral("Mic 1;Mic 2"));

    EXPECT_TRUE(testModule().state().captureWindowLoaded);
    EXPECT_EQ(capture().videoDevices().selectedIndex(), 0);
    EXPECT_EQ(capture().audioDevices().selectedIndex(), 0);
    EXPECT_TRUE(capture().preview());
    EXPECT_TRUE(capture().videoRunning());
    EXPECT_TRUE(capture().audioRunning());
    EXPECT_TRUE(capture().isReadyForStill(CaptureControl::kStillMode)) << "still set-up ran with the still mode";

    EXPECT_EQ(panelText(1), QStringLiteral("Cam A"));
    EXPECT_EQ(panelText(2), QStringLiteral("Mic 1"));
    EXPECT_FALSE(logoShown());
    EXPECT_FALSE(window->reconnectPending());
    EXPECT_FALSE(window->reconnectionTimer().isActive());

    // The video fills the client area above the status bar and frames reach it.
    const QRect video = window->videoView().geometry();
    EXPECT_EQ(video.topLeft(), QPoint(0, 0));
    EXPECT_EQ(video.width(), window->width());
    EXPECT_EQ(video.bottom() + 1, window->statusBar().y());
    EXPECT_EQ(window->statusBar().geometry().bottom() + 1, window->height());
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->videoView().framesShown() >= 2; }, kWait));
}

TEST_F(CaptureWindowTest, StoredPlacementIsAppliedAndAZeroHeightTakesTheDesignSize)
{
    testModule().state().captureWindowPlacement = {1500, 1200, 6000, 4500};
    open(QStringLiteral("Cam"));
    EXPECT_DOUBLE_EQ(window->placement().left(), 1500);
    EXPECT_DOUBLE_EQ(window->placement().top(), 1200);
    EXPECT_DOUBLE_EQ(window->placement().width(), 6000);
    EXPECT_DOUBLE_EQ(window->placement().height(), 4500);
    EXPECT_EQ(window->videoView().width(), window->width());
    window.reset();

    testModule().state().captureWindowPlacement = {1500, 1200, 6000, 0};
    open(QStringLiteral("Cam"));
    EXPECT_DOUBLE_EQ(window->placement().width(), 5250);
    EXPECT_DOUBLE_EQ(window->placement().height(), 4320);

    // Width -1 keeps the design width, also after a window that was wider, and a window that
    // would run past the right edge is pulled back by that width.
    window->resize(900, 700);
    window->unload();
    testModule().state().captureWindowPlacement = {static_cast<int32_t>(1280 * kTwips) - 1000, 1200, -1, 4500};
    window->load();
    EXPECT_DOUBLE_EQ(window->placement().width(), 5250);
    EXPECT_DOUBLE_EQ(window->placement().height(), 4500);
    EXPECT_DOUBLE_EQ(window->placement().left(), 1280 * kTwips - 5250 - currentWindowMetrics().borderWidth);
}

TEST_F(CaptureWindowTest, WithoutVideoTheLogoShowsUntilACameraIsPluggedInAndComesBackWhenItGoes)
{
    open(QString(), QStringLiteral("Mic"));

    EXPECT_EQ(capture().videoDevices().selectedIndex(), -1);
    EXPECT_EQ(capture().audioDevices().selectedIndex(), 0);
    EXPECT_EQ(panelText(1), QStringLiteral("No Video"));
    EXPECT_EQ(panelText(2), QStringLiteral("Mic"));
    EXPECT_TRUE(window->reconnectPending()) << "load hands the missing video to the heartbeat";

    ASSERT_TRUE(logoShown());
    const PictureBox& logo = window->logo();
    EXPECT_GT(window->logoSource().Width(), 0) << "the logo picture ships with the module";
    EXPECT_NEAR(logo.Height() / logo.Width(), window->logoSource().Height() / window->logoSource().Width(), 0.01);

    // In a wide, short window the logo stays behind the status bar.
    window->resize(1200, 220);
    const QRect statusBar = window->statusBar().geometry();
    for (const QPoint& point : {statusBar.topLeft() + QPoint(1, 1), statusBar.center()}) {
        const QWidget* hit = window->childAt(point);
        EXPECT_TRUE(hit == &window->statusBar() || window->statusBar().isAncestorOf(hit)) << point.x() << "," << point.y();
    }

    QSignalSpy ticks(&window->reconnectionTimer(), &QTimer::timeout);
    window->setReconnectionInterval(10);
    window->heartbeatTimer().setInterval(10);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks.count() >= 2; }, kReconnectWait));
    EXPECT_TRUE(window->reconnectionTimer().isActive());
    EXPECT_FALSE(window->reconnectPending());
    EXPECT_TRUE(logoShown());
    EXPECT_EQ(panelText(1), QStringLiteral("No Video"));

    // A camera plugged in is taken; pulled out, the logo comes back.
    capture().plugVirtualVideo(VirtualVideoDevice{QStringLiteral("Late Cam"), QStringLiteral("smpte"), {320, 240, 25}});
    window->deviceWatch()->postNotice(QStringLiteral("add"), QStringLiteral("video4linux"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return capture().videoDevices().selectedIndex() == 0; }, kReconnectWait));
    EXPECT_EQ(panelText(1), QStringLiteral("Late Cam"));
    EXPECT_FALSE(logoShown());
    EXPECT_FALSE(window->reconnectionTimer().isActive());
    EXPECT_TRUE(capture().videoRunning()) << "the preview stayed on through the reconnection";
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->videoView().framesShown() >= 1; }, kWait));

    capture().unplugVirtualVideo(QStringLiteral("Late Cam"));
    window->deviceWatch()->postNotice(QStringLiteral("remove"), QStringLiteral("video4linux"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return logoShown(); }, kReconnectWait));
    EXPECT_EQ(panelText(1), QStringLiteral("No Video"));
    // Around the logo no last picture stays that could pass for live video.
    const QImage area = window->videoView().grab().toImage();
    int lit = 0;
    for (int y = 0; y < area.height(); ++y) {
        for (int x = 0; x < area.width(); ++x)
            lit += qGray(area.pixel(x, y)) != 0;
    }
    EXPECT_EQ(lit, 0);
    EXPECT_TRUE(window->reconnectionTimer().isActive()) << "attempts go on every second";
}

TEST_F(CaptureWindowTest, AtItsSmallestThePanelsStayReadableAndALongNameIsElided)
{
    const QString name = QStringLiteral("Studio Camera with a Rather Long Device Name HD Pro");
    open(name);
    window->resize(1, 1);
    EXPECT_GE(window->width(), 100);
    EXPECT_GE(window->videoView().height(), window->statusBar().height()) << "some video shows";
    const StatusPanel& video = window->panel(1);
    EXPECT_EQ(video.text(), name);
    EXPECT_EQ(video.toolTip(), name);
    EXPECT_LT(video.contentsRect().width(), video.fontMetrics().horizontalAdvance(name));
    for (int index : {2, 3}) {
        const StatusPanel& panel = window->panel(index);
        EXPECT_EQ(panel.toolTip(), panel.text());
        EXPECT_GE(panel.contentsRect().width(), panel.fontMetrics().horizontalAdvance(panel.text())) << index;
    }
}

TEST_F(CaptureWindowTest, AFailureIsNoDeviceNoticeAndABrokenCameraNeverTakesTheChoice)
{
    CaptureLogRecorder log;
    CaptureLogRecorder::lines().clear();
    open(QStringLiteral("Broken:smpte::broken;Cam"));
    // Load found nothing it could start, so the reconnection ran and passed over the broken camera.
    ASSERT_TRUE(QTest::qWaitFor([&] { return capture().videoRunning(); }, kReconnectWait));
    EXPECT_EQ(panelText(1), QStringLiteral("Cam"));
    EXPECT_TRUE(CaptureLogRecorder::lines().filter(QStringLiteral("\"Broken\" failed")).filter(QStringLiteral("Could not open device")).size() == 1)
        << CaptureLogRecorder::lines().join(u'\n').toStdString();

    // A camera coming or going reconnects to the first that works, never to the broken one.
    QSignalSpy ticks(&window->reconnectionTimer(), &QTimer::timeout);
    window->deviceWatch()->postNotice(QStringLiteral("add"), QStringLiteral("video4linux"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks.count() >= 1; }, kReconnectWait));
    EXPECT_EQ(capture().videoDevices().selectedIndex(), 1);
    EXPECT_TRUE(capture().videoRunning());

    // A camera failing while it runs shows the logo and is logged; it is no device notice.
    ASSERT_TRUE(capture().failSource(DeviceKind::Video, QStringLiteral("cable pulled")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return logoShown(); }, kWait));
    EXPECT_EQ(panelText(1), QStringLiteral("No Video"));
    EXPECT_FALSE(window->reconnectPending());
    EXPECT_FALSE(window->reconnectionTimer().isActive());
    EXPECT_FALSE(CaptureLogRecorder::lines().filter(QStringLiteral("\"Cam\" failed: ")).filter(QStringLiteral("cable pulled")).isEmpty());
}

TEST_F(CaptureWindowTest, BannerGoesWhenItsTimerEnds)
{
    open(QStringLiteral("Cam"));
    window->showGrabFailed();
    PictureBox& banner = window->grabFailedBanner();
    ASSERT_TRUE(banner.isVisible());

    // Each failure starts the timer again; its end hides the banner.
    EXPECT_TRUE(window->bannerTimer().isActive());
    window->bannerTimer().setInterval(10);
    window->showGrabFailed();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !banner.isVisible(); }, kWait));
    EXPECT_FALSE(window->bannerTimer().isActive());
}

TEST_F(CaptureWindowTest, ShutdownReleasesEverythingBeforeFormClosed)
{
    open(QStringLiteral("Cam"));
    bool viewerUnloaded = false;
    QObject::connect(window.get(), &CaptureWindow::viewerCloseRequested, [&] { viewerUnloaded = true; });
    testModule().state().snapshotStore.resizePreserve(1);
    testModule().state().snapshotStore.at(1).picture = Picture::create(2, 2, nullptr);
    testModule().state().frameCounter = 1;
    window->showGrabFailed();
    window->move(30, 40);

    int closed = 0;
    QObject::connect(window.get(), &CaptureWindow::formClosed, [&] {
        ++closed;
        // Inside the event: everything released, the placement stored, the window still loaded.
        EXPECT_TRUE(testModule().state().captureWindowLoaded);
        EXPECT_FALSE(window->bannerTimer().isActive());
        EXPECT_EQ(window->deviceWatch(), nullptr);
        EXPECT_FALSE(capture().preview());
        EXPECT_EQ(capture().videoDevices().selectedIndex(), -1);
        EXPECT_EQ(capture().audioDevices().selectedIndex(), -1);
        EXPECT_EQ(testModule().state().snapshotStore.upperBound(), 0);
        EXPECT_EQ(testModule().state().frameCounter, 0);
        EXPECT_TRUE(viewerUnloaded);
        EXPECT_EQ(testModule().state().captureWindowPlacement, (WindowPlacement{450, 600, 5250, 4320}));
    });
    window->close();   // the close box

    ASSERT_EQ(closed, 1);
    EXPECT_FALSE(testModule().state().captureWindowLoaded);
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->heartbeatTimer().isActive());
    EXPECT_FALSE(capture().videoRunning());
    window->unload();
    EXPECT_EQ(closed, 1) << "an unloaded window unloads once";
}
