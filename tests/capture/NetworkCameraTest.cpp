#include "capture/CaptureWindow.h"
#include "capture/DeviceMonitor.h"
#include "capture/NetworkCameras.h"
#include "state/ModuleState.h"
#include "ui/PictureBox.h"
#include "ui/StatusPanel.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>

using namespace didev;
using namespace std::chrono_literals;

namespace {

// A device turns up after the source's first picture, and the window takes it at its next
// reconnection tick; with room for a loaded machine.
constexpr int kWait = 12000;

// A port nobody uses now, of the kind the sender listens or sends on.
int freePort(int type)
{
    const int socket = ::socket(AF_INET, type, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    const bool bound = ::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0
        && ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    ::close(socket);
    return bound ? ntohs(address.sin_port) : 0;
}

QString gstLaunch(const QString& pipeline)
{
    return QStringLiteral("gst-launch-1.0 -q ") + pipeline;
}

QString pattern(int width, int height)
{
    return QStringLiteral("videotestsrc is-live=true pattern=ball ! video/x-raw,format=I420,width=%1,height=%2,framerate=25/1")
        .arg(width)
        .arg(height);
}

struct Protocol {
    const char* name;
    int width;
    int height;
    int portType;
    QString (*sender)(const Protocol&, int port);
    QString (*uri)(int port);
};

const Protocol kProtocols[] = {
    {"SrtListener", 320, 240, SOCK_DGRAM,
     [](const Protocol& p, int port) {
         return gstLaunch(pattern(p.width, p.height)
                          + QStringLiteral(" ! x264enc tune=zerolatency speed-preset=ultrafast key-int-max=10 ! mpegtsmux"
                                           " ! srtsink uri=srt://127.0.0.1:%1?mode=listener wait-for-connection=false")
                                .arg(port));
     },
     [](int port) { return QStringLiteral("srt://127.0.0.1:%1").arg(port); }},
    {"RtpJpegOverUdp", 352, 288, SOCK_DGRAM,
     [](const Protocol& p, int port) {
         return gstLaunch(pattern(p.width, p.height)
                          + QStringLiteral(" ! jpegenc ! rtpjpegpay ! udpsink host=127.0.0.1 port=%1").arg(port));
     },
     [](int port) { return QStringLiteral("udp://127.0.0.1:%1?encoding=JPEG").arg(port); }},
    {"HttpMultipartJpeg", 400, 300, SOCK_STREAM,
     [](const Protocol& p, int port) {
         return QStringLiteral("/usr/bin/python3 %1 http %2 %3 %4").arg(QStringLiteral(NETWORK_SENDER)).arg(port).arg(p.width).arg(p.height);
     },
     [](int port) { return QStringLiteral("http://127.0.0.1:%1/cam").arg(port); }},
    {"RtspH264", 384, 216, SOCK_STREAM,
     [](const Protocol& p, int port) {
         return QStringLiteral("/usr/bin/python3 %1 rtsp %2 %3 %4").arg(QStringLiteral(NETWORK_SENDER)).arg(port).arg(p.width).arg(p.height);
     },
     [](int port) { return QStringLiteral("rtsp://127.0.0.1:%1/cam").arg(port); }},
};

// A camera on the network, run by the test as a process of its own.
class Sender {
public:
    explicit Sender(QString command)
        : command_(std::move(command))
    {
        process_.setProcessChannelMode(QProcess::ForwardedChannels);
    }
    ~Sender() { stop(); }

    void start()
    {
        process_.startCommand(command_);
        ASSERT_TRUE(process_.waitForStarted()) << command_.toStdString();
    }
    // As a transmitter switched off: no goodbye to the receiver.
    void stop()
    {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.kill();
        process_.waitForFinished();
    }

private:
    QString command_;
    QProcess process_;
};

class NetworkCameraTest : public testing::TestWithParam<Protocol> {
protected:
    void SetUp() override
    {
        ModuleState& state = moduleState();
        state.captureWindowPlacement = {};
        state.closeNotifyRequest = QStringLiteral("N");
        state.AllowInternalCapture = kHostTrue;
        state.videoDeviceChanged = kHostFalse;
    }

    std::unique_ptr<CaptureWindow> window;

    CaptureControl& capture() { return window->captureControl(); }
    bool lists(const QString& name)
    {
        const DeviceList& video = capture().videoDevices();
        for (int i = 0; i < video.count(); ++i) {
            if (video.itemName(i) == name)
                return true;
        }
        return false;
    }
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
    const Protocol& protocol = GetParam();
    const int port = freePort(protocol.portType);
    const int nobodysPort = freePort(protocol.portType);
    ASSERT_NE(port, 0);
    Sender sender(protocol.sender(protocol, port));
    sender.start();

    DeviceMonitor monitor;
    const QString name = QStringLiteral("Net Cam");
    const NetworkTimings timings{1500ms, 500ms, 100ms};
    // A source that never answers beside it: it is tried all along and never holds anything up.
    NetworkCameras cameras({NetworkStream::fromUri(name.toStdString(), protocol.uri(port).toStdString(), timings),
                            NetworkStream::fromUri("Nobody", protocol.uri(nobodysPort).toStdString(), timings)});
    CaptureOptions options;
    options.systemDevices = false;
    window = std::make_unique<CaptureWindow>(options);
    window->load();
    window->show();
    QSignalSpy frames(&capture(), &CaptureControl::frameArrived);

    ASSERT_TRUE(QTest::qWaitFor([&] { return capture().videoRunning() && !frames.isEmpty(); }, kWait))
        << protocol.uri(port).toStdString();
    EXPECT_EQ(window->panel(1).text(), name);
    EXPECT_EQ(grab(), QSize(protocol.width, protocol.height));
    EXPECT_FALSE(lists(QStringLiteral("Nobody")));

    QElapsedTimer clock;
    sender.stop();
    clock.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->logo().isVisible() && !lists(name); }, kWait));
    const qint64 lost = clock.elapsed();
    EXPECT_EQ(window->panel(1).text(), QStringLiteral("No Video"));

    sender.start();
    clock.restart();
    frames.clear();
    ASSERT_TRUE(QTest::qWaitFor([&] { return capture().videoRunning() && !frames.isEmpty(); }, kWait));
    const qint64 back = clock.elapsed();
    EXPECT_EQ(window->panel(1).text(), name);
    EXPECT_EQ(grab(), QSize(protocol.width, protocol.height));
    std::printf("%s: lost after %lld ms, streaming again after %lld ms\n", protocol.name, static_cast<long long>(lost),
                static_cast<long long>(back));
    window.reset();
}

INSTANTIATE_TEST_SUITE_P(Protocols, NetworkCameraTest, testing::ValuesIn(kProtocols),
                         [](const testing::TestParamInfo<Protocol>& info) { return std::string(info.param.name); });
