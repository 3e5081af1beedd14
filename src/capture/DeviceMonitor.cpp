#include "capture/DeviceMonitor.h"

#include <QMetaObject>
#include <QtGlobal>

#include <algorithm>
#include <optional>
#include <stdexcept>

namespace didev {

namespace {

constexpr const char* kVideoClasses = "Video/Source";
constexpr const char* kAudioClasses = "Audio/Source";

DeviceMonitor* living = nullptr;

QString providerName(GstDeviceProvider* provider)
{
    GstDeviceProviderFactory* factory = gst_device_provider_get_factory(provider);
    return QString::fromUtf8(factory ? GST_OBJECT_NAME(factory) : GST_OBJECT_NAME(provider));
}

} // namespace

DeviceMonitor::DeviceMonitor(QObject* parent)
    : QObject(parent)
{
    if (living)
        throw std::logic_error("a device monitor already runs in this process");
    ensureGstreamer();
    start();
    leaveOutHiddenProviders();
    living = this;
}

DeviceMonitor::~DeviceMonitor()
{
    if (living == this)
        living = nullptr;
    for (const auto& provider : providers_)
        stop(provider.get());
}

DeviceMonitor* DeviceMonitor::current()
{
    return living;
}

void DeviceMonitor::start()
{
    GList* factories = gst_device_provider_factory_list_get_device_providers(GST_RANK_MARGINAL);
    for (GList* item = factories; item; item = item->next) {
        auto* factory = GST_DEVICE_PROVIDER_FACTORY(item->data);
        if (!gst_device_provider_factory_has_classes(factory, kVideoClasses)
            && !gst_device_provider_factory_has_classes(factory, kAudioClasses))
            continue;
        GstObjectPtr<GstDeviceProvider> provider(gst_device_provider_factory_get(factory));
        if (!provider)
            continue;
        // Told before the start, so that no arrival during the start is missed.
        const GstObjectPtr<GstBus> bus(gst_device_provider_get_bus(provider.get()));
        gst_bus_set_sync_handler(bus.get(), &DeviceMonitor::onBusMessage, this, nullptr);
        if (gst_device_provider_start(provider.get())) {
            providers_.push_back(std::move(provider));
        } else {
            gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
            qInfo("device provider %s did not start: its devices are not listed", GST_OBJECT_NAME(factory));
        }
    }
    gst_plugin_feature_list_free(factories);
}

void DeviceMonitor::leaveOutHiddenProviders()
{
    // A provider that serves another's devices too (a media server over the camera nodes)
    // names it as hidden; listing both would show every device twice.
    QStringList hidden;
    for (const auto& provider : providers_) {
        gchar** names = gst_device_provider_get_hidden_providers(provider.get());
        for (gchar** name = names; name && *name; ++name)
            hidden.append(QString::fromUtf8(*name));
        g_strfreev(names);
    }
    const auto end = std::remove_if(providers_.begin(), providers_.end(), [&](const auto& provider) {
        if (!hidden.contains(providerName(provider.get())))
            return false;
        stop(provider.get());
        return true;
    });
    providers_.erase(end, providers_.end());
}

void DeviceMonitor::stop(GstDeviceProvider* provider)
{
    gst_device_provider_stop(provider);
    const GstObjectPtr<GstBus> bus(gst_device_provider_get_bus(provider));
    gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
}

QList<CaptureDevice> DeviceMonitor::devices(DeviceKind kind) const
{
    QList<CaptureDevice> found;
    for (const auto& provider : providers_) {
        // A started provider answers from the list it keeps up to date; it does not probe.
        GList* devices = gst_device_provider_get_devices(provider.get());
        for (GList* item = devices; item; item = item->next) {
            auto* device = GST_DEVICE(item->data);
            if (CaptureDevice::kindOf(device) == kind)
                found.append(CaptureDevice::fromDevice(device));
        }
        g_list_free_full(devices, gst_object_unref);
    }
    return found;
}

QStringList DeviceMonitor::providers() const
{
    QStringList names;
    for (const auto& provider : providers_)
        names.append(providerName(provider.get()));
    return names;
}

GstBusSyncReply DeviceMonitor::onBusMessage(GstBus*, GstMessage* message, gpointer self)
{
    // Runs in the provider's thread. Every message is dropped, so that no bus queues them up,
    // and a handler that drops a message frees it.
    const bool added = GST_MESSAGE_TYPE(message) == GST_MESSAGE_DEVICE_ADDED;
    GstDevice* device = nullptr;
    if (added)
        gst_message_parse_device_added(message, &device);
    else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_DEVICE_REMOVED)
        gst_message_parse_device_removed(message, &device);
    gst_message_unref(message);
    const GstObjectPtr<GstDevice> owned(device);
    const std::optional<DeviceKind> deviceKind = device ? CaptureDevice::kindOf(device) : std::nullopt;
    if (!deviceKind)
        return GST_BUS_DROP;
    auto* monitor = static_cast<DeviceMonitor*>(self);
    QMetaObject::invokeMethod(
        monitor,
        [monitor, added, kind = *deviceKind, entry = CaptureDevice::fromDevice(device)] {
            if (added)
                emit monitor->deviceAdded(kind, entry);
            else
                emit monitor->deviceRemoved(kind, entry);
        },
        Qt::QueuedConnection);
    return GST_BUS_DROP;
}

} // namespace didev
