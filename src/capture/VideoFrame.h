#pragma once

#include "capture/GstHandles.h"
#include "common/Picture.h"

#include <gst/video/video.h>

#include <cstdint>
#include <memory>
#include <optional>

namespace didev {

// One BGRx frame as the pipeline delivered it, kept by reference: showing it maps the
// buffer in place and only a grab copies the pixels.
class VideoFrame {
public:
    // Nothing when the sample is not a complete BGRx frame (a corrupt or short buffer).
    static std::shared_ptr<VideoFrame> fromSample(GstSamplePtr sample, int stage, GstClockTime sourceTime);

    int width() const { return GST_VIDEO_INFO_WIDTH(&info_); }
    int height() const { return GST_VIDEO_INFO_HEIGHT(&info_); }
    int stage() const { return stage_; }
    // Clock time at which the source made the frame (base time + timestamp); NONE when unknown.
    GstClockTime sourceTime() const { return sourceTime_; }
    uint64_t sequence() const { return sequence_; }
    void setSequence(uint64_t sequence) { sequence_ = sequence; }

    // A read mapping of the pixels, released when it goes out of scope.
    class Mapping {
    public:
        explicit Mapping(const VideoFrame& frame);
        ~Mapping();
        Mapping(const Mapping&) = delete;
        Mapping& operator=(const Mapping&) = delete;

        bool valid() const { return mapped_; }
        const uint8_t* bits() const;
        int stride() const;

    private:
        GstVideoFrame frame_{};
        bool mapped_ = false;
    };

    // The pixels copied once into a picture; nothing when the buffer cannot be read.
    PicturePtr toPicture() const;

    VideoFrame(GstSamplePtr sample, const GstVideoInfo& info, int stage, GstClockTime sourceTime);

private:
    GstSamplePtr sample_;
    GstVideoInfo info_;
    int stage_;
    GstClockTime sourceTime_;
    uint64_t sequence_ = 0;
};

using VideoFramePtr = std::shared_ptr<const VideoFrame>;

} // namespace didev
