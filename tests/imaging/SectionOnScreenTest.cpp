#include "ui/PictureBox.h"
#include "imaging/cDIBSection.h"
#include "ui/Screen.h"

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

void expectShows(const QImage& image, const Picture& picture, QPoint offset = {})
{
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const uint8_t* p = picture.row(y) + 4 * x;
            ASSERT_EQ(image.pixel(x + offset.x(), y + offset.y()) & 0xFFFFFFu, qRgb(p[2], p[1], p[0]) & 0xFFFFFFu)
                << x << "," << y;
        }
}

TEST(SectionClipboard, CopiesTheSectionAsAnImage)
{
    const PicturePtr picture = noisePicture(31, 17);
    cDIBSection section;
    section.CreateFromPicture(picture);
    QGuiApplication::clipboard()->clear();
    ASSERT_TRUE(section.CopyToClipboard(false));
    const QImage copied = QGuiApplication::clipboard()->image();
    ASSERT_EQ(copied.size(), QSize(31, 17));
    expectShows(copied, *picture);
}

TEST(SectionClipboard, AsDibRefusesAndLeavesTheClipboardAlone)
{
    QGuiApplication::clipboard()->setText(QStringLiteral("unchanged"));
    cDIBSection section;
    section.CreateFromPicture(noisePicture(4, 4));
    EXPECT_FALSE(section.CopyToClipboard(true));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("unchanged"));
}

TEST(SectionClipboard, AnEmptySectionCopiesNothing)
{
    cDIBSection section;
    EXPECT_FALSE(section.CopyToClipboard(false));
}

TEST(SectionOnPictureBox, PaintPictureLandsOnTheBoxesDrawnLayer)
{
    setFixedScreenMetrics(ScreenMetrics{19200, 15360, 15, 15});
    const PicturePtr picture = noisePicture(20, 10);
    cDIBSection section;
    section.CreateFromPicture(picture);
    PictureBox box;
    box.setWidth(40 * 15);
    box.setHeight(20 * 15);
    section.PaintPicture(box.hDC(), 5, 6, -1, -1, 0, 0, kSourceCopy);
    expectShows(box.composed(), *picture, QPoint(5, 6));
    EXPECT_EQ(box.composed().pixel(4, 6), box.backColor().rgb()) << "outside the block";

    // The layer follows a resize; the box's context keeps writing into the new one.
    box.setWidth(60 * 15);
    section.PaintPicture(box.hDC(), 40, 0, -1, -1, 0, 0, kSourceCopy);
    expectShows(box.composed(), *picture, QPoint(40, 0));
    box.Cls();
    EXPECT_EQ(box.composed().pixel(45, 5), box.backColor().rgb());
    setFixedScreenMetrics(std::nullopt);
}

} // namespace
} // namespace didev
