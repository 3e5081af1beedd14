#include "ui/Clipboard.h"

#include "ui/MessageBox.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>

namespace didev {

bool copyToClipboard(ConstPixelView pixels, bool asDib)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return false;
    if (asDib) {
        askUser(QStringLiteral("I don't know how to put a DIB on the clipboard! Copy as bitmap instead!!!"),
            MessageStyle::Information);
        return false;
    }
    if (pixels.empty())
        return false;
    QImage image(pixels.width, pixels.height, QImage::Format_RGB32);
    if (image.isNull())
        return false;
    copyPixels(PixelView{image.bits(), image.width(), image.height(), static_cast<std::ptrdiff_t>(image.bytesPerLine()),
                   PixelLayout::Bgrx32TopDown},
        0, 0, pixels, 0, 0, pixels.width, pixels.height);
    QGuiApplication::clipboard()->setImage(image);
    return true;
}

} // namespace didev
