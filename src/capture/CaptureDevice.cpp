#include "capture/CaptureDevice.h"

namespace didev {

CaptureDevice CaptureDevice::fromVirtual(const VirtualVideoDevice& device, int id)
{
    CaptureDevice entry;
    entry.name = device.name;
    entry.key = virtualKey(DeviceKind::Video, id);
    entry.virtualVideo = device;
    return entry;
}

CaptureDevice CaptureDevice::fromVirtual(const VirtualAudioDevice& device, int id)
{
    CaptureDevice entry;
    entry.name = device.name;
    entry.key = virtualKey(DeviceKind::Audio, id);
    entry.virtualAudio = device;
    return entry;
}

QString CaptureDevice::virtualKey(DeviceKind kind, int id)
{
    return QStringLiteral("%1:%2").arg(kind == DeviceKind::Video ? QStringLiteral("virtual-video") : QStringLiteral("virtual-audio")).arg(id);
}

CaptureDevice CaptureDevice::fromSystem(GstDevice* device)
{
    CaptureDevice entry;
    entry.system = shareDevice(device);
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

} // namespace didev
