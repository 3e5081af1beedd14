#pragma once

#include "capture/GstHandles.h"

#include <QString>

#include <optional>

namespace didev {

enum class DeviceKind { Video, Audio };

// One entry of a device list: a device a GStreamer device provider offers, the system's or the
// module's own; all of them are listed, started and lost the same way.
struct CaptureDevice {
    QString name;
    QString key;   // stays the same across refreshes while the device is present
    GstDeviceRef device;

    static CaptureDevice fromDevice(GstDevice* device);
    // Video for a "Video/Source", audio for an "Audio/Source", nothing for any other device.
    static std::optional<DeviceKind> kindOf(GstDevice* device);
};

} // namespace didev
