#pragma once

#include "capture/provider/DevicePresence.h"
#include "capture/provider/SourceRecipe.h"

#include <gst/gst.h>

#include <memory>

namespace didev {

// The element of a device of the module's own provider: a bin made of the device's chain with
// one "src" pad. It fails to start, or fails mid-stream and takes its device away, as the
// recipe says, and fails as an unplugged camera does once its device has been unplugged.
class SourceBin {
public:
    // The registered element type ("didevsrc"); made by a factory it has no device and fails to start.
    static GType type();
    // A new floating element for a device.
    static GstElement* make(std::shared_ptr<const SourceRecipe> recipe, std::shared_ptr<DevicePresence> presence,
                            const char* name);
};

} // namespace didev
