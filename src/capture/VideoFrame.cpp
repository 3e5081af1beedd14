#include "capture/VideoFrame.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <optional>

#include <sys/mman.h>
#include <unistd.h>

namespace didev {

namespace {

GstVideoInfo bgrxInfo(QSize size, const QImage& image)
{
    GstVideoInfo info;
    gst_video_info_set_format(&info, GST_VIDEO_FORMAT_BGRx, static_cast<guint>(size.width()), static_cast<guint>(size.height()));
    info.stride[0] = static_cast<gint>(image.bytesPerLine());
    info.size = static_cast<gsize>(image.sizeInBytes());
    return info;
}

// A converter from `in` to BGRx at `size`. Scaling is linear with the filter widened to the
// scale factor, so that a picture made smaller keeps smooth edges and legible small text. It
// works on the calling thread alone: GStreamer's converter threads come from GLib's shared pool,
// which keeps them alive after the converter is freed and lets them end on their own later,
// down to while the process exits.
GstVideoConverter* newConverter(const GstVideoInfo& in, QSize size)
{
    constexpr guint threads = 1;
    GstVideoInfo out;
    gst_video_info_set_interlaced_format(&out, GST_VIDEO_FORMAT_BGRx, GST_VIDEO_INFO_INTERLACE_MODE(&in),
                                         static_cast<guint>(size.width()), static_cast<guint>(size.height()));
    GST_VIDEO_INFO_FPS_N(&out) = GST_VIDEO_INFO_FPS_N(&in);
    GST_VIDEO_INFO_FPS_D(&out) = GST_VIDEO_INFO_FPS_D(&in);
    GstStructure* config = gst_structure_new(
        "GstVideoConverter", GST_VIDEO_CONVERTER_OPT_RESAMPLER_METHOD, GST_TYPE_VIDEO_RESAMPLER_METHOD,
        GST_VIDEO_RESAMPLER_METHOD_LINEAR, GST_VIDEO_CONVERTER_OPT_DITHER_METHOD, GST_TYPE_VIDEO_DITHER_METHOD,
        GST_VIDEO_DITHER_NONE, GST_VIDEO_CONVERTER_OPT_THREADS, G_TYPE_UINT, threads, nullptr);
    GstVideoInfo input = in;
    return gst_video_converter_new(&input, &out, config);
}

// `in` converted into `image` (BGRx, of the converter's output size).
bool convertInto(GstVideoConverter* converter, const GstVideoFrame& in, QImage& image)
{
    if (!converter || image.isNull())
        return false;
    GstVideoInfo info = bgrxInfo(image.size(), image);
    GstBuffer* buffer = gst_buffer_new_wrapped_full(static_cast<GstMemoryFlags>(0), image.bits(), info.size, 0,
                                                    info.size, nullptr, nullptr);
    GstVideoFrame out;
    const bool mapped = gst_video_frame_map(&out, &info, buffer, GST_MAP_WRITE);
    if (mapped) {
        gst_video_converter_frame(converter, &in, &out);
        gst_video_frame_unmap(&out);
    }
    gst_buffer_unref(buffer);
    return mapped;
}

bool isBgrx(const GstVideoFrame& frame)
{
    return GST_VIDEO_FRAME_FORMAT(&frame) == GST_VIDEO_FORMAT_BGRx;
}

// `frame`'s BGRx rows copied into `image` of its size.
void copyBgrx(const GstVideoFrame& frame, QImage& image)
{
    const auto* bits = static_cast<const uchar*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
    const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
    const size_t rowBytes = size_t(image.width()) * 4;
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(image.scanLine(y), bits + ptrdiff_t(y) * stride, rowBytes);
}

} // namespace

bool ViewScaler::scaleYuy2(const GstVideoFrame& frame, QImage& image)
{
    const std::optional<YuvMatrix> matrix = matrixOf(frame.info);
    if (!matrix || GST_VIDEO_FRAME_WIDTH(&frame) < 4 || GST_VIDEO_FRAME_HEIGHT(&frame) < 2)
        return false;
    yuy2_.scale(frame, *matrix, image, shareRows_);
    return true;
}

ViewMemory::ViewMemory(FileDescriptor fd, void* bits, size_t size)
    : fd_(std::move(fd))
    , bits_(bits)
    , size_(size)
{
}

ViewMemory::~ViewMemory()
{
    ::munmap(bits_, size_);
}

QImage ViewMemory::newImage(QSize size, std::shared_ptr<const ViewMemory>& memory)
{
    memory.reset();
    if (size.isEmpty())
        return {};
    const qsizetype rowBytes = qsizetype(size.width()) * 4;
    const size_t bytes = size_t(rowBytes) * size_t(size.height());
    FileDescriptor fd(::memfd_create("didev-view", MFD_CLOEXEC));
    if (!fd.valid() || ::ftruncate(fd.get(), off_t(bytes)) != 0)
        return {};
    void* bits = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd.get(), 0);
    if (bits == MAP_FAILED)
        return {};
    memory.reset(new ViewMemory(std::move(fd), bits, bytes));
    // Each copy of the image holds the memory through the image's own data.
    auto* holder = new std::shared_ptr<const ViewMemory>(memory);
    return QImage(static_cast<uchar*>(bits), size.width(), size.height(), rowBytes, QImage::Format_RGB32,
                  [](void* held) { delete static_cast<std::shared_ptr<const ViewMemory>*>(held); }, holder);
}

ViewScaler::~ViewScaler()
{
    if (converter_)
        gst_video_converter_free(converter_);
}

QSize ViewScaler::fittedSize(QSize picture, QSize area)
{
    if (area.isEmpty() || picture.isEmpty())
        return picture;
    return picture.scaled(area, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

QImage& ViewScaler::unheldImage(QSize size)
{
    Made* spare = nullptr;
    for (Made& made : images_) {
        if (made.image.size() == size && made.image.isDetached()) {
            // Whoever let it go last has done reading it before it is written.
            std::atomic_thread_fence(std::memory_order_acquire);
            return made.image;
        }
        if (!spare && (made.image.isNull() || made.image.isDetached()))
            spare = &made;
    }
    // All held (a frame kept for longer): the next in turn is let go to whoever holds it.
    if (!spare)
        spare = &images_[replaceNext_++ % images_.size()];
    spare->image = ViewMemory::newImage(size, spare->memory);
    return spare->image;
}

std::shared_ptr<const ViewMemory> ViewScaler::memoryOf(const QImage& image) const
{
    for (const Made& made : images_) {
        if (!image.isNull() && made.image.constBits() == image.constBits())
            return made.memory;
    }
    return nullptr;
}

QImage ViewScaler::scale(const GstVideoFrame& frame, QSize area)
{
    const QSize source(GST_VIDEO_FRAME_WIDTH(&frame), GST_VIDEO_FRAME_HEIGHT(&frame));
    const QSize size = fittedSize(source, area);
    if (size != out_ || !gst_video_info_is_equal(&in_, &frame.info)) {
        if (converter_)
            gst_video_converter_free(converter_);
        converter_ = nullptr;
        in_ = frame.info;
        out_ = size;
    }
    QImage& image = unheldImage(size);
    if (image.isNull())
        return {};
    if (size == source && isBgrx(frame)) {
        copyBgrx(frame, image);
        return image;
    }
    if (GST_VIDEO_FRAME_FORMAT(&frame) == GST_VIDEO_FORMAT_YUY2 && scaleYuy2(frame, image))
        return image;
    if (!converter_) {
        if (converter_)
            gst_video_converter_free(converter_);
        in_ = frame.info;
        out_ = size;
        converter_ = newConverter(in_, out_);
    }
    if (!convertInto(converter_, frame, image))
        return {};
    return image;
}

VideoFrame::VideoFrame(GstSamplePtr sample, int stage, GstClockTime sourceTime)
    : sample_(std::move(sample))
    , stage_(stage)
    , sourceTime_(sourceTime)
{
}

VideoFrame::~VideoFrame()
{
    if (frame_.buffer)
        gst_video_frame_unmap(&frame_);
}

std::shared_ptr<VideoFrame> VideoFrame::fromSample(GstSamplePtr sample, int stage, GstClockTime sourceTime,
                                                   ViewScaler& scaler, QSize area)
{
    if (!sample)
        return nullptr;
    GstCaps* caps = gst_sample_get_caps(sample.get());
    GstBuffer* buffer = gst_sample_get_buffer(sample.get());
    GstVideoInfo info;
    if (!caps || !buffer || !gst_video_info_from_caps(&info, caps) || GST_VIDEO_INFO_FORMAT(&info) == GST_VIDEO_FORMAT_ENCODED)
        return nullptr;
    std::shared_ptr<VideoFrame> frame(new VideoFrame(std::move(sample), stage, sourceTime));
    // A buffer shorter than its caps promise is a corrupt frame: it is dropped here, never shown.
    if (!gst_video_frame_map(&frame->frame_, &info, buffer, GST_MAP_READ)) {
        frame->frame_ = GstVideoFrame{};
        return nullptr;
    }
    frame->view_ = scaler.scale(frame->frame_, area);
    if (frame->view_.isNull())
        return nullptr;
    frame->viewMemory_ = scaler.memoryOf(frame->view_);
    return frame;
}

std::shared_ptr<VideoFrame> VideoFrame::fromSample(GstSamplePtr sample, int stage, GstClockTime sourceTime)
{
    ViewScaler scaler;
    return fromSample(std::move(sample), stage, sourceTime, scaler, QSize());
}

PicturePtr VideoFrame::toPicture() const
{
    const int w = width();
    const int h = height();
    const auto* bits = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame_, 0));
    const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame_, 0);
    const std::optional<YuvMatrix> matrix = matrixOf(frame_.info);
    PicturePtr picture;
    if (isBgrx(frame_)) {
        picture = Picture::fromBgrx(w, h, bits, stride);
    } else if (GST_VIDEO_FRAME_FORMAT(&frame_) == GST_VIDEO_FORMAT_YUY2 && matrix && w % 2 == 0 && w >= 2) {
        // Straight into the file's rows, bottom-up (file row r is source row h - 1 - r), in one pass.
        picture = Picture::make(w, h, [&](uint8_t* rows, std::ptrdiff_t targetStride, int first, int end) {
            for (int r = first; r < end; ++r)
                yuy2RowToBgr(bits + ptrdiff_t(h - 1 - r) * stride, *matrix, rows + targetStride * (r - first), w / 2);
        });
    } else {
        ViewScaler converter(true);
        const QImage image = converter.scale(frame_, QSize());
        if (image.isNull())
            return nullptr;
        picture = Picture::fromBgrx(w, h, image.constBits(), image.bytesPerLine());
    }
    // The next grab most likely takes a frame of the same size.
    Picture::prepareNext(w, h);
    return picture;
}

} // namespace didev
