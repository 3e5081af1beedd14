#include "capture/VideoPipeline.h"

#include "capture/CaptureError.h"
#include "capture/CaptureLog.h"
#include "capture/SourceFormat.h"

namespace didev {

namespace {

constexpr const char* kBgrxCaps = "video/x-raw,format=BGRx";

QString capsText(const GstCaps* caps)
{
    const GMemoryPtr<gchar> text(caps ? gst_caps_to_string(caps) : nullptr);
    return QString::fromUtf8(text ? text.get() : "no caps");
}

} // namespace

VideoPipeline::VideoPipeline(const CaptureDevice& device, FrameSlot& slot, FrameNotice frameNotice,
                             QObject* uiContext, FailureSink failed)
    : SourcePipeline("didev-video", uiContext, std::move(failed))
    , slot_(slot)
    , frameNotice_(std::move(frameNotice))
{
    GstElement* output = buildSource(device);
    GstElement* tee = add("tee");
    link({output, tee});
    for (int stage = 0; stage < kPreviewStageCount; ++stage) {
        branches_[stage].owner = this;
        branches_[stage].stage = stage;
        buildBranch(branches_[stage], tee);
    }
    showStage(slot_.stageOnShow());
}

VideoPipeline::~VideoPipeline()
{
    // The sinks call back into this object until the streaming threads have stopped.
    stop();
}

GstElement* VideoPipeline::buildSource(const CaptureDevice& device)
{
    // Whatever the device is, its element goes in as it comes, behind the format chosen from what it offers.
    const GstCapsPtr offered(gst_device_get_caps(device.device.get()));
    const std::optional<SourceFormat> format = SourceFormat::choose(offered.get());
    if (!format) {
        raiseCaptureError(CaptureErrorNumber::PipelineFailed, "VideoPipeline",
                          QStringLiteral("\"%1\" offers nothing the module can show: %2").arg(device.name, capsText(offered.get())));
    }
    qCInfo(captureLog).noquote() << QStringLiteral("\"%1\": %2").arg(device.name, format->text());
    addDeviceElement(device);
    const GstCapsPtr wanted(format->caps());
    GstElement* filter = addCapsFilter(wanted.get());
    link({source_, filter});
    if (!format->isJpeg())
        return filter;   // the branches convert raw video for the preview
    GstElement* decoder = add("jpegdec");
    link({filter, decoder});
    return decoder;
}

void VideoPipeline::buildBranch(Branch& branch, GstElement* tee)
{
    branch.valve = add("valve");
    gst_util_set_object_arg(G_OBJECT(branch.valve), "drop-mode", "forward-sticky-events");
    g_object_set(branch.valve, "drop", TRUE, nullptr);

    std::vector<GstElement*> chain{branch.valve};
    if (branch.stage >= static_cast<int>(PreviewStage::Processors))
        chain.push_back(add("deinterlace"));
    // Passes through what a frame's converter reads; converts only what it does not.
    chain.push_back(add("videoconvert"));
    if (branch.stage == static_cast<int>(PreviewStage::Compressor)) {
        // Full-range 4:2:0, as a JPEG file holds it; limited range would wash the picture out.
        // By way of RGB: from a camera's limited-range YUV straight to full-range YUV the
        // converter keeps the levels as they are, and the picture comes out washed out anyway.
        chain.push_back(addCapsFilter(QString::fromLatin1(kBgrxCaps)));
        chain.push_back(add("videoconvert"));
        chain.push_back(addCapsFilter(QStringLiteral("video/x-raw,format=I420,colorimetry=1:4:0:0")));
        GstElement* encoder = add("jpegenc");
        g_object_set(encoder, "quality", kPreviewJpegQuality, nullptr);
        chain.push_back(encoder);
        chain.push_back(add("jpegdec"));
    }

    // Frames go on in the format they come in; the view's scaler and a grab convert them.
    branch.sink = add("appsink");
    const GstCapsPtr raw(gst_caps_from_string("video/x-raw"));
    gst_app_sink_set_caps(GST_APP_SINK(branch.sink), raw.get());
    g_object_set(branch.sink, "max-buffers", 1u, "drop", TRUE, "sync", FALSE, "async", FALSE,
                 "enable-last-sample", FALSE, "wait-on-eos", FALSE, nullptr);
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = &VideoPipeline::onNewSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(branch.sink), &callbacks, &branch, nullptr);
    chain.push_back(branch.sink);

    for (size_t i = 1; i < chain.size(); ++i)
        link({chain[i - 1], chain[i]});
    link({tee, branch.valve});
}

void VideoPipeline::showStage(int stage)
{
    for (Branch& branch : branches_) {
        if (branch.stage != stage)
            g_object_set(branch.valve, "drop", TRUE, nullptr);
    }
    slot_.show(stage);
    for (Branch& branch : branches_) {
        if (branch.stage == stage)
            g_object_set(branch.valve, "drop", FALSE, nullptr);
    }
}

void VideoPipeline::setViewArea(QSize area)
{
    const uint32_t width = area.isEmpty() ? 0 : uint32_t(std::min(area.width(), 0xffff));
    const uint32_t height = area.isEmpty() ? 0 : uint32_t(std::min(area.height(), 0xffff));
    viewArea_.store(width << 16 | height, std::memory_order_relaxed);
}

GstFlowReturn VideoPipeline::onNewSample(GstAppSink* sink, gpointer data)
{
    auto* branch = static_cast<Branch*>(data);
    GstSamplePtr sample(gst_app_sink_pull_sample(sink));
    if (!sample)
        return GST_FLOW_OK;
    // When the picture was taken, on the pipeline's clock: its time in its segment (a stream's
    // own time for a demuxed network stream) made running time, plus the pipeline's start.
    GstClockTime sourceTime = GST_CLOCK_TIME_NONE;
    GstBuffer* buffer = gst_sample_get_buffer(sample.get());
    const GstSegment* segment = gst_sample_get_segment(sample.get());
    if (buffer && GST_BUFFER_PTS_IS_VALID(buffer)) {
        const GstClockTime running =
            segment ? gst_segment_to_running_time(segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer)) : GST_BUFFER_PTS(buffer);
        if (GST_CLOCK_TIME_IS_VALID(running))
            sourceTime = gst_element_get_base_time(GST_ELEMENT(sink)) + running;
    }
    const uint32_t area = branch->owner->viewArea_.load(std::memory_order_relaxed);
    auto frame = VideoFrame::fromSample(std::move(sample), branch->stage, sourceTime, branch->scaler,
                                        QSize(int(area >> 16), int(area & 0xffff)));
    const VideoFramePtr shown = frame;
    bool kept = false;
    const bool notify = branch->owner->slot_.offer(std::move(frame), &kept);
    if (kept && branch->owner->frameNotice_)
        branch->owner->frameNotice_(shown, notify);
    return GST_FLOW_OK;
}

} // namespace didev
