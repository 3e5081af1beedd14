#include "capture/provider/ProvidedDevice.h"

#include "capture/GstHandles.h"
#include "capture/provider/SourceBin.h"

#include <string>

namespace didev {

namespace {

struct ProvidedDeviceState {
    std::shared_ptr<const SourceRecipe> recipe;
    std::shared_ptr<DevicePresence> presence;
};

struct DidevProvidedDevice {
    GstDevice parent;
    ProvidedDeviceState* state;
};

struct DidevProvidedDeviceClass {
    GstDeviceClass parent_class;
};

G_DEFINE_TYPE(DidevProvidedDevice, didev_provided_device, GST_TYPE_DEVICE)

GstElement* createElement(GstDevice* device, const gchar* name)
{
    const ProvidedDeviceState& state = *reinterpret_cast<DidevProvidedDevice*>(device)->state;
    return SourceBin::make(state.recipe, state.presence, name);
}

void finalize(GObject* object)
{
    delete reinterpret_cast<DidevProvidedDevice*>(object)->state;
    G_OBJECT_CLASS(didev_provided_device_parent_class)->finalize(object);
}

void didev_provided_device_class_init(DidevProvidedDeviceClass* klass)
{
    G_OBJECT_CLASS(klass)->finalize = finalize;
    GST_DEVICE_CLASS(klass)->create_element = createElement;
}

void didev_provided_device_init(DidevProvidedDevice* self)
{
    self->state = new ProvidedDeviceState;
}

} // namespace

GstDevice* ProvidedDevice::make(std::shared_ptr<const SourceRecipe> recipe, std::shared_ptr<DevicePresence> presence)
{
    const GstCapsPtr caps(recipe->caps());
    const std::string path = std::string(kApi) + ":" + std::to_string(presence->serial());
    GstStructure* properties = gst_structure_new("didev-device", "device.api", G_TYPE_STRING, kApi, "device.path",
                                                 G_TYPE_STRING, path.c_str(), nullptr);
    auto* device = static_cast<DidevProvidedDevice*>(
        g_object_new(didev_provided_device_get_type(), "display-name", recipe->displayName().c_str(), "device-class",
                     recipe->deviceClass(), "caps", caps.get(), "properties", properties, nullptr));
    gst_structure_free(properties);
    device->state->recipe = std::move(recipe);
    device->state->presence = std::move(presence);
    gst_object_ref_sink(device);
    return GST_DEVICE(device);
}

bool ProvidedDevice::isProvided(GstDevice* device)
{
    return G_TYPE_CHECK_INSTANCE_TYPE(device, didev_provided_device_get_type());
}

} // namespace didev
