#include "viewer/PictureFile.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>

namespace didev {

PicturePtr decodedPicture(const QByteArray& fileBytes)
{
    QBuffer buffer;
    buffer.setData(fileBytes);
    QImageReader reader(&buffer);
    reader.setAutoTransform(false);
    QImage image;
    if (!reader.read(&image) || image.isNull())
        return nullptr;
    if (image.format() != QImage::Format_RGB32)
        image = std::move(image).convertToFormat(QImage::Format_RGB32);
    return Picture::fromBgrx(image.width(), image.height(), image.constBits(), image.bytesPerLine());
}

} // namespace didev
