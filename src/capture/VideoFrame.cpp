#include "capture/VideoFrame.h"

#include <algorithm>
#include <optional>
#include <thread>

// The per-pixel loops of the view's scaler are worth vectorising wherever the compiler can.
#if defined(__GNUC__) && !defined(__clang__)
#define VIDEO_LOOP __attribute__((optimize("O3")))
#else
#define VIDEO_LOOP
#endif

namespace didev {

using ViewScalerTap = ViewScaler::Tap;

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
// scale factor, so that a picture made smaller keeps smooth edges and legible small text.
GstVideoConverter* newConverter(const GstVideoInfo& in, QSize size, guint threads)
{
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

QImage wrapBgrx(const GstVideoFrame& frame)
{
    return QImage(static_cast<const uchar*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)), GST_VIDEO_FRAME_WIDTH(&frame),
                  GST_VIDEO_FRAME_HEIGHT(&frame), GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0), QImage::Format_RGB32);
}

// Source positions of the `out` samples across `in` samples, pixel centres on pixel centres.
void linearTaps(int in, int out, double inPerOut, double offset, std::vector<ViewScalerTap>& taps)
{
    taps.resize(static_cast<size_t>(out));
    for (int i = 0; i < out; ++i) {
        const double position = std::clamp((i + 0.5) * inPerOut - 0.5 + offset, 0.0, double(in - 1));
        const int first = static_cast<int>(position);
        taps[size_t(i)] = {first, std::min(first + 1, in - 1), static_cast<int>((position - first) * 256 + 0.5)};
    }
}

// Limited-range YUV to RGB, in units of 1/16384.
struct YuvMatrix {
    int y, rv, gu, gv, bu;
};

std::optional<YuvMatrix> matrixOf(const GstVideoInfo& info)
{
    if (info.colorimetry.range == GST_VIDEO_COLOR_RANGE_0_255)
        return std::nullopt;
    switch (info.colorimetry.matrix) {
    case GST_VIDEO_COLOR_MATRIX_BT601:
        return YuvMatrix{19077, 26149, 6419, 13320, 33050};
    case GST_VIDEO_COLOR_MATRIX_BT709:
        return YuvMatrix{19077, 29372, 3494, 8731, 34610};
    default:
        return std::nullopt;
    }
}

VIDEO_LOOP void blendRows(const uint8_t* __restrict a, const uint8_t* __restrict b, int weight, uint8_t* __restrict out, int n)
{
    const int keep = 256 - weight;
    for (int i = 0; i < n; ++i)
        out[i] = static_cast<uint8_t>((a[i] * keep + b[i] * weight + 128) >> 8);
}

VIDEO_LOOP void toBgrx(const int16_t* __restrict y, const int16_t* __restrict u, const int16_t* __restrict v,
                       const YuvMatrix m, uint32_t* __restrict out, int n)
{
    for (int i = 0; i < n; ++i) {
        const int luma = (y[i] - 16) * m.y + 8192;
        const int cb = u[i] - 128;
        const int cr = v[i] - 128;
        const int r = std::clamp((luma + m.rv * cr) >> 14, 0, 255);
        const int g = std::clamp((luma - m.gu * cb - m.gv * cr) >> 14, 0, 255);
        const int b = std::clamp((luma + m.bu * cb) >> 14, 0, 255);
        out[i] = 0xff000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
    }
}

} // namespace

bool ViewScaler::scaleYuy2(const GstVideoFrame& frame, QImage& image)
{
    const std::optional<YuvMatrix> matrix = matrixOf(frame.info);
    if (!matrix)
        return false;
    const int inWidth = GST_VIDEO_FRAME_WIDTH(&frame);
    const int inHeight = GST_VIDEO_FRAME_HEIGHT(&frame);
    const int width = image.width();
    const int height = image.height();
    if (inWidth < 2 || inHeight < 1)
        return false;
    const double inPerOut = double(inWidth) / width;
    if (lumaTaps_.size() != size_t(width)) {
        linearTaps(inWidth, width, inPerOut, 0.0, lumaTaps_);
        // One chroma pair per two pixels, sited with the first of them.
        linearTaps(inWidth / 2, width, inPerOut / 2, 0.25, chromaTaps_);
        linearTaps(inHeight, height, double(inHeight) / height, 0.0, rowTaps_);
        y_.resize(size_t(width));
        u_.resize(size_t(width));
        v_.resize(size_t(width));
    }
    const auto* bits = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
    const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
    const int rowBytes = inWidth * 2;
    blended_.resize(size_t(rowBytes));
    for (int row = 0; row < height; ++row) {
        const ViewScalerTap& tap = rowTaps_[size_t(row)];
        const uint8_t* line = bits + ptrdiff_t(tap.first) * stride;
        if (tap.weight != 0) {
            blendRows(line, bits + ptrdiff_t(tap.second) * stride, tap.weight, blended_.data(), rowBytes);
            line = blended_.data();
        }
        for (int x = 0; x < width; ++x) {
            const ViewScalerTap& l = lumaTaps_[size_t(x)];
            const ViewScalerTap& c = chromaTaps_[size_t(x)];
            const int lumaA = line[2 * l.first];
            const int lumaB = line[2 * l.second];
            y_[size_t(x)] = int16_t(lumaA + (((lumaB - lumaA) * l.weight + 128) >> 8));
            const uint8_t* pairA = line + 4 * c.first;
            const uint8_t* pairB = line + 4 * c.second;
            u_[size_t(x)] = int16_t(pairA[1] + (((pairB[1] - pairA[1]) * c.weight + 128) >> 8));
            v_[size_t(x)] = int16_t(pairA[3] + (((pairB[3] - pairA[3]) * c.weight + 128) >> 8));
        }
        toBgrx(y_.data(), u_.data(), v_.data(), *matrix, reinterpret_cast<uint32_t*>(image.scanLine(row)), width);
    }
    return true;
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

QImage ViewScaler::scale(const GstVideoFrame& frame, QSize area)
{
    const QSize source(GST_VIDEO_FRAME_WIDTH(&frame), GST_VIDEO_FRAME_HEIGHT(&frame));
    const QSize size = fittedSize(source, area);
    if (size == source && isBgrx(frame))
        return wrapBgrx(frame);
    if (size != out_ || !gst_video_info_is_equal(&in_, &frame.info)) {
        if (converter_)
            gst_video_converter_free(converter_);
        converter_ = nullptr;
        lumaTaps_.clear();
        in_ = frame.info;
        out_ = size;
    }
    QImage image(size, QImage::Format_RGB32);
    if (GST_VIDEO_FRAME_FORMAT(&frame) == GST_VIDEO_FORMAT_YUY2 && scaleYuy2(frame, image))
        return image;
    if (!converter_) {
        if (converter_)
            gst_video_converter_free(converter_);
        in_ = frame.info;
        out_ = size;
        converter_ = newConverter(in_, out_, 1);
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
    view_ = QImage();   // it may point into the mapped frame
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
    return frame;
}

std::shared_ptr<VideoFrame> VideoFrame::fromSample(GstSamplePtr sample, int stage, GstClockTime sourceTime)
{
    ViewScaler scaler;
    return fromSample(std::move(sample), stage, sourceTime, scaler, QSize());
}

PicturePtr VideoFrame::toPicture() const
{
    if (isBgrx(frame_)) {
        return Picture::fromBgrx(width(), height(), static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame_, 0)),
                                 GST_VIDEO_FRAME_PLANE_STRIDE(&frame_, 0));
    }
    // Once, so on every core: a grab of a large frame waits for nothing else.
    const QSize size(width(), height());
    GstVideoConverter* converter = newConverter(frame_.info, size, std::max(1u, std::thread::hardware_concurrency()));
    QImage image(size, QImage::Format_RGB32);
    const bool converted = convertInto(converter, frame_, image);
    if (converter)
        gst_video_converter_free(converter);
    if (!converted)
        return nullptr;
    return Picture::fromBgrx(width(), height(), image.constBits(), image.bytesPerLine());
}

} // namespace didev
