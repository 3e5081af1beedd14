#include "capture/GstHandles.h"

#include "capture/provider/DeviceProvider.h"

#include <mutex>
#include <stdexcept>

namespace didev {

void ensureGstreamer()
{
    static std::once_flag once;
    static std::string failure;
    std::call_once(once, [] {
        GError* error = nullptr;
        if (!gst_init_check(nullptr, nullptr, &error)) {
            const GErrorPtr owned(error);
            failure = std::string("gst_init_check: ") + (owned ? owned->message : "unknown failure");
        } else if (!DeviceProvider::registerPlugin()) {
            failure = std::string("gst_plugin_register_static: ") + DeviceProvider::kPluginName + " was refused";
        }
    });
    if (!failure.empty())
        throw std::runtime_error(failure);
}

} // namespace didev
