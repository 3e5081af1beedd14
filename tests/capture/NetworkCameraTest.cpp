#include "capture/CaptureWindow.h"
#include "capture/DeviceMonitor.h"
#include "capture/NetworkCameras.h"
#include "support/TestModule.h"
#include "support/NetworkSenders.h"
#include "support/WindowFixture.h"
#include "ui/PictureBox.h"
#include "ui/StatusPanel.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

using namespace didev;
using namespace std::chrono_literals;
using didev::testing::listsVideo;

namespace {

// A device turns up after the source's first picture, and the window takes it at its next
// reconnection tick; with room for a loaded machine.
constexpr int kWait = 12000;

class NetworkCameraTest : public ::testing::TestWithParam<NetworkSenderKind> {
protected:
    TestModule owner;
    void SetUp() override
    {
        ModuleState& state = testModule().state();
        state.captureWindowPlacement = {};
        state.closeNotifyRequest = QStringLiteral("N");
        state.AllowInternalCapture = kHostTrue;
    }

    std::unique_ptr<CaptureWindow> window;

    CaptureControl& capture() { return window->captureControl(); }
    QSize grab()
    {
        capture().startCapture(CaptureControl::kStillMode);
        const PicturePtr still = capture().fetchStill(kWait);
        capture().stopCapture();
        return still ? QSize(still->width(), still->height()) : QSize();
    }
};

} // namespace

TEST_P(NetworkCameraTest, IsListedStreamsGrabsAtItsSizeIsLostWhenTheSenderStopsAndComesBack)
{
    const NetworkSenderKind& protocol = GetParam();
#if defined(__SANITIZE_ADDRESS__)
    // The HTTP source of GStreamer 1.22 (souphttpsrc) leaves a few dozen bytes behind each time it
    // stops, in its own dispose; the leak checker would fail the program for it. The regular run
    // covers HTTP.
    if (std::string(protocol.name) == "HttpMultipartJpeg")
        GTEST_SKIP() << "souphttpsrc leaks on stop";
#endif
    const int port = freePort(protocol.portType);
    const int nobodysPort = freePort(protocol.portType);
    ASSERT_NE(port, 0);
    NetworkSender sender(protocol, port);
    ASSERT_TRUE(sender.start());

    DeviceMonitor monitor;
    const QString name = QStringLiteral("Net Cam");
    const NetworkTimings timings{3000ms, 500ms, 100ms};
    // A source that never answers beside it: it is tried all along and never holds anything up.
    NetworkCameras cameras({NetworkStream::fromUri(name.toStdString(), protocol.uri(port).toStdString(), timings),
                            NetworkStream::fromUri("Nobody", protocol.uri(nobodysPort).toStdString(), timings)});
    CaptureOptions options;
    options.systemDevices = false;
    window = std::make_unique<CaptureWindow>(testModule().state(), options);
    window->load();
    window->show();
    QSignalSpy frames(&capture(), &CaptureControl::frameArrived);

    ASSERT_TRUE(QTest::qWaitFor([&] { return capture().videoRunning() && !frames.isEmpty(); }, kWait))
        << protocol.uri(port).toStdString();
    EXPECT_EQ(window->panel(1).text(), name);
    EXPECT_EQ(grab(), QSize(protocol.width, protocol.height));
    EXPECT_FALSE(listsVideo(capture(), QStringLiteral("Nobody")));

    sender.stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->logo().isVisible() && !listsVideo(capture(), name); }, kWait));
    EXPECT_EQ(window->panel(1).text(), QStringLiteral("No Video"));

    ASSERT_TRUE(sender.start());
    frames.clear();
    ASSERT_TRUE(QTest::qWaitFor([&] { return capture().videoRunning() && !frames.isEmpty(); }, kWait));
    EXPECT_EQ(window->panel(1).text(), name);
    EXPECT_EQ(grab(), QSize(protocol.width, protocol.height));
    window.reset();
}

INSTANTIATE_TEST_SUITE_P(Protocols, NetworkCameraTest, ::testing::ValuesIn(networkSenderKinds()),
                         [](const ::testing::TestParamInfo<NetworkSenderKind>& info) { return std::string(info.param.name); });
