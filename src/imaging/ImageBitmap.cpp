#include "imaging/ImageBitmap.h"

namespace didev {

ImageBitmap::ImageBitmap(QImage image)
    : image_(std::move(image))
{
    if (image_.format() != QImage::Format_RGB32 && image_.format() != QImage::Format_ARGB32_Premultiplied)
        image_ = image_.convertToFormat(QImage::Format_RGB32);
    image_.bits();
}

PixelView ImageBitmap::pixels()
{
    if (image_.isNull())
        return {};
    return PixelView{image_.bits(), image_.width(), image_.height(), static_cast<std::ptrdiff_t>(image_.bytesPerLine()),
        PixelLayout::Bgrx32TopDown, true};
}

} // namespace didev
