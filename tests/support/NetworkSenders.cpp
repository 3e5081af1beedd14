#include "support/NetworkSenders.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace didev {

namespace {

QString gstLaunch(const NetworkSenderKind& kind, const QString& tail)
{
    return QStringLiteral("gst-launch-1.0 -q videotestsrc is-live=true pattern=ball"
                          " ! video/x-raw,format=I420,width=%1,height=%2,framerate=25/1 ! ")
               .arg(kind.width)
               .arg(kind.height)
        + tail;
}

QString python(const char* protocol, const NetworkSenderKind& kind, int port)
{
    return QStringLiteral("/usr/bin/python3 %1 %2 %3 %4 %5")
        .arg(QStringLiteral(DIDEV_NETWORK_SENDER), QString::fromLatin1(protocol))
        .arg(port)
        .arg(kind.width)
        .arg(kind.height);
}

} // namespace

const std::vector<NetworkSenderKind>& networkSenderKinds()
{
    static const std::vector<NetworkSenderKind> kinds{
        {"SrtListener", 320, 240, SOCK_DGRAM,
         [](const NetworkSenderKind& kind, int port) {
             return gstLaunch(kind, QStringLiteral("x264enc tune=zerolatency speed-preset=ultrafast key-int-max=10"
                                                   " ! mpegtsmux ! srtsink uri=srt://127.0.0.1:%1?mode=listener"
                                                   " wait-for-connection=false latency=100")
                                        .arg(port));
         },
         [](int port) { return QStringLiteral("srt://127.0.0.1:%1").arg(port); }},
        {"RtpJpegOverUdp", 352, 288, SOCK_DGRAM,
         [](const NetworkSenderKind& kind, int port) {
             return gstLaunch(kind, QStringLiteral("jpegenc ! rtpjpegpay ! udpsink host=127.0.0.1 port=%1").arg(port));
         },
         [](int port) { return QStringLiteral("udp://127.0.0.1:%1?encoding=JPEG").arg(port); }},
        {"HttpMultipartJpeg", 400, 300, SOCK_STREAM,
         [](const NetworkSenderKind& kind, int port) { return python("http", kind, port); },
         [](int port) { return QStringLiteral("http://127.0.0.1:%1/cam").arg(port); }},
        {"RtspH264", 384, 216, SOCK_STREAM,
         [](const NetworkSenderKind& kind, int port) { return python("rtsp", kind, port); },
         [](int port) { return QStringLiteral("rtsp://127.0.0.1:%1/cam").arg(port); }},
    };
    return kinds;
}

int freePort(int portType)
{
    const int socket = ::socket(AF_INET, portType, 0);
    if (socket < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    const bool bound = ::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0
        && ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    ::close(socket);
    return bound ? ntohs(address.sin_port) : 0;
}

NetworkSender::NetworkSender(const NetworkSenderKind& kind, int port)
    : command_(kind.command(kind, port))
{
    process_.setProcessChannelMode(QProcess::ForwardedChannels);
}

NetworkSender::~NetworkSender()
{
    stop();
}

bool NetworkSender::start()
{
    process_.startCommand(command_);
    return process_.waitForStarted();
}

void NetworkSender::stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.kill();
    process_.waitForFinished();
}

} // namespace didev
