#include "capture/VideoFrame.h"

namespace didev {

VideoFrame::VideoFrame(GstSamplePtr sample, const GstVideoInfo& info, int stage, GstClockTime sourceTime)
    : sample_(std::move(sample))
    , info_(info)
    , stage_(stage)
    , sourceTime_(sourceTime)
{
}

std::shared_ptr<VideoFrame> VideoFrame::fromSample(GstSamplePtr sample, int stage, GstClockTime sourceTime)
{
    if (!sample)
        return nullptr;
    GstCaps* caps = gst_sample_get_caps(sample.get());
    GstVideoInfo info;
    if (!caps || !gst_video_info_from_caps(&info, caps) || GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_BGRx)
        return nullptr;
    if (!gst_sample_get_buffer(sample.get()))
        return nullptr;
    auto frame = std::make_shared<VideoFrame>(std::move(sample), info, stage, sourceTime);
    // A buffer shorter than its caps promise is a corrupt frame: it is dropped here, never shown.
    if (!Mapping(*frame).valid())
        return nullptr;
    return frame;
}

VideoFrame::Mapping::Mapping(const VideoFrame& frame)
{
    GstBuffer* buffer = gst_sample_get_buffer(frame.sample_.get());
    GstVideoInfo info = frame.info_;
    mapped_ = buffer && gst_video_frame_map(&frame_, &info, buffer, GST_MAP_READ);
}

VideoFrame::Mapping::~Mapping()
{
    if (mapped_)
        gst_video_frame_unmap(&frame_);
}

const uint8_t* VideoFrame::Mapping::bits() const
{
    return mapped_ ? static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame_, 0)) : nullptr;
}

int VideoFrame::Mapping::stride() const
{
    return mapped_ ? GST_VIDEO_FRAME_PLANE_STRIDE(&frame_, 0) : 0;
}

PicturePtr VideoFrame::toPicture() const
{
    const Mapping mapping(*this);
    if (!mapping.valid())
        return nullptr;
    return Picture::fromBgrx(width(), height(), mapping.bits(), mapping.stride());
}

} // namespace didev
