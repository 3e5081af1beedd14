#include "imaging/PictureBitmap.h"

namespace didev {

PictureBitmap::PictureBitmap(PicturePtr picture)
    : picture_(std::move(picture))
{
}

PixelView PictureBitmap::pixels()
{
    if (!picture_)
        return {};
    // Never written: the view is marked read-only, so the cast only satisfies the view's type.
    return PixelView{const_cast<uint8_t*>(picture_->bits()), picture_->width(), picture_->height(),
        picture_->stride(), PixelLayout::Bgrx32TopDown, false};
}

} // namespace didev
