#include "imaging/PixelView.h"

#include "common/Picture.h"

#include <cstring>

namespace didev {

void bgrToBgrx(const uint8_t* source, uint8_t* target, int pixels) noexcept
{
    for (int x = 0; x < pixels; ++x) {
        target[4 * x] = source[3 * x];
        target[4 * x + 1] = source[3 * x + 1];
        target[4 * x + 2] = source[3 * x + 2];
        target[4 * x + 3] = 0xFF;
    }
}

ConstPixelView viewOf(const Picture& picture) noexcept
{
    return {picture.bits(), picture.width(), picture.height(), picture.stride(), PixelLayout::Bgr24BottomUp};
}

void copyPixels(const PixelView& target, int destX, int destY, const ConstPixelView& source, int srcX, int srcY,
    int width, int height)
{
    const int sourceBytes = source.bytesPerPixel();
    const int targetBytes = target.bytesPerPixel();
    const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(sourceBytes);
    // Within one surface, rows are taken in the order that never reads a row already overwritten.
    const bool backwards = source.bits == target.bits && target.row(destY) > source.row(srcY);
    for (int i = 0; i < height; ++i) {
        const int y = backwards ? height - 1 - i : i;
        const uint8_t* from = source.row(srcY + y) + static_cast<std::ptrdiff_t>(srcX) * sourceBytes;
        uint8_t* to = target.row(destY + y) + static_cast<std::ptrdiff_t>(destX) * targetBytes;
        if (sourceBytes == 3 && targetBytes == 3) {
            std::memmove(to, from, rowBytes);
        } else if (sourceBytes == 4 && targetBytes == 4) {
            std::memmove(to, from, rowBytes);
            for (int x = 0; x < width; ++x)
                to[4 * x + 3] = 0xFF;
        } else if (sourceBytes == 4) {
            bgrxToBgr(from, to, width);
        } else {
            bgrToBgrx(from, to, width);
        }
    }
}

} // namespace didev
