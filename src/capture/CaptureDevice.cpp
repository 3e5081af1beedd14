#include "capture/CaptureDevice.h"

namespace didev {

CaptureDevice CaptureDevice::fromDevice(GstDevice* device)
{
    CaptureDevice entry;
    entry.device = shareDevice(device);
    const GMemoryPtr<gchar> name(gst_device_get_display_name(device));
    entry.name = QString::fromUtf8(name ? name.get() : "");
    // The device node or the sound server's object tells two cameras of the same model apart.
    QString where;
    if (GstStructure* properties = gst_device_get_properties(device)) {
        for (const char* field : {"device.path", "api.v4l2.path", "object.path", "node.name", "udev-path"}) {
            if (const gchar* value = gst_structure_get_string(properties, field)) {
                where = QString::fromUtf8(value);
                break;
            }
        }
        gst_structure_free(properties);
    }
    entry.key = QStringLiteral("system:") + entry.name + u'|' + where;
    return entry;
}

std::optional<DeviceKind> CaptureDevice::kindOf(GstDevice* device)
{
    if (gst_device_has_classes(device, "Video/Source"))
        return DeviceKind::Video;
    if (gst_device_has_classes(device, "Audio/Source"))
        return DeviceKind::Audio;
    return std::nullopt;
}

} // namespace didev
