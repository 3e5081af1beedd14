#include "capture/provider/DeviceProvider.h"

#include "capture/GstHandles.h"
#include "capture/provider/ProvidedDevice.h"
#include "capture/provider/SourceBin.h"

#include <algorithm>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <vector>

namespace didev {

namespace {

struct Offer {
    uint64_t serial;
    GstObjectPtr<GstDevice> device;
    std::shared_ptr<DevicePresence> presence;
};

// The devices on offer. GStreamer is never called with the mutex held: announcing a device
// runs the bus handlers of every monitor.
struct ProviderState {
    std::mutex mutex;
    std::vector<Offer> offers;
    bool started = false;
    uint64_t nextSerial = 1;
};

struct DidevDeviceProvider {
    GstDeviceProvider parent;
    ProviderState* state;
};

struct DidevDeviceProviderClass {
    GstDeviceProviderClass parent_class;
};

G_DEFINE_TYPE(DidevDeviceProvider, didev_device_provider, GST_TYPE_DEVICE_PROVIDER)

ProviderState& stateOf(GstDeviceProvider* provider)
{
    return *reinterpret_cast<DidevDeviceProvider*>(provider)->state;
}

std::vector<GstObjectPtr<GstDevice>> devicesOnOffer(ProviderState& state)
{
    std::vector<GstObjectPtr<GstDevice>> devices;
    for (const Offer& offer : state.offers)
        devices.emplace_back(static_cast<GstDevice*>(gst_object_ref(offer.device.get())));
    return devices;
}

GList* probe(GstDeviceProvider* provider)
{
    ProviderState& state = stateOf(provider);
    std::lock_guard lock(state.mutex);
    GList* devices = nullptr;
    for (auto& device : devicesOnOffer(state))
        devices = g_list_prepend(devices, device.release());
    return g_list_reverse(devices);
}

gboolean start(GstDeviceProvider* provider)
{
    ProviderState& state = stateOf(provider);
    std::vector<GstObjectPtr<GstDevice>> devices;
    {
        std::lock_guard lock(state.mutex);
        state.started = true;
        devices = devicesOnOffer(state);
    }
    for (const auto& device : devices)
        gst_device_provider_device_add(provider, device.get());
    // One that was unplugged meanwhile found nothing to take away: take it away now.
    std::vector<GstDevice*> gone;
    {
        std::lock_guard lock(state.mutex);
        for (const auto& device : devices) {
            if (std::none_of(state.offers.begin(), state.offers.end(),
                             [&](const Offer& offer) { return offer.device.get() == device.get(); }))
                gone.push_back(device.get());
        }
    }
    for (GstDevice* device : gone)
        gst_device_provider_device_remove(provider, device);
    return TRUE;
}

void stop(GstDeviceProvider* provider)
{
    ProviderState& state = stateOf(provider);
    std::lock_guard lock(state.mutex);
    state.started = false;
}

void finalize(GObject* object)
{
    delete reinterpret_cast<DidevDeviceProvider*>(object)->state;
    G_OBJECT_CLASS(didev_device_provider_parent_class)->finalize(object);
}

void didev_device_provider_class_init(DidevDeviceProviderClass* klass)
{
    G_OBJECT_CLASS(klass)->finalize = finalize;
    GstDeviceProviderClass* providerClass = GST_DEVICE_PROVIDER_CLASS(klass);
    providerClass->probe = probe;
    providerClass->start = start;
    providerClass->stop = stop;
    gst_device_provider_class_set_static_metadata(providerClass, "Didev device provider", "Source/Video/Audio",
                                                  "Devices of Didev Evivod that need no driver", "Didev Evivod");
}

void didev_device_provider_init(DidevDeviceProvider* self)
{
    self->state = new ProviderState;
}

gboolean initPlugin(GstPlugin* plugin)
{
    // Below the system's own providers, so that a camera plugged into the machine comes first.
    return gst_device_provider_register(plugin, DeviceProvider::kFactoryName, GST_RANK_SECONDARY,
                                        didev_device_provider_get_type())
        && gst_element_register(plugin, DeviceProvider::kElementName, GST_RANK_NONE, SourceBin::type());
}

// GStreamer keeps one provider per factory; this reference keeps it, and the devices on offer,
// for the life of the process.
GstDeviceProvider* theProvider()
{
    static GstDeviceProvider* const provider = gst_device_provider_factory_get_by_name(DeviceProvider::kFactoryName);
    if (!provider)
        throw std::runtime_error(std::string("gst_device_provider_factory_get_by_name: no ") + DeviceProvider::kFactoryName);
    return provider;
}

} // namespace

bool DeviceProvider::registerPlugin()
{
    return gst_plugin_register_static(GST_VERSION_MAJOR, GST_VERSION_MINOR, kPluginName,
                                      "Devices of Didev Evivod that need no driver", initPlugin, "1.0", "Proprietary",
                                      "didev-evivod", "Didev Evivod", "didev-evivod");
}

uint64_t DeviceProvider::plug(std::shared_ptr<const SourceRecipe> recipe)
{
    GstDeviceProvider* provider = theProvider();
    ProviderState& state = stateOf(provider);
    GstObjectPtr<GstDevice> announced;
    uint64_t serial = 0;
    {
        std::lock_guard lock(state.mutex);
        serial = state.nextSerial++;
        auto presence = std::make_shared<DevicePresence>(serial, [](uint64_t gone) { DeviceProvider::unplug(gone); });
        Offer offer{serial, GstObjectPtr<GstDevice>(ProvidedDevice::make(std::move(recipe), presence)), presence};
        if (state.started)
            announced.reset(static_cast<GstDevice*>(gst_object_ref(offer.device.get())));
        state.offers.push_back(std::move(offer));
    }
    if (announced)
        gst_device_provider_device_add(provider, announced.get());
    return serial;
}

bool DeviceProvider::unplug(uint64_t serial)
{
    GstDeviceProvider* provider = theProvider();
    ProviderState& state = stateOf(provider);
    std::optional<Offer> taken;
    bool started = false;
    {
        std::lock_guard lock(state.mutex);
        const auto found = std::find_if(state.offers.begin(), state.offers.end(),
                                        [serial](const Offer& offer) { return offer.serial == serial; });
        if (found == state.offers.end())
            return false;
        taken = std::move(*found);
        state.offers.erase(found);
        started = state.started;
    }
    taken->presence->unplugged();
    if (started)
        gst_device_provider_device_remove(provider, taken->device.get());
    return true;
}

std::vector<GstObjectPtr<GstDevice>> DeviceProvider::devices()
{
    ProviderState& state = stateOf(theProvider());
    std::lock_guard lock(state.mutex);
    return devicesOnOffer(state);
}

bool DeviceProvider::offers(GstDevice* device)
{
    return ProvidedDevice::isProvided(device);
}

} // namespace didev
