#pragma once

#include "imaging/GraphicsObjects.h"

#include <QImage>

namespace didev {

// A 32-bit image as a bitmap that block transfers paint into. The image must be RGB32 or
// premultiplied ARGB32; it is detached once here so its pixels stay put while it is selected.
class ImageBitmap final : public BitmapObject {
public:
    explicit ImageBitmap(QImage image);

    PixelView pixels() override;
    const QImage& image() const noexcept { return image_; }

private:
    QImage image_;
};

} // namespace didev
