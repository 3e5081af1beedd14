#pragma once

#include "imaging/PixelView.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace didev {

// A picture as a bitmap file holds it: blue-green-red, rows bottom-up, each row padded with
// zeros to a multiple of 4 bytes. A size of 0 or less is an empty bitmap.
class Bitmap24 {
public:
    Bitmap24() noexcept = default;
    // Black pixels.
    Bitmap24(int width, int height);
    // The pixels of any view, converted in one pass.
    static Bitmap24 from(ConstPixelView source);

    Bitmap24(const Bitmap24& other);
    Bitmap24& operator=(const Bitmap24& other);
    Bitmap24(Bitmap24&&) noexcept = default;
    Bitmap24& operator=(Bitmap24&&) noexcept = default;

    int width() const noexcept { return width_; }
    int height() const noexcept { return height_; }
    std::ptrdiff_t stride() const noexcept { return stride_; }
    size_t byteCount() const noexcept { return static_cast<size_t>(stride_) * static_cast<size_t>(height_); }
    bool empty() const noexcept { return !bytes_; }
    const uint8_t* bits() const noexcept { return bytes_.get(); }

    PixelView view() noexcept { return {bytes_.get(), width_, height_, stride_, PixelLayout::Bgr24BottomUp}; }
    ConstPixelView view() const noexcept { return {bytes_.get(), width_, height_, stride_, PixelLayout::Bgr24BottomUp}; }

private:
    // Memory for the pixels; only the row padding is zeroed, for a caller that writes every pixel.
    static Bitmap24 uninitialised(int width, int height);

    int width_ = 0;
    int height_ = 0;
    std::ptrdiff_t stride_ = 0;
    std::unique_ptr<uint8_t[]> bytes_;
};

} // namespace didev
