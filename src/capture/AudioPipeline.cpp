#include "capture/AudioPipeline.h"

#include "capture/CaptureError.h"

namespace didev {

AudioPipeline::AudioPipeline(const CaptureDevice& device, QObject* uiContext, FailureSink failed)
    : SourcePipeline("didev-audio", uiContext, std::move(failed))
{
    if (device.virtualAudio) {
        source_ = add("audiotestsrc");
        g_object_set(source_, "is-live", TRUE, "freq", 440.0, "volume", 0.1, nullptr);
    } else if (device.system) {
        source_ = gst_device_create_element(device.system.get(), nullptr);
        if (!source_) {
            raiseCaptureError(CaptureErrorNumber::PipelineFailed, "gst_device_create_element",
                              QStringLiteral("\"%1\" gave no source element").arg(device.name));
        }
        gst_bin_add(GST_BIN(pipeline()), source_);
    } else {
        raiseCaptureError(CaptureErrorNumber::PipelineFailed, "AudioPipeline", QStringLiteral("\"%1\" is no audio device").arg(device.name));
    }
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
