#include "imaging/TempFolderTest.h"
#include "imaging/cDIBSection.h"
#include "snapshots/PictureFormat.h"
#include "snapshots/PictureWriter.h"

#include <turbojpeg.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

namespace didev {
namespace {

namespace fs = std::filesystem;

PicturePtr gradient(int width, int height)
{
    return Picture::create(width, height, [&](uint8_t* bits, std::ptrdiff_t stride) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                uint8_t* p = bits + stride * y + 4 * x;
                p[0] = static_cast<uint8_t>(x * 4);
                p[1] = static_cast<uint8_t>(y * 4);
                p[2] = 128;
                p[3] = 255;
            }
    });
}

class PictureWriterTest : public TempFolderTest {
protected:
    QString path(const std::string& name) const { return QString::fromStdString(file(name)); }

    PictureWriter writer_;
};

TEST_F(PictureWriterTest, Code11WritesTheSameBitmapAsTheSection)
{
    const PicturePtr picture = gradient(30, 20);
    ASSERT_TRUE(writer_.save(picture, static_cast<int32_t>(PictureFormat::Bitmap), path("w.bmp")));
    cDIBSection section;
    section.CreateFromPicture(picture);
    ASSERT_TRUE(section.SavePicture((folder_ / "s.bmp").string()));
    EXPECT_EQ(readFile(folder_ / "w.bmp"), readFile(folder_ / "s.bmp"));
}

TEST_F(PictureWriterTest, Code9WritesAJpegOfThePictureSize)
{
    const PicturePtr picture = gradient(30, 20);
    ASSERT_TRUE(writer_.SaveStdPicture(picture->handle(), static_cast<int32_t>(PictureFormat::Jpeg), path("w.jpg")));
    std::vector<uint8_t> jpeg = readFile(folder_ / "w.jpg");
    std::unique_ptr<void, decltype(&tjDestroy)> decoder(tjInitDecompress(), &tjDestroy);
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    ASSERT_EQ(tjDecompressHeader3(decoder.get(), jpeg.data(), jpeg.size(), &width, &height, &subsampling, &colourspace), 0);
    EXPECT_EQ(width, 30);
    EXPECT_EQ(height, 20);
}

TEST_F(PictureWriterTest, EveryFailureIsOnlyFalse)
{
    const PicturePtr picture = gradient(8, 8);
    const fs::path locked = folder_ / "locked";
    std::ofstream(locked) << "kept";
    fs::permissions(locked, fs::perms::owner_read);
    const QString lockedName = QString::fromStdString(locked.string());

    const struct {
        const char* what;
        PicturePtr picture;
        int32_t code;
        QString fileName;
    } cases[] = {
        {"unknown code", picture, 8, path("a")},
        {"code 1", picture, 1, path("b")},
        {"no picture", nullptr, 9, path("c")},
        {"missing folder, bitmap", picture, 11, path("none/d")},
        {"missing folder, jpeg", picture, 9, path("none/e")},
        {"read-only, bitmap", picture, 11, lockedName},
        {"read-only, jpeg", picture, 9, lockedName},
    };
    for (const auto& c : cases)
        EXPECT_FALSE(writer_.save(c.picture, c.code, c.fileName)) << c.what;
    EXPECT_EQ(readFile(locked).size(), 4u);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
}

TEST_F(PictureWriterTest, AHandleOfAGonePictureIsFalse)
{
    PicturePtr picture = gradient(4, 4);
    const PictureHandle handle = picture->handle();
    picture.reset();
    EXPECT_FALSE(writer_.SaveStdPicture(handle, 9, path("gone.jpg")));
    EXPECT_FALSE(writer_.SaveStdPicture(0, 11, path("none.bmp")));
    EXPECT_TRUE(fs::is_empty(folder_));
}

TEST_F(PictureWriterTest, ALinkIsReplacedAndAReplacedFileKeepsItsMode)
{
    const PicturePtr picture = gradient(16, 12);
    std::ofstream(folder_ / "victim") << "victim";
    fs::create_symlink(folder_ / "victim", folder_ / "link.jpg");
    std::ofstream(folder_ / "old.bmp") << "old contents";
    fs::permissions(folder_ / "old.bmp", fs::perms::owner_read | fs::perms::owner_write);

    ASSERT_TRUE(writer_.save(picture, 9, path("link.jpg")));
    ASSERT_TRUE(writer_.save(picture, 11, path("old.bmp")));
    EXPECT_FALSE(fs::is_symlink(folder_ / "link.jpg"));
    EXPECT_EQ(readFile(folder_ / "link.jpg")[0], 0xFF);
    EXPECT_EQ(readFile(folder_ / "victim").size(), 6u);
    EXPECT_EQ(readFile(folder_ / "old.bmp")[0], 'B');
    EXPECT_EQ(fs::status(folder_ / "old.bmp").permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
}

} // namespace
} // namespace didev
