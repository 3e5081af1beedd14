#include "common/AutomationError.h"
#include "common/Picture.h"
#include "imaging/Bitmap24.h"
#include "imaging/BitmapFile.h"
#include "imaging/NoiseFill.h"
#include "imaging/Resampler.h"
#include "imaging/TempFolderTest.h"
#include "support/AutomationErrors.h"
#include "support/NoisePicture.h"

#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <random>
#include <vector>

namespace didev {
namespace {

namespace fs = std::filesystem;

using testing::errorNumberOf;
using testing::noisePicture;

// --- The 24-bit bitmap -----------------------------------------------------------------------

// Rows and padding are the bitmap files' tests below.
TEST(Bitmap24, SizesOutsideTheLongRangeOverflowAndNoSizeIsEmpty)
{
    EXPECT_EQ(errorNumberOf([] { Bitmap24(800'000'000, 1); }), 6);
    EXPECT_EQ(errorNumberOf([] { Bitmap24(100'000, 100'000); }), 6);
    EXPECT_EQ(errorNumberOf([] { bitmapFileHeader(100'000, 100'000); }), 6);
    for (const auto& [w, h] : {std::pair{0, 4}, {4, 0}, {-3, 4}})
        EXPECT_TRUE(Bitmap24(w, h).empty()) << w << "x" << h;
}

TEST(NoiseFill, GreyAndColourNoiseFollowTheirChannelsAndSparePadding)
{
    for (const bool grey : {true, false}) {
        Bitmap24 bitmap(5, 40);
        const PixelView view = bitmap.view();
        for (int row = 0; row < 40; ++row)
            view.bits[view.stride * row + 15] = 0x5A;
        fillNoise(view, grey, 12345);
        std::vector<int> seen(256);
        for (int row = 0; row < 40; ++row) {
            const uint8_t* line = view.bits + view.stride * row;
            EXPECT_EQ(line[15], 0x5A) << "padding written";
            for (int x = 0; x < 5; ++x) {
                EXPECT_EQ(line[3 * x], grey ? line[3 * x + 1] : 0);
                EXPECT_TRUE(!grey || line[3 * x] == line[3 * x + 2]);
                ++seen[line[3 * x + 1]];
            }
        }
        EXPECT_GT(std::count_if(seen.begin(), seen.end(), [](int n) { return n > 0; }), 100) << grey;
    }
}

// --- Resampling ------------------------------------------------------------------------------

struct Bytes {
    int width, height, stride;
    std::vector<uint8_t> data;
    ConstPixelView view() const { return {data.data(), width, height, stride, PixelLayout::Bgr24BottomUp}; }
};

Bytes randomBytes(int width, int height, std::mt19937& generator)
{
    Bytes bytes{width, height, (width * 3 + 3) & ~3, {}};
    bytes.data.resize(static_cast<size_t>(bytes.stride * height));
    for (int row = 0; row < height; ++row)
        for (int column = 0; column < 3 * width; ++column)
            bytes.data[static_cast<size_t>(row * bytes.stride + column)] = static_cast<uint8_t>(generator());
    return bytes;
}

std::vector<uint8_t> bytesOf(const Bitmap24& bitmap)
{
    return std::vector<uint8_t>(bitmap.bits(), bitmap.bits() + bitmap.byteCount());
}

// Every row padding is among the sizes; how a pixel is formed is the two-by-two test's.
TEST(Resampled, TheVectorAndThePortablePathsAgreeBitForBitOverRandomImagesAndSizes)
{
    std::mt19937 generator(20240611);
    std::uniform_int_distribution<int> size(2, 70);
    for (int round = 0; round < 300; ++round) {
        const Bytes source = randomBytes(size(generator), size(generator), generator);
        const int newWidth = round % 7 == 0 ? source.width * 2 : std::uniform_int_distribution<int>(1, 150)(generator);
        const int newHeight = round % 11 == 0 ? source.height : std::uniform_int_distribution<int>(1, 150)(generator);
        const Bitmap24 out = resampled(source.view(), newWidth, newHeight);
        ASSERT_EQ(out.width(), newWidth);
        ASSERT_EQ(out.height(), newHeight);
        if (newWidth == source.width && newHeight == source.height) {
            ASSERT_EQ(bytesOf(out), source.data) << "the same size is an exact copy";
            continue;
        }
        Bitmap24 portable(newWidth, newHeight);
        resampleBilinearPortable(source.view(), portable.view());
        ASSERT_EQ(bytesOf(out), bytesOf(portable))
            << source.width << "x" << source.height << " -> " << newWidth << "x" << newHeight;
    }
}

TEST(Resampled, TwoByTwoToFourByFourStopsThreeQuartersAcrossAndTiesGoToEven)
{
    // Left column 10 (blue), 11 (green), 11 (red); right column 11, 12, 12; both rows alike.
    const Bytes source{2, 2, 8, {10, 11, 11, 11, 12, 12, 0, 0, 10, 11, 11, 11, 12, 12, 0, 0}};
    const Bitmap24 out = resampled(source.view(), 4, 4);
    const uint8_t expected[4][3] = {
        {10, 11, 11},   // dx 0
        {10, 11, 11},   // dx 0.25: 10.25, 11.25
        {10, 12, 12},   // dx 0.5: 10.5 -> 10, 11.5 -> 12
        {11, 12, 12},   // dx 0.75: 10.75, 11.75; never the right column itself
    };
    for (int row = 0; row < 4; ++row)
        for (int x = 0; x < 4; ++x)
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(out.bits()[out.stride() * row + 3 * x + c], expected[x][c]) << x << "," << row;
}

TEST(Resampled, ASourceWithoutASecondRowOrColumnIsError9AndNoSizeGivesNothing)
{
    const struct {
        int width, height, newWidth, newHeight, error;
    } cases[] = {{1, 5, 2, 5, 9}, {5, 1, 3, 1, 9}, {1, 1, 1, 1, 0} /* the same size needs no neighbours */,
        {4, 4, 4, -2, 0}};
    for (const auto& c : cases) {
        const Bitmap24 source(c.width, c.height);
        Bitmap24 out;
        EXPECT_EQ(errorNumberOf([&] { out = resampled(source.view(), c.newWidth, c.newHeight); }), c.error)
            << c.width << "x" << c.height << " -> " << c.newWidth << "x" << c.newHeight;
        EXPECT_EQ(out.empty(), c.newWidth <= 0 || c.newHeight <= 0 || c.error != 0);
    }
}

// --- Bitmap files ----------------------------------------------------------------------------

using BitmapFile = TempFolderTest;

TEST_F(BitmapFile, OnePixelGivesThe58ByteFile)
{
    Bitmap24 bitmap(1, 1);
    const uint8_t pixel[3] = {0x11, 0x22, 0x33};
    std::memcpy(bitmap.view().bits, pixel, 3);
    const fs::path file = folder_ / "one.bmp";
    ASSERT_TRUE(saveBitmapFile(bitmap.view(), file.string()));
    const std::vector<uint8_t> expected = {
        'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,   // file header
        40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 24, 0, // size, width, height, planes, bits
        0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,   // compression, image size, resolution
        0, 0, 0, 0, 0, 0, 0, 0,                           // colours used, important
        0x11, 0x22, 0x33, 0,                              // the row with its padding byte
    };
    EXPECT_EQ(readFile(file), expected);
}

TEST_F(BitmapFile, APictureAndItsBitmapGiveTheSameFileThatReadsBackUpright)
{
    // One band, and several bands of converted rows.
    for (const auto& [width, height] : {std::pair{37, 23}, std::pair{300, 700}}) {
        const PicturePtr picture = noisePicture(width, height, 11);
        const fs::path file = folder_ / "frame.bmp";
        std::ofstream(file) << "an older, longer file that must be replaced entirely ............................";
        ASSERT_TRUE(saveBitmapFile(viewOf(*picture), file.string()));
        ASSERT_TRUE(saveBitmapFile(Bitmap24::from(viewOf(*picture)).view(), (folder_ / "bitmap.bmp").string()));

        const std::vector<uint8_t> bytes = readFile(file);
        ASSERT_EQ(bytes.size(), bitmapFileSize(width, height));
        EXPECT_EQ(bytes, readFile(folder_ / "bitmap.bmp")) << width << "x" << height;
        const QImage image(QString::fromStdString(file.string()));
        ASSERT_EQ(image.size(), QSize(width, height));
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const uint8_t* p = picture->row(y) + 3 * x;
                ASSERT_EQ(image.pixel(x, y) & 0xFFFFFFu, qRgb(p[2], p[1], p[0]) & 0xFFFFFFu) << x << "," << y;
            }
    }
}

} // namespace
} // namespace didev
