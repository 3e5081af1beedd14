#pragma once

#include <QProcess>
#include <QString>

#include <vector>

namespace didev {

// A camera on the network for tests and benchmarks: the command that starts it as a process of
// its own (gst-launch-1.0, or the Python sender for RTSP and HTTP) on a local port, the URI the
// module reaches it at, and the size of its pictures.
struct NetworkSenderKind {
    const char* name;
    int width;
    int height;
    int portType;   // SOCK_DGRAM or SOCK_STREAM
    QString (*command)(const NetworkSenderKind&, int port);
    QString (*uri)(int port);
};

// SRT listener (H.264 in MPEG-TS), RTP/JPEG over UDP, HTTP multipart JPEG, RTSP (H.264).
const std::vector<NetworkSenderKind>& networkSenderKinds();

// A local port nobody uses now, of the socket type given; 0 when none could be had.
int freePort(int portType);

// A sender process.
class NetworkSender {
public:
    NetworkSender(const NetworkSenderKind& kind, int port);
    ~NetworkSender();
    NetworkSender(const NetworkSender&) = delete;
    NetworkSender& operator=(const NetworkSender&) = delete;

    bool start();
    // As a transmitter switched off: no goodbye to the receiver.
    void stop();

private:
    QString command_;
    QProcess process_;
};

} // namespace didev
