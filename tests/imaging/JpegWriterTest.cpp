#include "common/AutomationError.h"
#include "common/Picture.h"
#include "imaging/Bitmap24.h"
#include "imaging/JpegWriter.h"
#include "imaging/TempFolderTest.h"

#include <turbojpeg.h>

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <vector>

namespace didev {
namespace {

namespace fs = std::filesystem;

// A smooth pattern that is not symmetric top to bottom or left to right.
PicturePtr smoothPicture(int width, int height)
{
    return Picture::create(width, height, [&](uint8_t* bits, std::ptrdiff_t stride) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                uint8_t* p = bits + stride * y + 4 * x;
                const double u = width > 1 ? double(x) / (width - 1) : 0;
                const double v = height > 1 ? double(y) / (height - 1) : 0;
                p[0] = static_cast<uint8_t>(std::lround(60 + 120 * u * v));                     // blue
                p[1] = static_cast<uint8_t>(std::lround(20 + 200 * v));                         // green
                p[2] = static_cast<uint8_t>(std::lround(230 - 180 * u + 10 * std::sin(v * 3))); // red
                p[3] = static_cast<uint8_t>(x * 7);   // never read
            }
    });
}

struct Decoded {
    int width = 0, height = 0, subsampling = -1;
    std::vector<uint8_t> rgb;
};

Decoded decode(std::vector<uint8_t> jpeg)
{
    std::unique_ptr<void, decltype(&tjDestroy)> decoder(tjInitDecompress(), &tjDestroy);
    Decoded out;
    int colourspace = 0;
    if (tjDecompressHeader3(decoder.get(), jpeg.data(), jpeg.size(), &out.width, &out.height, &out.subsampling,
            &colourspace) != 0)
        return {};
    out.rgb.resize(static_cast<size_t>(out.width * out.height * 3));
    if (tjDecompress2(decoder.get(), jpeg.data(), jpeg.size(), out.rgb.data(), out.width, 0, out.height, TJPF_RGB, 0) != 0)
        return {};
    return out;
}

double psnr(const Decoded& decoded, const Picture& picture)
{
    double squares = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            for (int c = 0; c < 3; ++c) {
                const double d = double(decoded.rgb[static_cast<size_t>((y * picture.width() + x) * 3 + c)])
                    - picture.row(y)[3 * x + 2 - c];
                squares += d * d;
            }
    const double mse = squares / (3.0 * picture.width() * picture.height());
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

using JpegWriter = TempFolderTest;

TEST_F(JpegWriter, DecodesUprightInTheRightColoursForEveryRowPaddingFromEitherLayout)
{
    const struct {
        int width, height;
    } sizes[] = {{64, 48}, {97, 61}, {1, 1}, {322, 181}};
    for (const auto& size : sizes) {
        const PicturePtr picture = smoothPicture(size.width, size.height);
        const std::vector<uint8_t> jpeg = encodeJpeg(viewOf(*picture), 90);
        // The picture's own rows and the bottom-up bitmap made from them are the same JPEG.
        EXPECT_EQ(encodeJpeg(Bitmap24::from(viewOf(*picture)).view(), 90), jpeg) << size.width << "x" << size.height;
        const Decoded decoded = decode(jpeg);
        ASSERT_EQ(decoded.width, size.width);
        ASSERT_EQ(decoded.height, size.height);
        EXPECT_EQ(decoded.subsampling, TJSAMP_420);
        if (size.width >= 16 && size.height >= 16) {
            EXPECT_GT(psnr(decoded, *picture), 35.0) << size.width << "x" << size.height;
            // Green grows downwards in the source; a picture written bottom-up would show it falling.
            EXPECT_LT(decoded.rgb[1], decoded.rgb[static_cast<size_t>((size.height - 1) * size.width * 3 + 1)]);
        }
    }
}

// The file is the encoder's JPEG at the quality given, whatever the name says.
TEST_F(JpegWriter, WritesTheEncodersBytesAtTheQualityItIsGiven)
{
    const PicturePtr picture = smoothPicture(128, 96);
    for (const int quality : {90, 50}) {
        const fs::path file = folder_ / ("q" + std::to_string(quality) + ".bmp");
        ASSERT_TRUE(saveJpegFile(viewOf(*picture), file.string(), quality));
        EXPECT_EQ(readFile(file), encodeJpeg(viewOf(*picture), quality));
    }
    EXPECT_NE(readFile(folder_ / "q90.bmp"), readFile(folder_ / "q50.bmp"));
}

TEST_F(JpegWriter, FailuresAreError26001WithTheCodecsReasonLoggedAndTheOldFileKept)
{
    const PicturePtr picture = smoothPicture(8, 8);
    const fs::path old = folder_ / "frame.jpg";
    std::ofstream(old) << "old";
    const ConstPixelView noPixels{nullptr, 8, 8, 32, PixelLayout::Bgrx32TopDown};
    const struct {
        std::string fileName;
        ConstPixelView pixels;
        const char* logged;
    } cases[] = {
        {(folder_ / "missing" / "x.jpg").string(), viewOf(*picture), "No such file or directory"},
        {folder_.string(), viewOf(*picture), "Is a directory"},
        {old.string(), noPixels, "tjCompress2: "},
    };
    for (const auto& c : cases) {
        testing::internal::CaptureStderr();
        try {
            saveJpegFile(c.pixels, c.fileName, 90);
            ADD_FAILURE() << "no error for " << c.fileName;
        } catch (const AutomationError& e) {
            EXPECT_EQ(e.number(), 26001);
            EXPECT_EQ(e.source(), executableName() + ".mIntelJPEGLibrary");
            EXPECT_EQ(e.description(), "Failed to save to JPG -1");
        }
        EXPECT_NE(testing::internal::GetCapturedStderr().find(c.logged), std::string::npos) << c.fileName;
    }
    EXPECT_TRUE(fs::is_directory(folder_)) << "a folder of that name is not deleted";
    EXPECT_EQ(readFile(old), std::vector<uint8_t>({'o', 'l', 'd'}));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
}

} // namespace
} // namespace didev
