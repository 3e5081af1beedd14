#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace didev {

class Picture;
using PicturePtr = std::shared_ptr<const Picture>;

// Non-zero while the picture it names lives; 0 never names a picture.
using PictureHandle = uint32_t;

// An immutable picture: 32-bit BGRx pixels, rows top-down, 4 bytes per pixel with no row
// padding (the layout of QImage::Format_RGB32). It is shared by reference and registered in
// a process-wide handle table for as long as it lives, so the host can name it by a handle.
class Picture {
public:
    // Fills the pixels once, before the picture is shared; `fill` gets the first row and the stride.
    using Filler = std::function<void(uint8_t* bits, std::ptrdiff_t stride)>;

    static PicturePtr create(int width, int height, const Filler& fill);
    // A picture copied from BGRx rows of the given stride.
    static PicturePtr fromBgrx(int width, int height, const uint8_t* bits, std::ptrdiff_t stride);
    // The live picture of a handle, or nothing for 0 and for a handle whose picture is gone.
    static PicturePtr fromHandle(PictureHandle handle);

    ~Picture();
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    int width() const noexcept { return width_; }
    int height() const noexcept { return height_; }
    std::ptrdiff_t stride() const noexcept { return static_cast<std::ptrdiff_t>(width_) * 4; }
    size_t byteCount() const noexcept { return static_cast<size_t>(stride()) * static_cast<size_t>(height_); }
    const uint8_t* bits() const noexcept { return pixels_.get(); }
    const uint8_t* row(int y) const noexcept { return pixels_.get() + stride() * y; }
    PictureHandle handle() const noexcept { return handle_; }

private:
    struct Token {};

public:
    Picture(Token, int width, int height);

private:
    int width_;
    int height_;
    std::unique_ptr<uint8_t[]> pixels_;
    PictureHandle handle_ = 0;
};

} // namespace didev
