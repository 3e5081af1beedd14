// The Qt side of the section: its copy to the clipboard.
#include "imaging/cDIBSection.h"

#include "imaging/ImageBitmap.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>

namespace didev {

namespace {

// A message box needs a person at a real display; offscreen runs have none to close it.
bool canShowMessages()
{
    const QString platform = QGuiApplication::platformName();
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr
        && platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

} // namespace

bool cDIBSection::CopyToClipboard(bool bAsDIB)
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return false;
    if (bAsDIB) {
        if (canShowMessages())
            QMessageBox::information(nullptr, QString(),
                QStringLiteral("I don't know how to put a DIB on the clipboard! Copy as bitmap instead!!!"));
        return false;
    }
    QImage image(Width(), Height(), QImage::Format_RGB32);
    if (image.isNull())
        return false;
    image.fill(Qt::black);
    auto bitmap = std::make_shared<ImageBitmap>(std::move(image));
    const GraphicsHandle context = createMemoryContext();
    const GraphicsHandle bitmapHandle = registerBitmap(bitmap);
    const GraphicsHandle previous = selectBitmap(context, bitmapHandle);
    PaintPicture(context, 0, 0, -1, -1, 0, 0, kSourceCopy);
    selectBitmap(context, previous);
    deleteContext(context);
    deleteBitmap(bitmapHandle);
    QGuiApplication::clipboard()->setImage(bitmap->image());
    return true;
}

} // namespace didev
