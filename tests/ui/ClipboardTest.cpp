#include "common/Picture.h"
#include "imaging/Bitmap24.h"
#include "ui/Clipboard.h"
#include "ui/InteractionSeam.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>

#include <gtest/gtest.h>

#include <random>

namespace didev {
namespace {

PicturePtr noisePicture(int width, int height)
{
    std::mt19937 generator(99);
    return Picture::create(width, height, [&](uint8_t* bits, std::ptrdiff_t stride) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < 4 * width; ++x)
                bits[stride * y + x] = static_cast<uint8_t>(generator());
    });
}

TEST(Clipboard, EitherLayoutIsCopiedAsTheImageSeen)
{
    const PicturePtr picture = noisePicture(31, 17);
    const Bitmap24 bitmap = Bitmap24::from(viewOf(*picture));
    for (const ConstPixelView& view : {viewOf(*picture), bitmap.view()}) {
        QGuiApplication::clipboard()->clear();
        ASSERT_TRUE(copyToClipboard(view, false));
        const QImage copied = QGuiApplication::clipboard()->image();
        ASSERT_EQ(copied.size(), QSize(31, 17));
        for (int y = 0; y < 17; ++y)
            for (int x = 0; x < 31; ++x) {
                const uint8_t* p = picture->row(y) + 4 * x;
                ASSERT_EQ(copied.pixel(x, y) & 0xFFFFFFu, qRgb(p[2], p[1], p[0]) & 0xFFFFFFu) << x << "," << y;
            }
    }
}

TEST(Clipboard, AsDibTellsTheUserAndNothingIsCopiedAsIsAnEmptyView)
{
    InteractionSeam& seam = InteractionSeam::instance();
    seam.setRecordingMessages(true);
    seam.queueAnswer(ModalKind::Message, 1);
    QGuiApplication::clipboard()->setText(QStringLiteral("unchanged"));
    EXPECT_FALSE(copyToClipboard(viewOf(*noisePicture(4, 4)), true));
    EXPECT_FALSE(copyToClipboard(ConstPixelView{}, false));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("unchanged"));
    const QList<ShownMessage> shown = seam.takeMessages();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].prompt, QStringLiteral("I don't know how to put a DIB on the clipboard! Copy as bitmap instead!!!"));
    seam.setRecordingMessages(false);
}

} // namespace
} // namespace didev
