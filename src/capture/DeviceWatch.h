#pragma once

#include "capture/CaptureDevice.h"

#include <QObject>
#include <QString>

#include <memory>

struct udev;
struct udev_monitor;
class QSocketNotifier;

namespace didev {

// Watches device arrival and removal on the event loop and signals a video device coming or
// going; the capture window's heartbeat does the rest.
// Notices come from udev and from the process's device monitor (a provider may announce its
// cameras only there); a camera failing is no notice.
class DeviceWatch : public QObject {
    Q_OBJECT

public:
    explicit DeviceWatch(QObject* parent = nullptr);
    ~DeviceWatch() override;

    // "udev" when udevd runs, else "kernel"; empty when no monitor could be opened.
    QString source() const { return source_; }
    // Why no monitor could be opened; empty when one is open.
    QString failure() const { return failure_; }
    bool active() const { return monitor_ != nullptr; }

    // A notice that arrives later on the event loop and goes through the filter as a udev
    // notice does ("add" / "remove" / "change" ..., "video4linux" / "block" / "sound" ...).
    void postNotice(const QString& action, const QString& subsystem);

    // The filter: only the arrival or removal of a video4linux device counts.
    static bool isVideoDeviceChange(const QString& action, const QString& subsystem);

    // The subsystem named in notices from the device monitor.
    static constexpr const char* kMonitorVideo = "Video/Source";
    static constexpr const char* kMonitorAudio = "Audio/Source";

signals:
    // A video device came or went.
    void videoDeviceChanged();
    // Every notice after the filter ran; `videoDeviceChanged` tells whether it was a video device's.
    void noticeHandled(const QString& action, const QString& subsystem, bool videoDeviceChanged);

private:
    struct UdevUnref {
        void operator()(udev* context) const;
    };
    struct MonitorUnref {
        void operator()(udev_monitor* monitor) const;
    };

    void open();
    void readMonitor();
    void handleNotice(const QString& action, const QString& subsystem);
    void watchDeviceMonitor();
    void handleMonitorNotice(const QString& action, DeviceKind kind);

    std::unique_ptr<udev, UdevUnref> udev_;
    std::unique_ptr<udev_monitor, MonitorUnref> monitor_;
    QSocketNotifier* notifier_ = nullptr;
    QString source_;
    QString failure_;
};

} // namespace didev
