#pragma once

#include <QImage>
#include <QSize>

#include <gst/video/video.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace didev {

// Limited-range YUV to RGB, in units of 1/16384.
struct YuvMatrix {
    int y, rv, gu, gv, bu;
};

// The matrix of `info`'s colours; nothing for colours our loops do not convert (full range, or
// a matrix other than BT.601 and BT.709), which the framework's converter takes instead.
std::optional<YuvMatrix> matrixOf(const GstVideoInfo& info);

// One YUY2 row of `pairs` (at least one) to 24-bit BGR, vectorised where the CPU has AVX2: each
// pair's chroma for its first pixel, the mean of its and the next pair's for the second.
void yuy2RowToBgr(const uint8_t* line, const YuvMatrix& m, uint8_t* out, int pairs);

// Makes YUY2 frames into BGRx pictures of any size, by loops of our own. Scaled: two source rows
// blended, then each output pixel from its two neighbours along the row, and converted, in one
// pass, vectorised where the CPU has AVX2. It keeps its per-column tables while the frame's size
// and the picture's stay as they are.
class Yuy2Scaler {
public:
    // For each output column or row: the first of its two source ones and the weight of the second (of 256).
    struct Tap {
        int first, weight;
    };

    // `frame` (YUY2, at least 4 x 2) into all of `image` (BGRx), by `matrix`. A picture at the
    // frame's own size is converted row by row; with `shareRows`, on row bands shared with the
    // kept row helpers (see inSharedRowBands).
    void scale(const GstVideoFrame& frame, const YuvMatrix& matrix, QImage& image, bool shareRows);

private:
    QSize in_;
    QSize out_;
    // Per output column, byte offsets in a YUY2 row and the two neighbours' weights (16 bits each,
    // the second's in the high half); per output row, the source rows.
    std::vector<int32_t> lumaOffset_, lumaWeight_, chromaOffset_, chromaWeight_;
    // Per eight output columns, where the 32 source bytes that hold their neighbours start, the
    // shuffles that pick them out and each column's two 7-bit weights as a byte pair; empty
    // when a picture is made too much smaller for that.
    std::vector<int32_t> pairStart_;
    std::vector<int8_t> pairPick_;
    std::vector<int16_t> lumaPair_, chromaPair_;
    // The same per four output columns, for pictures made smaller still; empty where the pairs
    // take the row or when even four columns do not fit 32 bytes.
    std::vector<int32_t> windowStart_;
    std::vector<int8_t> windowPick_;
    // Where neither do: per output column, where the 16 source bytes that hold its neighbours
    // start and the shuffle that picks them out.
    std::vector<int32_t> pickStart_;
    std::vector<int8_t> pickBytes_;
    std::vector<Tap> rowTaps_;
    std::vector<uint8_t> blended_;
};

} // namespace didev
