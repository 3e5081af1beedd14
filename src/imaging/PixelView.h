#pragma once

#include "common/BitmapLayout.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace didev {

class Picture;

// The two pixel layouts the module draws with.
enum class PixelLayout {
    Bgr24BottomUp,   // 3 bytes per pixel, rows bottom-up, stride a multiple of 4
    Bgrx32TopDown,   // 4 bytes per pixel, rows top-down; the fourth byte is written as 0xFF
};

// Borrowed pixel memory: `bits` is memory row 0, which is the bottom row for a bottom-up layout.
template <typename Byte>
struct BasicPixelView {
    Byte* bits = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;
    PixelLayout layout = PixelLayout::Bgrx32TopDown;

    bool empty() const noexcept { return bits == nullptr || width <= 0 || height <= 0; }
    int bytesPerPixel() const noexcept { return layout == PixelLayout::Bgr24BottomUp ? 3 : 4; }
    // Row y of the picture as seen, 0 being the top row.
    Byte* row(int y) const noexcept
    {
        const int memoryRow = layout == PixelLayout::Bgr24BottomUp ? height - 1 - y : y;
        return bits + stride * memoryRow;
    }

    // A writable view reads as a read-only one.
    operator BasicPixelView<const Byte>() const noexcept
        requires(!std::is_const_v<Byte>)
    {
        return {bits, width, height, stride, layout};
    }
};

using PixelView = BasicPixelView<uint8_t>;
using ConstPixelView = BasicPixelView<const uint8_t>;

// A picture's pixels, as its bitmap file holds them.
ConstPixelView viewOf(const Picture& picture) noexcept;

// Copies a width x height block from (srcX, srcY) of `source` to (destX, destY) of `target`,
// both given top-down and already clipped to both views, converting between the layouts.
void copyPixels(const PixelView& target, int destX, int destY, const ConstPixelView& source, int srcX, int srcY,
    int width, int height);

// One row of BGR pixels to BGRx with the fourth byte 0xFF (bgrxToBgr goes the other way).
void bgrToBgrx(const uint8_t* source, uint8_t* target, int pixels) noexcept;

} // namespace didev
