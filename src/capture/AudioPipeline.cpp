#include "capture/AudioPipeline.h"

#include "capture/CaptureError.h"

namespace didev {

AudioPipeline::AudioPipeline(const CaptureDevice& device, QObject* uiContext, FailureSink failed)
    : SourcePipeline("didev-audio", uiContext, std::move(failed))
{
    addDeviceElement(device);
    valve_ = add("valve");
    GstElement* convert = add("audioconvert");
    GstElement* resample = add("audioresample");
    GstElement* output = add("autoaudiosink");
    link({source_, valve_, convert, resample, output});
}

AudioPipeline::~AudioPipeline()
{
    stop();
}

void AudioPipeline::setEnabled(bool enabled)
{
    enabled_ = enabled;
    g_object_set(valve_, "drop", enabled ? FALSE : TRUE, nullptr);
}

} // namespace didev
