#include "capture/VideoFrame.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <system_error>
#include <thread>

// The per-pixel loops of the view's scaler are worth vectorising wherever the compiler can.
#if defined(__GNUC__) && !defined(__clang__)
#define VIDEO_LOOP __attribute__((optimize("O3"), target_clones("avx2", "default")))
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

QImage wrapBgrx(const GstVideoFrame& frame)
{
    return QImage(static_cast<const uchar*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)), GST_VIDEO_FRAME_WIDTH(&frame),
                  GST_VIDEO_FRAME_HEIGHT(&frame), GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0), QImage::Format_RGB32);
}

// Source positions of the `out` samples across `in` samples (at least 2), pixel centres on pixel
// centres: the first of the two neighbours (never the last sample, so the second always exists)
// and the weight of the second, of 256.
void linearTaps(int in, int out, double inPerOut, double offset, std::vector<ViewScalerTap>& taps)
{
    taps.resize(static_cast<size_t>(out));
    for (int i = 0; i < out; ++i) {
        const double position = std::clamp((i + 0.5) * inPerOut - 0.5 + offset, 0.0, double(in - 1));
        const int first = std::min(static_cast<int>(position), in - 2);
        taps[size_t(i)] = {first, static_cast<int>((position - first) * 256 + 0.5)};
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

inline uint32_t bgrx(int luma, int cb, int cr, const YuvMatrix& m)
{
    const int l = (luma - 16) * m.y + 8192;
    const int r = std::clamp((l + m.rv * cr) >> 14, 0, 255);
    const int g = std::clamp((l - m.gu * cb - m.gv * cr) >> 14, 0, 255);
    const int b = std::clamp((l + m.bu * cb) >> 14, 0, 255);
    return 0xff000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
}

VIDEO_LOOP void blendRows(const uint8_t* __restrict a, const uint8_t* __restrict b, int weight, uint8_t* __restrict out, int n)
{
    const int keep = 256 - weight;
    for (int i = 0; i < n; ++i)
        out[i] = static_cast<uint8_t>((a[i] * keep + b[i] * weight + 128) >> 8);
}

uint32_t wordAt(const uint8_t* bytes)
{
    uint32_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

// One YUY2 row to `n` BGRx pixels. Each pixel reads three words: the one at its first luma
// sample holds both luma neighbours (bytes 0 and 2, whether the sample is odd or even), and
// the two chroma pairs are the words at `chroma` and after it (U in byte 1, V in byte 3).
VIDEO_LOOP void yuy2Row(const uint8_t* __restrict line, const int32_t* __restrict luma, const int32_t* __restrict lumaWeight,
                        const int32_t* __restrict chroma, const int32_t* __restrict chromaWeight, const YuvMatrix m,
                        uint32_t* __restrict out, int n)
{
    for (int i = 0; i < n; ++i) {
        const uint32_t y = wordAt(line + luma[i]);
        const uint32_t c0 = wordAt(line + chroma[i]);
        const uint32_t c1 = wordAt(line + chroma[i] + 4);
        const int lw = lumaWeight[i];
        const int cw = chromaWeight[i];
        const int yy = (int(y & 0xff) * (256 - lw) + int((y >> 16) & 0xff) * lw + 128) >> 8;
        const int cb = ((int((c0 >> 8) & 0xff) * (256 - cw) + int((c1 >> 8) & 0xff) * cw + 128) >> 8) - 128;
        const int cr = ((int(c0 >> 24) * (256 - cw) + int(c1 >> 24) * cw + 128) >> 8) - 128;
        out[i] = bgrx(yy, cb, cr, m);
    }
}

// One YUY2 row at its own size: each pair's chroma for its first pixel, the mean of its and
// the next pair's for the second (the last pair has none after it).
VIDEO_LOOP void yuy2RowAsIs(const uint8_t* __restrict line, const YuvMatrix m, uint32_t* __restrict out, int pairs)
{
    for (int i = 0; i + 1 < pairs; ++i) {
        const uint8_t* pair = line + 4 * i;
        const int cb = pair[1] - 128;
        const int cr = pair[3] - 128;
        out[2 * i] = bgrx(pair[0], cb, cr, m);
        out[2 * i + 1] = bgrx(pair[2], (pair[1] + pair[5] + 1) / 2 - 128, (pair[3] + pair[7] + 1) / 2 - 128, m);
    }
    const uint8_t* last = line + 4 * (pairs - 1);
    out[2 * pairs - 2] = bgrx(last[0], last[1] - 128, last[3] - 128, m);
    out[2 * pairs - 1] = bgrx(last[2], last[1] - 128, last[3] - 128, m);
}

} // namespace

bool ViewScaler::scaleYuy2(const GstVideoFrame& frame, QImage& image)
{
    const std::optional<YuvMatrix> matrix = matrixOf(frame.info);
    const int inWidth = GST_VIDEO_FRAME_WIDTH(&frame);
    const int inHeight = GST_VIDEO_FRAME_HEIGHT(&frame);
    if (!matrix || inWidth < 4 || inHeight < 2)
        return false;
    const int width = image.width();
    const int height = image.height();
    const auto* bits = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
    const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
    uint8_t* const target = image.bits();
    const qsizetype targetStride = image.bytesPerLine();
    const auto targetRow = [&](int row) { return reinterpret_cast<uint32_t*>(target + row * targetStride); };
    if (width == inWidth && height == inHeight && inWidth % 2 == 0) {
        // At its own size (a grab): rows apart from each other, so shared among the threads.
        const auto convertRows = [&](int first, int end) {
            for (int row = first; row < end; ++row) {
                yuy2RowAsIs(bits + ptrdiff_t(row) * stride, *matrix, targetRow(row), inWidth / 2);
            }
        };
        const int helpers = int(std::min(threads_, 8u)) - 1;
        std::vector<std::thread> threads;
        for (int part = 1; part <= helpers; ++part) {
            const int first = height * part / (helpers + 1);
            const int end = height * (part + 1) / (helpers + 1);
            try {
                threads.emplace_back(convertRows, first, end);
            } catch (const std::system_error&) {
                convertRows(first, end);   // no thread to be had: this one does the part
            }
        }
        convertRows(0, height / (helpers + 1));
        for (std::thread& thread : threads)
            thread.join();
        return true;
    }
    if (lumaOffset_.size() != size_t(width)) {
        const double inPerOut = double(inWidth) / width;
        std::vector<Tap> luma;
        std::vector<Tap> chroma;
        linearTaps(inWidth, width, inPerOut, 0.0, luma);
        // One chroma pair per two pixels, sited with the first of them.
        linearTaps(inWidth / 2, width, inPerOut / 2, 0.25, chroma);
        lumaOffset_.resize(size_t(width));
        lumaWeight_.resize(size_t(width));
        chromaOffset_.resize(size_t(width));
        chromaWeight_.resize(size_t(width));
        for (size_t x = 0; x < size_t(width); ++x) {
            lumaOffset_[x] = 2 * luma[x].first;
            lumaWeight_[x] = luma[x].weight;
            chromaOffset_[x] = 4 * chroma[x].first;
            chromaWeight_[x] = chroma[x].weight;
        }
        linearTaps(inHeight, height, double(inHeight) / height, 0.0, rowTaps_);
    }
    const int rowBytes = inWidth * 2;
    blended_.resize(size_t(rowBytes));
    for (int row = 0; row < height; ++row) {
        const Tap& tap = rowTaps_[size_t(row)];
        const uint8_t* line = bits + ptrdiff_t(tap.first) * stride;
        if (tap.weight != 0) {
            blendRows(line, line + stride, tap.weight, blended_.data(), rowBytes);
            line = blended_.data();
        }
        yuy2Row(line, lumaOffset_.data(), lumaWeight_.data(), chromaOffset_.data(), chromaWeight_.data(), *matrix,
                targetRow(row), width);
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
        lumaOffset_.clear();
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
    ViewScaler converter(std::max(1u, std::thread::hardware_concurrency()));
    const QImage image = converter.scale(frame_, QSize());
    if (image.isNull())
        return nullptr;
    return Picture::fromBgrx(width(), height(), image.constBits(), image.bytesPerLine());
}

} // namespace didev
