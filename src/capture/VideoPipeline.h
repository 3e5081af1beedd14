#pragma once

#include "capture/CaptureDevice.h"
#include "capture/FrameSlot.h"
#include "capture/SourcePipeline.h"

#include <gst/app/gstappsink.h>

#include <array>
#include <atomic>
#include <functional>

namespace didev {

enum class PreviewStage : int32_t { Source = 0, Processors = 1, Compressor = 2 };
inline constexpr int kPreviewStageCount = 3;
inline constexpr int kPreviewJpegQuality = 90;

// The pipeline of the selected video device. After the source a tee feeds one branch per
// preview stage, each ending in its own sink of raw frames at the source's size: stage 0 takes
// the source as decoded, stage 1 deinterlaces, stage 2 also encodes and decodes JPEG at quality
// 90. A valve in front of every branch keeps all but the stage on show idle, so switching the
// stage on a running pipeline costs nothing but two property writes. Each frame keeps its
// full-size pixels for a grab; the picture the view paints is converted and scaled to the view's
// area in the streaming thread, so the user-interface thread only copies it to the screen.
class VideoPipeline final : public SourcePipeline {
public:
    // A frame kept for the view, and whether the UI thread has to be told of it.
    using FrameNotice = std::function<void(const VideoFramePtr& frame, bool notify)>;

    // `frameNotice` runs on a streaming thread for each frame the slot keeps.
    VideoPipeline(const CaptureDevice& device, FrameSlot& slot, FrameNotice frameNotice, QObject* uiContext,
                  FailureSink failed);
    ~VideoPipeline() override;

    // Opens the branch of `stage` and closes the others; FrameSlot::kNoStage closes all.
    void showStage(int stage);
    // The area the view shows the picture in, in pixels; empty shows it at the source's size.
    // Any thread; frames made from then on fit it.
    void setViewArea(QSize area);

private:
    struct Branch {
        VideoPipeline* owner = nullptr;
        int stage = 0;
        GstElement* valve = nullptr;
        GstElement* sink = nullptr;
        ViewScaler scaler;   // streaming thread only
    };

    GstElement* buildSource(const CaptureDevice& device);
    void buildBranch(Branch& branch, GstElement* tee);
    static GstFlowReturn onNewSample(GstAppSink* sink, gpointer branch);

    FrameSlot& slot_;
    FrameNotice frameNotice_;
    std::atomic<uint32_t> viewArea_{0};   // width << 16 | height
    std::array<Branch, kPreviewStageCount> branches_{};
};

} // namespace didev
