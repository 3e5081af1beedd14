#pragma once

#include "capture/GstHandles.h"
#include "capture/provider/SourceRecipe.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace didev {

// The module's own GStreamer device provider, one per process: it offers devices that need no
// driver (test-pattern cameras, test-tone microphones) to every device monitor, with hot-plug
// as real devices have it. Monitors find it like any other provider; a started monitor hears
// device-added and device-removed on its bus.
class DeviceProvider {
public:
    static constexpr const char* kPluginName = "didevdevices";
    static constexpr const char* kFactoryName = "didevdeviceprovider";
    static constexpr const char* kElementName = "didevsrc";

    // Registers the plugin carrying the provider and its element; ensureGstreamer() does it.
    // False when GStreamer refuses the plugin.
    static bool registerPlugin();

    // Offers a device; returns its serial (never 0).
    static uint64_t plug(std::shared_ptr<const SourceRecipe> recipe);
    // Takes a device off: monitors hear device-removed, and its running elements fail as an
    // unplugged camera does. False when no device has that serial.
    static bool unplug(uint64_t serial);

    // The devices on offer now, in the order they were plugged in.
    static std::vector<GstObjectPtr<GstDevice>> devices();
    // True for a device of this provider.
    static bool offers(GstDevice* device);
};

} // namespace didev
