#include "capture/DeviceWatch.h"

#include "capture/DeviceMonitor.h"

#include <QFileInfo>
#include <QMetaObject>
#include <QSocketNotifier>

#include <libudev.h>

#include <cerrno>
#include <cstring>

namespace didev {

namespace {

constexpr const char* kUdevControlSocket = "/run/udev/control";
constexpr const char* kVideoSubsystem = "video4linux";

QString systemError(const char* call, int error)
{
    return QStringLiteral("%1: %2").arg(QString::fromLatin1(call), QString::fromLocal8Bit(std::strerror(error)));
}

} // namespace

void DeviceWatch::UdevUnref::operator()(udev* context) const
{
    udev_unref(context);
}

void DeviceWatch::MonitorUnref::operator()(udev_monitor* monitor) const
{
    udev_monitor_unref(monitor);
}

DeviceWatch::DeviceWatch(QObject* parent)
    : QObject(parent)
{
    open();
    watchDeviceMonitor();
}

DeviceWatch::~DeviceWatch() = default;

void DeviceWatch::open()
{
    udev_.reset(udev_new());
    if (!udev_) {
        failure_ = systemError("udev_new", errno);
        return;
    }
    // Without udevd nobody re-broadcasts the kernel's notices, so listen to the kernel directly.
    const char* source = QFileInfo::exists(QString::fromLatin1(kUdevControlSocket)) ? "udev" : "kernel";
    std::unique_ptr<udev_monitor, MonitorUnref> monitor(udev_monitor_new_from_netlink(udev_.get(), source));
    if (!monitor) {
        failure_ = systemError("udev_monitor_new_from_netlink", errno);
        return;
    }
    if (const int result = udev_monitor_enable_receiving(monitor.get()); result < 0) {
        failure_ = systemError("udev_monitor_enable_receiving", -result);
        return;
    }
    monitor_ = std::move(monitor);
    source_ = QString::fromLatin1(source);
    notifier_ = new QSocketNotifier(udev_monitor_get_fd(monitor_.get()), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &DeviceWatch::readMonitor);
}

void DeviceWatch::watchDeviceMonitor()
{
    DeviceMonitor* monitor = DeviceMonitor::current();
    if (!monitor)
        return;
    connect(monitor, &DeviceMonitor::deviceAdded, this, [this](DeviceKind kind) { handleMonitorNotice(QStringLiteral("add"), kind); });
    connect(monitor, &DeviceMonitor::deviceRemoved, this, [this](DeviceKind kind) { handleMonitorNotice(QStringLiteral("remove"), kind); });
}

void DeviceWatch::handleMonitorNotice(const QString& action, DeviceKind kind)
{
    const bool video = kind == DeviceKind::Video;
    if (video)
        emit videoDeviceChanged();
    emit noticeHandled(action, QString::fromLatin1(video ? kMonitorVideo : kMonitorAudio), video);
}

void DeviceWatch::readMonitor()
{
    while (udev_device* device = udev_monitor_receive_device(monitor_.get())) {
        const char* action = udev_device_get_action(device);
        const char* subsystem = udev_device_get_subsystem(device);
        const QString actionText = QString::fromUtf8(action ? action : "");
        const QString subsystemText = QString::fromUtf8(subsystem ? subsystem : "");
        udev_device_unref(device);
        handleNotice(actionText, subsystemText);
    }
}

void DeviceWatch::postNotice(const QString& action, const QString& subsystem)
{
    QMetaObject::invokeMethod(
        this, [this, action, subsystem] { handleNotice(action, subsystem); }, Qt::QueuedConnection);
}

bool DeviceWatch::isVideoDeviceChange(const QString& action, const QString& subsystem)
{
    return (action == QLatin1String("add") || action == QLatin1String("remove"))
        && subsystem == QLatin1String(kVideoSubsystem);
}

void DeviceWatch::handleNotice(const QString& action, const QString& subsystem)
{
    const bool videoDeviceChanged = isVideoDeviceChange(action, subsystem);
    // Reconnection runs later from the heartbeat, outside the notice.
    if (videoDeviceChanged)
        emit this->videoDeviceChanged();
    emit noticeHandled(action, subsystem, videoDeviceChanged);
}

} // namespace didev
