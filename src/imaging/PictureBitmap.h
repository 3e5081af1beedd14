#pragma once

#include "common/Picture.h"
#include "imaging/GraphicsObjects.h"

namespace didev {

// A picture as a read-only bitmap, to be selected into a device context and copied from.
class PictureBitmap final : public BitmapObject {
public:
    explicit PictureBitmap(PicturePtr picture);

    PixelView pixels() override;

private:
    PicturePtr picture_;
};

} // namespace didev
