#pragma once

#include "capture/provider/DevicePresence.h"
#include "capture/provider/SourceRecipe.h"

#include <gst/gst.h>

#include <memory>

namespace didev {

// A GstDevice of the module's own provider. Monitors list it by the recipe's name, class and
// caps; its properties carry the API ("didev") and a path unique in the process, as a camera's
// device node would; its element is a SourceBin of the recipe.
class ProvidedDevice {
public:
    static constexpr const char* kApi = "didev";

    // A new device holding one (non-floating) reference for the caller.
    static GstDevice* make(std::shared_ptr<const SourceRecipe> recipe, std::shared_ptr<DevicePresence> presence);
    static bool isProvided(GstDevice* device);
};

} // namespace didev
