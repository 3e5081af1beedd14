#pragma once

#include "capture/CaptureDevice.h"
#include "capture/SourcePipeline.h"

namespace didev {

// The pipeline of the selected audio device: to the default output when there is one,
// otherwise into a fake sink (the automatic sink falls back to one by itself).
class AudioPipeline final : public SourcePipeline {
public:
    AudioPipeline(const CaptureDevice& device, QObject* uiContext, FailureSink failed);
    ~AudioPipeline() override;

    // False silences the source (input mode "video only") without stopping the pipeline.
    void setEnabled(bool enabled);
    bool enabled() const { return enabled_; }

private:
    GstElement* valve_ = nullptr;
    bool enabled_ = true;
};

} // namespace didev
