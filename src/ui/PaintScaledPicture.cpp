#include "ui/PaintScaledPicture.h"

#include "ui/PictureBox.h"

namespace didev {

void PaintScaledPicture(PictureBox& source, PictureBox& target, float scale, bool keepSize)
{
    const float width = static_cast<float>(source.ScaleWidth()) * scale;
    const float height = static_cast<float>(source.ScaleHeight()) * scale;
    target.Cls();
    if (!keepSize) {
        target.setWidth(width);
        target.setHeight(height);
    }
    target.PaintPicture(source.picture(), QRectF(0, 0, width, height),
        QRectF(0, 0, source.ScaleWidth(), source.ScaleHeight()));
}

} // namespace didev
