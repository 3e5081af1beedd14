#include "common/AutomationError.h"
#include "imaging/JpegLibrary.h"
#include "imaging/TempFolderTest.h"
#include "imaging/cDIBSection.h"

#include <turbojpeg.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
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
                p[0] = static_cast<uint8_t>(std::lround(60 + 120 * u * v));                  // blue
                p[1] = static_cast<uint8_t>(std::lround(20 + 200 * v));                      // green
                p[2] = static_cast<uint8_t>(std::lround(230 - 180 * u + 10 * std::sin(v * 3))); // red
                p[3] = 255;
            }
    });
}

struct Decoded {
    int width = 0, height = 0, subsampling = -1;
    std::vector<uint8_t> rgb;
};

Decoded decode(const fs::path& file)
{
    std::vector<unsigned char> jpeg = readFile(file);
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
                    - picture.row(y)[4 * x + 2 - c];
                squares += d * d;
            }
    const double mse = squares / (3.0 * picture.width() * picture.height());
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

std::string qualityOf(const fs::path& file)
{
    const std::string command = "identify -format %Q '" + file.string() + "' 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return {};
    char text[32] = {};
    const size_t read = std::fread(text, 1, sizeof text - 1, pipe);
    ::pclose(pipe);
    return std::string(text, read);
}

class JpegLibraryTest : public TempFolderTest {
protected:
    void expectJpegError(cDIBSection& section, const std::string& fileName)
    {
        try {
            SaveDIBAsJPEG(section, fileName, 90);
            ADD_FAILURE() << "no error for " << fileName;
        } catch (const AutomationError& e) {
            EXPECT_EQ(e.number(), 26001);
            EXPECT_EQ(e.source(), executableName() + ".mIntelJPEGLibrary");
            EXPECT_EQ(e.description(), "Failed to save to JPG -1");
        }
    }
};

TEST_F(JpegLibraryTest, DecodesUprightInTheRightColoursForEveryRowPadding)
{
    const struct {
        int width, height;
    } sizes[] = {{64, 48}, {97, 61}, {5, 9}, {4, 4}, {1, 1}, {322, 181}};
    for (const auto& size : sizes) {
        const PicturePtr picture = smoothPicture(size.width, size.height);
        cDIBSection section;
        section.CreateFromPicture(picture);
        const fs::path file = folder_ / "frame.jpg";
        ASSERT_TRUE(SaveDIBAsJPEG(section, file.string(), 90));
        const Decoded decoded = decode(file);
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

TEST_F(JpegLibraryTest, WritesTheQualityItIsGiven)
{
    const PicturePtr picture = smoothPicture(128, 96);
    cDIBSection section;
    section.CreateFromPicture(picture);
    for (const int quality : {90, 50}) {
        const fs::path file = folder_ / ("q" + std::to_string(quality) + ".bmp");
        ASSERT_TRUE(SaveDIBAsJPEG(section, file.string(), quality));
        EXPECT_EQ(qualityOf(file), std::to_string(quality)) << "needs imagemagick's identify";
    }
}

TEST_F(JpegLibraryTest, AnExistingFileIsReplaced)
{
    const fs::path file = folder_ / "old.jpg";
    std::ofstream(file) << std::string(5'000'000, 'x');
    cDIBSection section;
    section.CreateFromPicture(smoothPicture(32, 32));
    ASSERT_TRUE(SaveDIBAsJPEG(section, file.string(), 90));
    EXPECT_LT(fs::file_size(file), 5'000'000u);
    EXPECT_EQ(decode(file).width, 32);
}

TEST_F(JpegLibraryTest, FailuresToWriteAreError26001)
{
    cDIBSection section;
    section.CreateFromPicture(smoothPicture(8, 8));
    expectJpegError(section, (folder_ / "missing" / "x.jpg").string());
    expectJpegError(section, "");
    expectJpegError(section, folder_.string());
    EXPECT_TRUE(fs::is_directory(folder_)) << "a folder of that name is not deleted";

    cDIBSection empty;
    expectJpegError(empty, (folder_ / "empty.jpg").string());
}

TEST_F(JpegLibraryTest, TheOldFileStaysWhenTheCodecRefuses)
{
    const fs::path file = folder_ / "frame.jpg";
    std::ofstream(file) << "old";
    cDIBSection section;
    ASSERT_TRUE(section.Create(8, 8));
    section.ClearUp();   // geometry kept, pixels gone: the codec refuses
    expectJpegError(section, file.string());
    EXPECT_EQ(readFile(file), std::vector<uint8_t>({'o', 'l', 'd'}));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
}

} // namespace
} // namespace didev
