#pragma once

#include "capture/CaptureDevice.h"
#include "capture/GstHandles.h"

#include <QList>
#include <QObject>
#include <QStringList>

#include <vector>

namespace didev {

// The process's one watch over the system's cameras and microphones: every device provider of
// class Video/Source or Audio/Source, started once. Listing is served from the providers' own
// caches and costs nothing; arrivals and removals come on the providers' buses and are told on
// the UI thread. A provider that does not start (the sound-server provider with no sound server)
// is left out: asking an unstarted provider probes it again on every call, and a failed probe
// keeps its sockets and memory. GstDeviceMonitor is not used for this reason: it keeps such a
// provider and probes it on every listing.
class DeviceMonitor : public QObject {
    Q_OBJECT

public:
    // Starts the providers. Throws std::logic_error while another monitor lives.
    explicit DeviceMonitor(QObject* parent = nullptr);
    // Stops the providers; nothing is told afterwards.
    ~DeviceMonitor() override;
    DeviceMonitor(const DeviceMonitor&) = delete;
    DeviceMonitor& operator=(const DeviceMonitor&) = delete;

    // The monitor that lives now. The process creates it (main(), or a test that wants the
    // system's devices) before it opens capture windows and destroys it before it ends; while
    // there is none, capture controls list only the devices of the module's own provider.
    static DeviceMonitor* current();

    // The devices of that kind present now, in provider rank order.
    QList<CaptureDevice> devices(DeviceKind kind) const;
    // Names of the providers that run.
    QStringList providers() const;

signals:
    void deviceAdded(didev::DeviceKind kind, const didev::CaptureDevice& device);
    void deviceRemoved(didev::DeviceKind kind, const didev::CaptureDevice& device);

private:
    void start();
    void leaveOutHiddenProviders();
    void stop(GstDeviceProvider* provider);
    static GstBusSyncReply onBusMessage(GstBus* bus, GstMessage* message, gpointer self);

    std::vector<GstObjectPtr<GstDeviceProvider>> providers_;
};

} // namespace didev
