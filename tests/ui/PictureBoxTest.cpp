#include "ui/PictureBox.h"
#include "ui/Screen.h"

#include <QFont>

#include <gtest/gtest.h>

#include <cmath>

namespace didev {
namespace {

class PictureBoxTest : public ::testing::Test {
protected:
    void SetUp() override { setFixedScreenMetrics(ScreenMetrics{19200, 15360, 15, 15}); }
    void TearDown() override { setFixedScreenMetrics(std::nullopt); }
};

// Left half red, right half blue.
PicturePtr halvesPicture(int width, int height)
{
    return Picture::create(width, height, [&](uint8_t* bits, std::ptrdiff_t stride) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                uint8_t* p = bits + stride * y + 4 * x;
                const bool left = x < width / 2;
                p[0] = left ? 0 : 255;
                p[1] = 0;
                p[2] = left ? 255 : 0;
                p[3] = 255;
            }
    });
}

QRgb at(const QImage& image, int x, int y)
{
    return image.pixel(x, y) & 0xFFFFFFu;
}

TEST_F(PictureBoxTest, GeometryIsInTwipsAndSnapsToWholePixelsHalvesToEven)
{
    struct Case {
        double twips;
        int pixels;
    } const cases[] = {{1500, 100}, {1522.5, 102}, {1507.5, 100}, {7, 0}, {-30, 0}};
    for (const Case& c : cases) {
        PictureBox box;
        box.setWidth(c.twips);
        box.setHeight(c.twips);
        EXPECT_EQ(box.width(), c.pixels) << c.twips;
        EXPECT_EQ(box.height(), c.pixels) << c.twips;
        EXPECT_DOUBLE_EQ(box.Width(), c.pixels * 15.0) << c.twips;
    }
    PictureBox box;
    box.setLeft(300);
    box.setTop(450);
    EXPECT_EQ(box.pos(), QPoint(20, 30));
}

TEST_F(PictureBoxTest, BorderTakesItsPixelsFromTheScaleArea)
{
    PictureBox box;
    box.setBorderStyle(PictureBox::BorderStyle::FixedSingle);
    box.setWidth(1500);
    box.setHeight(750);
    EXPECT_DOUBLE_EQ(box.ScaleWidth(), 1500 - 4 * 15);
    EXPECT_DOUBLE_EQ(box.ScaleHeight(), 750 - 4 * 15);
    EXPECT_EQ(box.composed().size(), QSize(96, 46));
}

TEST_F(PictureBoxTest, AutoSizeTakesThePictureSizeAndKeepsItWhenThePictureGoes)
{
    PictureBox box;
    box.setAutoSize(true);
    box.setPicture(halvesPicture(200, 100));
    EXPECT_DOUBLE_EQ(box.Width(), 3000);
    EXPECT_DOUBLE_EQ(box.Height(), 1500);
    box.setPicture(nullptr);
    EXPECT_DOUBLE_EQ(box.Width(), 3000);
    EXPECT_EQ(at(box.composed(), 10, 10), box.backColor().rgb() & 0xFFFFFFu);
}

TEST_F(PictureBoxTest, ClsClearsTheDrawnLayerButKeepsThePictureAndANewPictureClearsItToo)
{
    PictureBox box;
    box.setAutoSize(true);
    box.setPicture(halvesPicture(20, 10));
    const PicturePtr green = Picture::create(1, 1, [](uint8_t* bits, std::ptrdiff_t) {
        bits[0] = 0, bits[1] = 255, bits[2] = 0, bits[3] = 255;
    });
    box.PaintPicture(green, QRectF(0, 0, 300, 150));
    EXPECT_EQ(at(box.composed(), 15, 5), 0x00FF00u) << "painted over the blue half";
    box.setCurrentX(60);
    box.Cls();
    EXPECT_EQ(at(box.composed(), 15, 5), 0x0000FFu);
    EXPECT_EQ(box.CurrentX(), 0);
    EXPECT_EQ(qAlpha(box.drawnLayer().pixel(15, 5)), 0);
    // Assigning a picture, or none, clears the layer too.
    box.PaintPicture(green, QRectF(0, 0, 300, 150));
    box.setPicture(nullptr);
    EXPECT_EQ(at(box.composed(), 15, 5), box.backColor().rgb() & 0xFFFFFFu);
}

struct ScaleCase {
    float scale;
    int width;
    int height;
};

class PaintScaledPictureTest : public PictureBoxTest, public ::testing::WithParamInterface<ScaleCase> {};

TEST_P(PaintScaledPictureTest, TargetTakesTheScaledSizeAndShowsTheWholePicture)
{
    const ScaleCase c = GetParam();
    QWidget window;   // never shown: the boxes are hidden children, as in a window not yet up
    PictureBox source(&window);
    source.setAutoSize(true);
    source.setPicture(halvesPicture(200, 100));
    PictureBox target(&window);
    target.setWidth(15 * 7);
    target.setHeight(15 * 7);
    target.PaintPicture(halvesPicture(2, 2), QRectF(0, 0, 105, 105));

    paintScaled(source, target, c.scale);

    ASSERT_EQ(target.width(), c.width);
    ASSERT_EQ(target.height(), c.height);
    const QImage shown = target.composed();
    EXPECT_EQ(at(shown, 0, 0), 0xFF0000u);
    EXPECT_EQ(at(shown, c.width / 4, c.height / 2), 0xFF0000u);
    EXPECT_EQ(at(shown, c.width * 3 / 4, c.height / 2), 0x0000FFu);
    EXPECT_EQ(at(shown, c.width - 1, c.height - 1), 0x0000FFu) << "the last column and row are painted";
}

INSTANTIATE_TEST_SUITE_P(Scales, PaintScaledPictureTest,
    ::testing::Values(ScaleCase{0.5f, 100, 50}, ScaleCase{2.0f, 400, 200}, ScaleCase{0.1f, 20, 10},
        ScaleCase{0.753f, 151, 75}));

TEST_F(PictureBoxTest, PrintDrawsAtTheCurrentPositionAndMovesToTheNextLine)
{
    PictureBox box;
    box.setWidth(6000);
    box.setHeight(1500);
    box.setBackColor(Qt::white);
    box.setFont(QFont(QStringLiteral("Arial"), 14));
    const QString text = QStringLiteral("SNAPSHOT FAILED");
    const double w = box.textWidth(text);
    const double h = box.textHeight(text);
    // Arial 14 pt at 96 DPI is about 18.7 px high; the caps line is about 170 px wide.
    EXPECT_NEAR(h / 15, 21, 2);
    EXPECT_NEAR(w / 15, 170, 25);

    box.setCurrentX(50);
    box.setCurrentY(50);
    box.print(text);
    EXPECT_DOUBLE_EQ(box.CurrentX(), 0);
    EXPECT_DOUBLE_EQ(box.CurrentY(), 50 + h);

    // Ink lies inside the text's box, starting at (50, 50) twips.
    const QImage& layer = box.drawnLayer();
    int minX = layer.width(), maxX = -1, minY = layer.height(), maxY = -1;
    for (int y = 0; y < layer.height(); ++y)
        for (int x = 0; x < layer.width(); ++x)
            if (qAlpha(layer.pixel(x, y)) > 128) {
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
                minY = std::min(minY, y);
                maxY = std::max(maxY, y);
            }
    ASSERT_GE(maxX, 0) << "nothing printed";
    EXPECT_GE(minX, 3);
    EXPECT_LE(minX, 6);
    EXPECT_GE(minY, 3);
    EXPECT_LE(maxX, static_cast<int>(std::ceil((50 + w) / 15)));
    EXPECT_LE(maxY, static_cast<int>(std::ceil((50 + h) / 15)));
}

} // namespace
} // namespace didev
