#pragma once

#include "capture/CaptureOptions.h"
#include "capture/GstHandles.h"

#include <QString>

#include <optional>

namespace didev {

enum class DeviceKind { Video, Audio };

// One entry of a device list: a device the media framework found, or a virtual one.
struct CaptureDevice {
    QString name;
    QString key;                          // stays the same across refreshes while the device is present
    GstDeviceRef system;                  // set for a device the framework found
    std::optional<VirtualVideoDevice> virtualVideo;
    std::optional<VirtualAudioDevice> virtualAudio;

    bool isVirtual() const { return virtualVideo.has_value() || virtualAudio.has_value(); }

    // `id` tells apart virtual devices that share a name.
    static CaptureDevice fromVirtual(const VirtualVideoDevice& device, int id);
    static CaptureDevice fromVirtual(const VirtualAudioDevice& device, int id);
    static CaptureDevice fromSystem(GstDevice* device);
    static QString virtualKey(DeviceKind kind, int id);
};

} // namespace didev
