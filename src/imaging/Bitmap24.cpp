#include "imaging/Bitmap24.h"

#include "common/AutomationError.h"

#include <cstring>

namespace didev {

Bitmap24 Bitmap24::uninitialised(int width, int height)
{
    Bitmap24 bitmap;
    const uint32_t size = bitmapImageSize(width, height);
    if (width <= 0 || height <= 0)
        return bitmap;
    bitmap.width_ = width;
    bitmap.height_ = height;
    bitmap.stride_ = bitmapStride(width);
    bitmap.bytes_ = std::make_unique_for_overwrite<uint8_t[]>(size);
    const std::ptrdiff_t pixelBytes = std::ptrdiff_t{3} * width;
    if (pixelBytes < bitmap.stride_)
        for (int row = 0; row < height; ++row)
            std::memset(bitmap.bytes_.get() + bitmap.stride_ * row + pixelBytes, 0,
                static_cast<size_t>(bitmap.stride_ - pixelBytes));
    return bitmap;
}

Bitmap24::Bitmap24(int width, int height)
    : Bitmap24(uninitialised(width, height))
{
    if (bytes_)
        std::memset(bytes_.get(), 0, byteCount());
}

Bitmap24 Bitmap24::from(ConstPixelView source)
{
    if (source.empty())
        return {};
    Bitmap24 bitmap = uninitialised(source.width, source.height);
    copyPixels(bitmap.view(), 0, 0, source, 0, 0, source.width, source.height);
    return bitmap;
}

Bitmap24::Bitmap24(const Bitmap24& other)
    : Bitmap24(from(other.view()))
{
}

Bitmap24& Bitmap24::operator=(const Bitmap24& other)
{
    if (this != &other)
        *this = from(other.view());
    return *this;
}

} // namespace didev
