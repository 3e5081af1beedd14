#include "imaging/Bitmap24.h"
#include "ui/Clipboard.h"
#include "support/NoisePicture.h"
#include "ui/InteractionSeam.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>

#include <gtest/gtest.h>

namespace didev {
namespace {

using testing::noisePicture;

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
                const uint8_t* p = picture->row(y) + 3 * x;
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
