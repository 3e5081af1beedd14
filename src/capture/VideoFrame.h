#pragma once

#include "capture/GstHandles.h"
#include "capture/Yuy2Rows.h"
#include "common/FileDescriptor.h"
#include "common/Picture.h"

#include <QImage>
#include <QSize>

#include <gst/video/video.h>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace didev {

// A memory file mapped for a view picture: the display server can map the same file, so the
// picture reaches the screen without being copied again in this process.
class ViewMemory {
public:
    // A BGRx picture of `size` in a memory file of its own; a null image when none can be made.
    // The image keeps the memory alive, as does every copy of it.
    static QImage newImage(QSize size, std::shared_ptr<const ViewMemory>& memory);

    ~ViewMemory();
    ViewMemory(const ViewMemory&) = delete;
    ViewMemory& operator=(const ViewMemory&) = delete;

    int fd() const { return fd_.get(); }

private:
    ViewMemory(FileDescriptor fd, void* bits, size_t size);

    FileDescriptor fd_;
    void* bits_;
    size_t size_;
};

// Makes the pictures the view paints, in the streaming thread: each frame converted to BGRx and
// scaled, in one pass, to the size it is shown at. One per stream; it keeps its converter while
// the frames and the size stay as they are.
class ViewScaler {
public:
    // `shareRows`: our own loops share a picture at its own size with the kept row helpers (see
    // inSharedRowBands). The framework's converter, for the formats our loops do not take, always
    // works on the calling thread alone.
    ViewScaler() = default;
    explicit ViewScaler(bool shareRows)
        : shareRows_(shareRows)
    {
    }
    ~ViewScaler();
    ViewScaler(const ViewScaler&) = delete;
    ViewScaler& operator=(const ViewScaler&) = delete;

    // The largest size of `picture`'s aspect that fits `area`; `picture` itself when `area` is empty.
    static QSize fittedSize(QSize picture, QSize area);

    // `frame` as BGRx at its fitted size in `area`, in a memory file (see ViewMemory).
    QImage scale(const GstVideoFrame& frame, QSize area);
    // The memory file `image` lives in, when it is one of this scaler's pictures.
    std::shared_ptr<const ViewMemory> memoryOf(const QImage& image) const;

private:
    // YUY2, as most cameras send it, by loops of our own (see Yuy2Scaler). False when the
    // colours are not ones they convert (the framework's converter takes those).
    bool scaleYuy2(const GstVideoFrame& frame, QImage& image);
    // A picture of `size` that nobody but this scaler holds, to be written anew.
    QImage& unheldImage(QSize size);

    struct Made {
        QImage image;
        std::shared_ptr<const ViewMemory> memory;
    };

    bool shareRows_ = false;
    // The pictures made last: one the view still shows or a frame still holds is left alone,
    // the others are written again, so a frame costs no allocation and no fresh pages.
    std::array<Made, 4> images_;
    size_t replaceNext_ = 0;
    GstVideoConverter* converter_ = nullptr;
    GstVideoInfo in_{};
    QSize out_;
    Yuy2Scaler yuy2_;
};

// One frame as the pipeline delivered it, at the source's full size and in whatever raw format
// the source gives, kept by reference, with the picture the view paints made from it. A grab
// converts the full-size pixels once.
class VideoFrame {
public:
    // Nothing when the sample is not a complete raw video frame (a corrupt or short buffer).
    // The view's picture is fitted into `area` by `scaler`.
    static std::shared_ptr<VideoFrame> fromSample(GstSamplePtr sample, int stage, GstClockTime sourceTime,
                                                  ViewScaler& scaler, QSize area);
    // The same with the view's picture at full size.
    static std::shared_ptr<VideoFrame> fromSample(GstSamplePtr sample, int stage, GstClockTime sourceTime);

    ~VideoFrame();
    VideoFrame(const VideoFrame&) = delete;
    VideoFrame& operator=(const VideoFrame&) = delete;

    // The source's size.
    int width() const { return GST_VIDEO_INFO_WIDTH(&frame_.info); }
    int height() const { return GST_VIDEO_INFO_HEIGHT(&frame_.info); }
    int stage() const { return stage_; }
    // Clock time at which the source made the frame (base time + timestamp); NONE when unknown.
    GstClockTime sourceTime() const { return sourceTime_; }
    uint64_t sequence() const { return sequence_; }
    void setSequence(uint64_t sequence) { sequence_ = sequence; }

    // What the view paints: BGRx, fitted to the view's area as it was when the frame came.
    const QImage& view() const { return view_; }
    // The memory file the view's picture lives in.
    const std::shared_ptr<const ViewMemory>& viewMemory() const { return viewMemory_; }

    // The full-size pixels converted once into a picture's file; nothing when they cannot be.
    PicturePtr toPicture() const;

private:
    explicit VideoFrame(GstSamplePtr sample, int stage, GstClockTime sourceTime);

    GstSamplePtr sample_;
    GstVideoFrame frame_{};   // mapped for reading while the frame lives
    int stage_;
    GstClockTime sourceTime_;
    uint64_t sequence_ = 0;
    QImage view_;
    std::shared_ptr<const ViewMemory> viewMemory_;
};

using VideoFramePtr = std::shared_ptr<const VideoFrame>;

} // namespace didev
