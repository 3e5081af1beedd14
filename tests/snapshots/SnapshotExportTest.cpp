#include "common/AutomationError.h"
#include "imaging/TempFolderTest.h"
#include "imaging/BitmapFile.h"
#include "snapshots/SealedBitmapFile.h"
#include "snapshots/SnapshotExport.h"
#include "support/TestModule.h"
#include "support/AutomationErrors.h"
#include "support/FileTargets.h"
#include "support/NoisePicture.h"
#include "support/ProcessResources.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

namespace didev {
namespace {

namespace fs = std::filesystem;

using testing::errorNumberOf;
using testing::noisePicture;

// Two frames; an export reads the store as a constant.
class SnapshotExportTest : public TempFolderTest {
protected:
    TestModule owner;
    void SetUp() override
    {
        TempFolderTest::SetUp();
        for (int i = 1; i <= 2; ++i)
            testModule().state().snapshotStore.append(
                {noisePicture(21 + i, 13, static_cast<uint32_t>(i)), int16_t(i), 0.0, QString(), false});
    }

    QString path(const std::string& name) const { return QString::fromStdString(file(name)); }
};

// The host's format number, not the file's extension, decides what is written; only 1 (bitmap)
// and 3 (JPEG) write a file. Formats outside 1..11 ignore even a bad index.
TEST_F(SnapshotExportTest, FormatAndIndexDecideTheFileOrTheError)
{
    constexpr int kNoFile = -1;
    const struct {
        int16_t format, index;
        const char* name;
        int error;
        bool result;
        int firstByte;
    } cases[] = {
        {1, 1, "looks.jpg", 0, true, 'B'},
        {3, 2, "looks.bmp", 0, true, 0xFF},
        {2, 1, "gif", 0, false, kNoFile},
        {11, 2, "eleven", 0, false, kNoFile},
        {0, -5, "zero", 0, false, kNoFile},
        {1, -1, "below", 9, false, kNoFile},
        {3, 3, "past", 9, false, kNoFile},
        {3, 0, "zero.jpg", 91, false, kNoFile},   // frame 0 has no picture
        {2, 0, "zero.gif", 0, false, kNoFile},
    };
    for (const auto& c : cases) {
        bool result = false;
        EXPECT_EQ(errorNumberOf([&] { result = SaveSnapshot(testModule().state().snapshotStore, c.index, path(c.name), c.format); }), c.error)
            << c.format << " " << c.index;
        EXPECT_EQ(result, c.result) << c.format << " " << c.index;
        if (c.firstByte == kNoFile)
            EXPECT_FALSE(fs::exists(folder_ / c.name)) << c.name;
        else
            EXPECT_EQ(readFile(folder_ / c.name).at(0), c.firstByte) << c.name;
    }
    EXPECT_EQ(readFile(folder_ / "looks.jpg").size(), 54u + 68u * 13u);   // 22 pixels of 3 bytes, padded
    // Colour depth and reduction change nothing.
    ASSERT_TRUE(SaveSnapshot(testModule().state().snapshotStore, 1, path("reduced.bmp"), 1, 8, 1));
    EXPECT_EQ(readFile(folder_ / "looks.jpg"), readFile(folder_ / "reduced.bmp"));
}

// Every kind of name, in both formats: the outcome the host gets, and nothing written through a
// link, no partial file, nothing left behind, what may not be replaced untouched, no descriptor
// kept. A FIFO or a device would freeze the call if it were opened.
TEST_F(SnapshotExportTest, WhatStandsAtTheNameIsReplacedOrRefusedNeverWrittenThrough)
{
    using testing::TargetKind;
    constexpr int kTrue = 0;
    constexpr int kFalse = -1;
    const struct {
        TargetKind kind;
        int bitmap, jpeg;   // error number, or kTrue / kFalse
    } cases[] = {
        {TargetKind::Fifo, 75, 75},
        {TargetKind::Device, 75, 75},
        {TargetKind::Symlink, kTrue, kTrue},
        {TargetKind::DanglingSymlink, kTrue, kTrue},
        {TargetKind::HardLink, kTrue, kTrue},
        {TargetKind::OldFile, kTrue, kTrue},
        {TargetKind::ReadOnlyFile, 17, 75},
        {TargetKind::Folder, 17, 26001},
        {TargetKind::MissingFolder, 17, 26001},
        {TargetKind::ReadOnlyFolder, 17, 75},
        {TargetKind::FullDisk, kFalse, 26001},
    };
    SnapshotRecord record;
    record.picture = noisePicture(200, 150, 3);   // larger than the room left on the full disk
    std::vector<std::string> skipped;
    const int descriptors = openDescriptorCount();
    for (const auto& c : cases)
        for (const auto& [code, expected] : {std::pair{11, c.bitmap}, std::pair{9, c.jpeg}}) {
            const testing::FileTarget target(c.kind, folder_ / std::to_string(code));
            const std::string what = std::string(testing::targetName(c.kind)) + ", code " + std::to_string(code);
            if (!target.skipReason().empty()) {
                skipped.push_back(what + ": " + target.skipReason());
                continue;
            }
            int outcome = kFalse;
            try {
                outcome = SaveFrameToFormat(record, code, QString::fromStdString(target.name().string())) ? kTrue : kFalse;
            } catch (const AutomationError& e) {
                outcome = e.number();
                // The host learns why: "Path/File access error: Read-only file system", or the
                // bitmap writer's "Is a directory".
                if (outcome == 75) {
                    EXPECT_GT(e.description().size(), std::string("Path/File access error: ").size()) << what;
                }
                if (outcome == 17) {
                    EXPECT_EQ(e.source(), executableName() + ".cDIBSection256") << what;
                    EXPECT_FALSE(e.description().empty()) << what;
                }
            }
            EXPECT_EQ(outcome, expected) << what;
            EXPECT_EQ(target.damage(outcome == kTrue), "") << what;
        }
    EXPECT_LE(openDescriptorCount(), descriptors);
    for (const std::string& reason : skipped)
        std::printf("skipped %s\n", reason.c_str());
}

// What GetPictureData hands over: the picture's bitmap file, sealed and read-only, its own file
// rather than a copy, and each an open of its own that a receiver reads in order: for a large
// picture and one without pixels.
TEST(SealedBitmapFile, IsAReadOnlySealedOpenOfThePicturesOwnFile)
{
    for (const auto& [width, height] : {std::pair{641, 500}, {0, 0}}) {
        const PicturePtr picture = noisePicture(width, height);
        const SealedBitmapFile first = SealedBitmapFile::fromPicture(picture);
        const SealedBitmapFile second = SealedBitmapFile::fromPicture(picture);
        const int fd = first.descriptor();
        ASSERT_EQ(first.size(), bitmapFileSize(width, height));
        std::vector<uint8_t> received(first.size());
        EXPECT_EQ(::read(fd, received.data(), received.size()), static_cast<ssize_t>(received.size()));
        EXPECT_TRUE(std::equal(received.begin(), received.end(), picture->fileBytes()));
        EXPECT_EQ(::read(second.descriptor(), received.data(), 2), 2) << "the first reader moved the second's position";
        EXPECT_EQ(received[0], 'B');
        struct stat a {}, b {};
        ASSERT_EQ(::fstat(fd, &a), 0);
        ASSERT_EQ(::fstat(second.descriptor(), &b), 0);
        EXPECT_EQ(a.st_ino, b.st_ino) << "the picture's own file is handed out, not a copy";

        EXPECT_EQ(::fcntl(fd, F_GET_SEALS), F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);
        EXPECT_EQ(::fcntl(fd, F_GETFL) & O_ACCMODE, O_RDONLY);
        const uint8_t byte = 0;
        EXPECT_EQ(::pwrite(fd, &byte, 1, 0), -1);
        EXPECT_EQ(::ftruncate(fd, 0), -1);
        EXPECT_EQ(::mmap(nullptr, first.size(), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0), MAP_FAILED);
    }
    EXPECT_EQ(errorNumberOf([] { SealedBitmapFile::fromPicture(nullptr); }), 91);
}

} // namespace
} // namespace didev
