#include "common/AutomationError.h"
#include "imaging/ImageBitmap.h"
#include "imaging/PictureBitmap.h"
#include "imaging/PixelMemoryPool.h"
#include "imaging/Resampler.h"
#include "imaging/cDIBSection.h"
#include "imaging/TempFolderTest.h"

#include <QImage>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <vector>

namespace didev {
namespace {

namespace fs = std::filesystem;

uint32_t readU32(const std::vector<uint8_t>& bytes, size_t at)
{
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

PicturePtr randomPicture(int width, int height, uint32_t seed)
{
    std::mt19937 generator(seed);
    return Picture::create(width, height, [&](uint8_t* bits, std::ptrdiff_t stride) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width * 4; ++x)
                bits[stride * y + x] = static_cast<uint8_t>(generator());
    });
}

// The section's pixel (x, y), y counted from the top of the picture.
const uint8_t* sectionPixel(const cDIBSection& section, int x, int y)
{
    return section.DIBSectionBitsPtr() + section.BytesPerScanLine() * (section.Height() - 1 - y) + 3 * x;
}

TEST(DIBSectionGeometry, StrideIsThreeBytesPerPixelRoundedUpToFour)
{
    const struct {
        int width;
        int stride;
    } cases[] = {{1, 4}, {2, 8}, {3, 12}, {4, 12}, {5, 16}, {1920, 5760}, {1921, 5764}};
    for (const auto& c : cases) {
        cDIBSection section;
        ASSERT_TRUE(section.Create(c.width, 3));
        EXPECT_EQ(section.BytesPerScanLine(), c.stride) << c.width;
        EXPECT_EQ(section.header().biSizeImage, static_cast<uint32_t>(c.stride * 3)) << c.width;
    }
}

TEST(DIBSectionGeometry, CreateFillsTheHeaderAndZeroFillsThePixels)
{
    cDIBSection section;
    ASSERT_TRUE(section.Create(7, 5));
    const BitmapInfoHeader& h = section.header();
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, 7);
    EXPECT_EQ(h.biHeight, 5);
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biBitCount, 24);
    EXPECT_EQ(h.biCompression, 0u);
    EXPECT_EQ(h.biSizeImage, 24u * 5);
    EXPECT_NE(section.hdc(), 0u);
    EXPECT_NE(section.hDib(), 0u);
    ASSERT_NE(section.DIBSectionBitsPtr(), nullptr);
    for (int i = 0; i < 24 * 5; ++i)
        ASSERT_EQ(section.DIBSectionBitsPtr()[i], 0) << i;
}

TEST(DIBSectionGeometry, ReusedPixelMemoryIsZeroFilledAgain)
{
    {
        cDIBSection used;
        ASSERT_TRUE(used.Create(33, 17));
        used.RandomiseBits(true);
    }
    EXPECT_GT(PixelMemoryPool::instance().keptBytes(), 0u) << "released memory is kept for reuse";
    cDIBSection fresh;
    ASSERT_TRUE(fresh.Create(33, 17));
    for (uint32_t i = 0; i < fresh.header().biSizeImage; ++i)
        ASSERT_EQ(fresh.DIBSectionBitsPtr()[i], 0) << i;
}

TEST(DIBSectionGeometry, ThePoolKeepsFewBlocksAndOnlyHandsOutExactSizes)
{
    PixelMemoryPool& pool = PixelMemoryPool::instance();
    pool.trim();
    std::vector<uint8_t*> released;
    for (size_t i = 0; i < PixelMemoryPool::kMaxBlocks + 2; ++i) {
        auto block = pool.acquire(1000 + i);
        released.push_back(block.get());
        pool.release(std::move(block), 1000 + i);
    }
    EXPECT_LE(pool.keptBytes(), PixelMemoryPool::kMaxBlocks * 1010);
    EXPECT_EQ(pool.acquire(1000 + PixelMemoryPool::kMaxBlocks + 1).get(), released.back());
    pool.release(pool.acquire(PixelMemoryPool::kMaxBytes + 1), PixelMemoryPool::kMaxBytes + 1);
    EXPECT_LE(pool.keptBytes(), PixelMemoryPool::kMaxBytes);
    pool.trim();
    EXPECT_EQ(pool.keptBytes(), 0u);
}

TEST(DIBSectionGeometry, EmptySectionsKeepTheirLastGeometry)
{
    cDIBSection section;
    ASSERT_TRUE(section.Create(6, 4));
    const GraphicsHandle context = section.hdc();
    const GraphicsHandle dib = section.hDib();
    section.ClearUp();
    EXPECT_EQ(section.Width(), 6);
    EXPECT_EQ(section.Height(), 4);
    EXPECT_EQ(section.hdc(), 0u);
    EXPECT_EQ(section.hDib(), 0u);
    EXPECT_EQ(section.DIBSectionBitsPtr(), nullptr);
    EXPECT_FALSE(isDeviceContext(context)) << "ClearUp leaks the device context";
    EXPECT_FALSE(isBitmap(dib)) << "ClearUp leaks the bitmap";

    for (const auto& [w, h] : {std::pair{0, 4}, {4, 0}, {-3, 4}, {4, -1}}) {
        EXPECT_FALSE(section.Create(w, h));
        EXPECT_EQ(section.Width(), w);
        EXPECT_EQ(section.Height(), h);
        EXPECT_EQ(section.hdc(), 0u);
        EXPECT_EQ(section.DIBSectionBitsPtr(), nullptr);
    }
}

TEST(DIBSectionGeometry, SizesBeyondTheLongRangeOverflow)
{
    cDIBSection section;
    for (const auto& [w, h] : {std::pair{800'000'000, 1}, {100'000, 100'000}}) {
        try {
            section.Create(w, h);
            FAIL() << w << " x " << h;
        } catch (const AutomationError& e) {
            EXPECT_EQ(e.number(), 6);
        }
        EXPECT_EQ(section.hdc(), 0u);
    }
}

TEST(DIBSectionLoad, CreateFromPictureTurnsTopDownBgrxIntoBottomUpBgr)
{
    for (const int width : {1, 2, 3, 4, 5, 7, 33}) {
        const PicturePtr picture = randomPicture(width, 3, static_cast<uint32_t>(width));
        cDIBSection section;
        section.CreateFromPicture(picture);
        ASSERT_EQ(section.Width(), width);
        ASSERT_EQ(section.Height(), 3);
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < 3; ++c)
                    ASSERT_EQ(sectionPixel(section, x, y)[c], picture->row(y)[4 * x + c]) << width << " " << x << "," << y;
            const uint8_t* row = sectionPixel(section, 0, y);
            for (int pad = 3 * width; pad < section.BytesPerScanLine(); ++pad)
                EXPECT_EQ(row[pad], 0) << "padding of width " << width;
        }
    }
}

TEST(DIBSectionLoad, CreateFromHandleCopiesALivePictureAndClearsOnADeadOne)
{
    PicturePtr picture = randomPicture(9, 4, 1);
    cDIBSection section;
    section.CreateFromHandle(picture->handle());
    ASSERT_EQ(section.Width(), 9);
    EXPECT_EQ(sectionPixel(section, 8, 0)[2], picture->row(0)[4 * 8 + 2]);

    const PictureHandle dead = picture->handle();
    picture.reset();
    section.CreateFromHandle(dead);
    EXPECT_EQ(section.hdc(), 0u);
    EXPECT_EQ(section.Width(), 0);
    section.CreateFromHandle(0);
    EXPECT_EQ(section.DIBSectionBitsPtr(), nullptr);
}

TEST(DIBSectionLoad, NoPictureIsError91)
{
    cDIBSection section;
    try {
        section.CreateFromPicture(nullptr);
        FAIL();
    } catch (const AutomationError& e) {
        EXPECT_EQ(e.number(), 91);
    }
}

TEST(DIBSectionTransfer, PaintPictureCopiesIntoAnImageWithClipping)
{
    const PicturePtr picture = randomPicture(6, 5, 7);
    cDIBSection section;
    section.CreateFromPicture(picture);

    auto target = std::make_shared<ImageBitmap>(QImage(4, 4, QImage::Format_RGB32));
    const GraphicsHandle context = createMemoryContext();
    const GraphicsHandle bitmap = registerBitmap(target);
    selectBitmap(context, bitmap);
    // Source (1, 2) onwards lands at (-1, 1): the first source column falls off the left edge.
    section.PaintPicture(context, -1, 1, -1, -1, 1, 2, kSourceCopy);
    const QImage& image = target->image();
    for (int y = 1; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            const uint8_t* source = picture->row(y + 1) + 4 * (x + 2);
            EXPECT_EQ(image.pixel(x, y), qRgb(source[2], source[1], source[0])) << x << "," << y;
        }
    EXPECT_THROW(section.PaintPicture(context, 0, 0, -1, -1, 0, 0, 0x00EE0086), AutomationError);
    selectBitmap(context, 0);
    EXPECT_TRUE(deleteContext(context));
    EXPECT_TRUE(deleteBitmap(bitmap));
}

TEST(DIBSectionTransfer, LoadPictureBltTakesABlockAndLeavesTheRest)
{
    const PicturePtr picture = randomPicture(8, 8, 3);
    const GraphicsHandle context = createMemoryContext();
    const GraphicsHandle bitmap = registerBitmap(std::make_shared<PictureBitmap>(picture));
    selectBitmap(context, bitmap);
    cDIBSection section;
    ASSERT_TRUE(section.Create(4, 4));
    section.LoadPictureBlt(context, 3, 2, 2, -1, kSourceCopy);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            for (int c = 0; c < 3; ++c) {
                const uint8_t expected = x < 2 ? picture->row(y + 2)[4 * (x + 3) + c] : 0;
                ASSERT_EQ(sectionPixel(section, x, y)[c], expected) << x << "," << y;
            }
    EXPECT_FALSE(deleteBitmap(bitmap)) << "a selected bitmap must not be deleted";
    selectBitmap(context, 0);
    deleteContext(context);
    EXPECT_TRUE(deleteBitmap(bitmap));
}

TEST(DIBSectionNoise, GreyAndColourNoiseFollowTheirChannelsAndSparePadding)
{
    for (const bool grey : {true, false}) {
        cDIBSection section;
        ASSERT_TRUE(section.Create(5, 40));
        const int stride = section.BytesPerScanLine();
        for (int row = 0; row < 40; ++row)
            section.DIBSectionBitsPtr()[stride * row + 15] = 0x5A;
        section.RandomiseBits(grey);
        std::vector<int> seen(256);
        for (int row = 0; row < 40; ++row) {
            const uint8_t* line = section.DIBSectionBitsPtr() + stride * row;
            EXPECT_EQ(line[15], 0x5A) << "padding written";
            for (int x = 0; x < 5; ++x) {
                if (grey) {
                    EXPECT_EQ(line[3 * x], line[3 * x + 1]);
                    EXPECT_EQ(line[3 * x], line[3 * x + 2]);
                } else {
                    EXPECT_EQ(line[3 * x], 0);
                }
                ++seen[line[3 * x + 1]];
            }
        }
        EXPECT_GT(std::count_if(seen.begin(), seen.end(), [](int n) { return n > 0; }), 100) << grey;
    }
}

TEST(DIBSectionClipboard, WithoutADisplayNothingIsCopied)
{
    cDIBSection section;
    ASSERT_TRUE(section.Create(2, 2));
    EXPECT_FALSE(section.CopyToClipboard(false));
    EXPECT_FALSE(section.CopyToClipboard(true));
}

// --- Resampling ------------------------------------------------------------------------------

struct Bytes {
    int width, height, stride;
    std::vector<uint8_t> data;
    uint8_t at(int column, int row) const
    {
        if (column < 0 || column >= stride || row < 0 || row >= height)
            throw std::out_of_range("pixel outside the source");
        return data[static_cast<size_t>(row * stride + column)];
    }
};

// The textbook form, pixel by pixel, for comparison: floor, nearbyint and a bounds check each time.
Bytes referenceResample(const Bytes& source, int newWidth, int newHeight)
{
    Bytes target{newWidth, newHeight, (newWidth * 3 + 3) & ~3, {}};
    target.data.assign(static_cast<size_t>(target.stride * newHeight), 0);
    const float xScale = static_cast<float>(double(source.width - 1) / double(newWidth));
    const float yScale = static_cast<float>(double(source.height - 1) / double(newHeight));
    for (int y = 0; y < newHeight; ++y) {
        const float fy = yScale * static_cast<float>(y);
        const int iy = static_cast<int>(std::floor(fy));
        const float dy = fy - static_cast<float>(iy);
        for (int x = 0; x < newWidth; ++x) {
            const float fx = xScale * static_cast<float>(x);
            const int ix = static_cast<int>(std::floor(fx));
            const float dx = fx - static_cast<float>(ix);
            for (int c = 0; c < 3; ++c) {
                const float p1 = source.at(3 * ix + c, iy), p2 = source.at(3 * ix + 3 + c, iy);
                const float p3 = source.at(3 * ix + c, iy + 1), p4 = source.at(3 * ix + 3 + c, iy + 1);
                const double left = std::nearbyint((1.0 - double(dy)) * double(p1) + double(dy) * double(p3));
                const double right = std::nearbyint((1.0 - double(dy)) * double(p2) + double(dy) * double(p4));
                const double value = std::nearbyint((1.0 - double(dx)) * left + double(dx) * right);
                target.data[static_cast<size_t>(y * target.stride + 3 * x + c)] =
                    static_cast<uint8_t>(std::clamp(value, 0.0, 255.0));
            }
        }
    }
    return target;
}

std::unique_ptr<cDIBSection> sectionFrom(const Bytes& bytes)
{
    auto section = std::make_unique<cDIBSection>();
    EXPECT_TRUE(section->Create(bytes.width, bytes.height));
    std::memcpy(section->DIBSectionBitsPtr(), bytes.data.data(), bytes.data.size());
    return section;
}

Bytes bytesOf(const cDIBSection& section)
{
    const uint8_t* bits = section.DIBSectionBitsPtr();
    return Bytes{section.Width(), section.Height(), section.BytesPerScanLine(),
        std::vector<uint8_t>(bits, bits + section.header().biSizeImage)};
}

Bytes randomBytes(int width, int height, std::mt19937& generator)
{
    Bytes bytes{width, height, (width * 3 + 3) & ~3, {}};
    bytes.data.resize(static_cast<size_t>(bytes.stride * height));
    for (int row = 0; row < height; ++row)
        for (int column = 0; column < 3 * width; ++column)
            bytes.data[static_cast<size_t>(row * bytes.stride + column)] = static_cast<uint8_t>(generator());
    return bytes;
}

TEST(DIBSectionResample, MatchesTheReferenceBitForBitOverRandomImagesAndSizes)
{
    std::mt19937 generator(20240611);
    std::uniform_int_distribution<int> size(2, 70);
    for (int round = 0; round < 300; ++round) {
        const Bytes source = randomBytes(size(generator), size(generator), generator);
        const int newWidth = round % 7 == 0 ? source.width * 2 : std::uniform_int_distribution<int>(1, 150)(generator);
        const int newHeight = round % 11 == 0 ? source.height : std::uniform_int_distribution<int>(1, 150)(generator);
        const auto section = sectionFrom(source);
        const auto resampled = section->Resample(newHeight, newWidth);
        ASSERT_NE(resampled, nullptr);
        ASSERT_EQ(resampled->Width(), newWidth);
        ASSERT_EQ(resampled->Height(), newHeight);
        const Bytes expected = newWidth == source.width && newHeight == source.height
            ? source
            : referenceResample(source, newWidth, newHeight);
        ASSERT_EQ(bytesOf(*resampled).data, expected.data)
            << source.width << "x" << source.height << " -> " << newWidth << "x" << newHeight;

        if (newWidth != source.width || newHeight != source.height) {
            Bytes portable{newWidth, newHeight, expected.stride, std::vector<uint8_t>(expected.data.size())};
            Bytes input = source;
            resampleBilinearPortable(Bgr24Rows{input.data.data(), input.width, input.height, input.stride},
                Bgr24Rows{portable.data.data(), newWidth, newHeight, portable.stride});
            ASSERT_EQ(portable.data, expected.data) << "portable path, " << source.width << "x" << source.height
                                                    << " -> " << newWidth << "x" << newHeight;
        }
    }
}

TEST(DIBSectionResample, LeavesTheTargetsPaddingAlone)
{
    std::mt19937 generator(8);
    const Bytes source = randomBytes(9, 9, generator);
    for (const int width : {1, 2, 5, 17}) {
        const int stride = (width * 3 + 3) & ~3;
        std::vector<uint8_t> target(static_cast<size_t>(stride * 4), 0xA5);
        Bytes input = source;
        resampleBilinear(Bgr24Rows{input.data.data(), 9, 9, input.stride}, Bgr24Rows{target.data(), width, 4, stride});
        for (int row = 0; row < 4; ++row)
            for (int pad = 3 * width; pad < stride; ++pad)
                EXPECT_EQ(target[static_cast<size_t>(row * stride + pad)], 0xA5) << width;
    }
}

TEST(DIBSectionResample, SameSizeIsAnExactCopy)
{
    std::mt19937 generator(5);
    const Bytes source = randomBytes(13, 9, generator);
    const auto resampled = sectionFrom(source)->Resample(9, 13);
    ASSERT_NE(resampled, nullptr);
    EXPECT_EQ(bytesOf(*resampled).data, source.data);
}

TEST(DIBSectionResample, TwoByTwoToFourByFourStopsThreeQuartersAcrossAndTiesGoToEven)
{
    // Left column 10 (blue), 11 (green), 11 (red); right column 11, 12, 12; both rows alike.
    Bytes source{2, 2, 8, {10, 11, 11, 11, 12, 12, 0, 0, 10, 11, 11, 11, 12, 12, 0, 0}};
    const auto resampled = sectionFrom(source)->Resample(4, 4);
    ASSERT_NE(resampled, nullptr);
    const Bytes out = bytesOf(*resampled);
    const uint8_t expected[4][3] = {
        {10, 11, 11},   // dx 0
        {10, 11, 11},   // dx 0.25: 10.25, 11.25
        {10, 12, 12},   // dx 0.5: 10.5 -> 10, 11.5 -> 12
        {11, 12, 12},   // dx 0.75: 10.75, 11.75; never the right column itself
    };
    for (int row = 0; row < 4; ++row)
        for (int x = 0; x < 4; ++x)
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(out.data[static_cast<size_t>(row * out.stride + 3 * x + c)], expected[x][c]) << x << "," << row;
}

TEST(DIBSectionResample, ASourceWithoutASecondRowOrColumnIsError9)
{
    const struct {
        int width, height, newWidth, newHeight;
    } cases[] = {{1, 5, 2, 5}, {1, 5, 1, 6}, {5, 1, 5, 2}, {5, 1, 3, 1}, {1, 1, 2, 2}};
    for (const auto& c : cases) {
        cDIBSection section;
        ASSERT_TRUE(section.Create(c.width, c.height));
        try {
            section.Resample(c.newHeight, c.newWidth);
            ADD_FAILURE() << c.width << "x" << c.height;
        } catch (const AutomationError& e) {
            EXPECT_EQ(e.number(), 9);
        }
    }
    cDIBSection single;
    ASSERT_TRUE(single.Create(1, 1));
    EXPECT_NE(single.Resample(1, 1), nullptr) << "same size needs no neighbours";
}

TEST(DIBSectionResample, ANewSizeThatCannotBeMadeGivesNothing)
{
    cDIBSection section;
    ASSERT_TRUE(section.Create(4, 4));
    EXPECT_EQ(section.Resample(0, 4), nullptr);
    EXPECT_EQ(section.Resample(4, -2), nullptr);
}

// --- Bitmap files ----------------------------------------------------------------------------

using DIBSectionFile = TempFolderTest;

TEST_F(DIBSectionFile, OnePixelGivesThe58ByteFile)
{
    cDIBSection section;
    ASSERT_TRUE(section.Create(1, 1));
    section.DIBSectionBitsPtr()[0] = 0x11;
    section.DIBSectionBitsPtr()[1] = 0x22;
    section.DIBSectionBitsPtr()[2] = 0x33;
    const fs::path file = folder_ / "one.bmp";
    ASSERT_TRUE(section.SavePicture(file.string()));
    const std::vector<uint8_t> expected = {
        'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,   // file header
        40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 24, 0, // size, width, height, planes, bits
        0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,   // compression, image size, resolution
        0, 0, 0, 0, 0, 0, 0, 0,                           // colours used, important
        0x11, 0x22, 0x33, 0,                              // the row with its padding byte
    };
    EXPECT_EQ(readFile(file), expected);
}

TEST_F(DIBSectionFile, SavedPictureReadsBackUpright)
{
    const PicturePtr picture = randomPicture(37, 23, 11);
    cDIBSection section;
    section.CreateFromPicture(picture);
    const fs::path file = folder_ / "frame.bmp";
    std::ofstream(file) << "an older, longer file that must be replaced entirely ............................";
    ASSERT_TRUE(section.SavePicture(file.string()));

    const std::vector<uint8_t> bytes = readFile(file);
    ASSERT_EQ(bytes.size(), 54u + 112u * 23u);
    EXPECT_EQ(readU32(bytes, 2), bytes.size());
    const QImage image(QString::fromStdString(file.string()));
    ASSERT_EQ(image.size(), QSize(37, 23));
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 37; ++x) {
            const uint8_t* p = picture->row(y) + 4 * x;
            ASSERT_EQ(image.pixel(x, y) & 0xFFFFFFu, qRgb(p[2], p[1], p[0]) & 0xFFFFFFu) << x << "," << y;
        }
}

TEST_F(DIBSectionFile, AFileThatCannotBeCreatedIsError17WithTheSystemText)
{
    cDIBSection section;
    ASSERT_TRUE(section.Create(2, 2));
    const fs::path readOnly = folder_ / "locked.bmp";
    std::ofstream(readOnly) << "kept";
    fs::permissions(readOnly, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const struct {
        fs::path path;
        int error;
    } cases[] = {{folder_ / "missing" / "x.bmp", ENOENT}, {readOnly, EACCES}, {folder_, EISDIR}};
    for (const auto& c : cases) {
        try {
            section.SavePicture(c.path.string());
            ADD_FAILURE() << c.path;
        } catch (const AutomationError& e) {
            EXPECT_EQ(e.number(), 17);
            EXPECT_EQ(e.source(), executableName() + ".cDIBSection256");
            EXPECT_EQ(e.description(), std::strerror(c.error)) << c.path;
        }
    }
    EXPECT_EQ(readFile(readOnly), std::vector<uint8_t>({'k', 'e', 'p', 't'}));
    EXPECT_EQ(section.ApiError(ENOENT), "No such file or directory");
}

TEST_F(DIBSectionFile, ASectionWithoutPixelsWritesNoFile)
{
    cDIBSection section;
    ASSERT_TRUE(section.Create(3, 3));
    section.ClearUp();   // the header still says 3 x 3, but there is no pixel memory
    EXPECT_FALSE(section.SavePicture((folder_ / "cleared.bmp").string()));
    EXPECT_TRUE(fs::is_empty(folder_));
}

} // namespace
} // namespace didev
