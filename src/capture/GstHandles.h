#pragma once

#include <gst/gst.h>

#include <memory>
#include <string>

namespace didev {

struct GstObjectUnref {
    void operator()(gpointer object) const noexcept { gst_object_unref(object); }
};
struct GstSampleUnref {
    void operator()(GstSample* sample) const noexcept { gst_sample_unref(sample); }
};
struct GstCapsUnref {
    void operator()(GstCaps* caps) const noexcept { gst_caps_unref(caps); }
};
struct GErrorFree {
    void operator()(GError* error) const noexcept { g_error_free(error); }
};
struct GFree {
    void operator()(gpointer memory) const noexcept { g_free(memory); }
};

template <typename T>
using GstObjectPtr = std::unique_ptr<T, GstObjectUnref>;
using GstSamplePtr = std::unique_ptr<GstSample, GstSampleUnref>;
using GstCapsPtr = std::unique_ptr<GstCaps, GstCapsUnref>;
using GErrorPtr = std::unique_ptr<GError, GErrorFree>;
template <typename T>
using GMemoryPtr = std::unique_ptr<T, GFree>;

// A GstDevice shared between device lists and the pipelines built from it.
using GstDeviceRef = std::shared_ptr<GstDevice>;

inline GstDeviceRef shareDevice(GstDevice* device)
{
    gst_object_ref(device);
    return GstDeviceRef(device, GstObjectUnref{});
}

// Makes sure GStreamer is initialised and the module's own device provider registered; throws std::runtime_error with GStreamer's reason.
void ensureGstreamer();

} // namespace didev
