#include "common/AutomationError.h"
#include "imaging/TempFolderTest.h"
#include "snapshots/SnapshotExport.h"
#include "state/ModuleState.h"
#include "support/FileTargets.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

namespace didev {
namespace {

namespace fs = std::filesystem;

PicturePtr noisePicture(int width, int height, uint32_t seed)
{
    std::mt19937 generator(seed);
    return Picture::create(width, height, [&](uint8_t* bits, std::ptrdiff_t stride) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < 4 * width; ++x)
                bits[stride * y + x] = static_cast<uint8_t>(generator() & 0xF0);
    });
}

// What a frame record holds, with its picture's pixels, to show that nothing changed.
struct RecordState {
    const Picture* picture;
    std::vector<uint8_t> pixels;
    int16_t frameID;
    double frameTime;
    QString frameTimecode;
    HostBoolean savedByLogger;

    bool operator==(const RecordState&) const = default;
};

std::vector<RecordState> storeState()
{
    std::vector<RecordState> state;
    const SnapshotStore& store = moduleState().snapshotStore;
    for (int i = 0; i <= store.upperBound(); ++i) {
        const SnapshotRecord& r = store.at(i);
        std::vector<uint8_t> pixels;
        if (r.picture)
            pixels.assign(r.picture->bits(), r.picture->bits() + r.picture->byteCount());
        state.push_back({r.picture.get(), pixels, r.frameID, r.frameTime, r.frameTimecode, r.savedByLogger});
    }
    return state;
}

class SnapshotExportTest : public TempFolderTest {
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
        ClearSnapshotStore();
        SnapshotStore& store = moduleState().snapshotStore;
        store.resizePreserve(2);
        for (int i = 1; i <= 2; ++i) {
            SnapshotRecord& record = store.at(i);
            record.picture = noisePicture(21 + i, 13, static_cast<uint32_t>(i));
            record.frameID = static_cast<int16_t>(i);
            record.frameTime = 45000.5 + i;
            record.frameTimecode = QStringLiteral("01:00:0%1:00").arg(i);
        }
        store.at(2).savedByLogger = kHostTrue;
        before_ = storeState();
    }

    void TearDown() override
    {
        EXPECT_EQ(storeState(), before_) << "an export changed the frame store";
        ClearSnapshotStore();
        TempFolderTest::TearDown();
    }

    QString path(const std::string& name) const { return QString::fromStdString(file(name)); }

    static int errorOf(int16_t index, const QString& fileName, int16_t format)
    {
        try {
            SaveSnapshot(index, fileName, format);
        } catch (const AutomationError& e) {
            return e.number();
        }
        return 0;
    }

    std::vector<RecordState> before_;
};

TEST_F(SnapshotExportTest, EachHostFormatMapsToItsCode)
{
    const std::optional<int32_t> expected[] = {std::nullopt, 11, 8, 9, 1, 2, 4, 3, 5, 6, 7, 10, std::nullopt};
    for (int16_t format = 0; format <= 12; ++format)
        EXPECT_EQ(pictureFormatCode(format), expected[format]) << format;
    EXPECT_EQ(pictureFormatCode(-1), std::nullopt);
    EXPECT_EQ(pictureFormatCode(32767), std::nullopt);
}

TEST_F(SnapshotExportTest, OnlyFormatsOneAndThreeWriteAFile)
{
    for (int16_t format = -1; format <= 12; ++format) {
        const QString file = path("frame" + std::to_string(format + 1) + ".out");
        const bool written = SaveSnapshot(1, file, format);
        const std::vector<uint8_t> bytes = readFile(file.toStdString());
        if (format == 1) {
            EXPECT_TRUE(written);
            ASSERT_EQ(bytes.size(), 54u + 68u * 13u);
            EXPECT_EQ(bytes[0], 'B');
            EXPECT_EQ(bytes[1], 'M');
        } else if (format == 3) {
            EXPECT_TRUE(written);
            ASSERT_GT(bytes.size(), 2u);
            EXPECT_EQ(bytes[0], 0xFF);
            EXPECT_EQ(bytes[1], 0xD8);
        } else {
            EXPECT_FALSE(written) << format;
            EXPECT_FALSE(fs::exists(file.toStdString())) << format;
        }
    }
}

TEST_F(SnapshotExportTest, TheFormatNumberDecidesNotTheExtension)
{
    ASSERT_TRUE(SaveSnapshot(2, path("looks.bmp"), 3));
    EXPECT_EQ(readFile(folder_ / "looks.bmp")[0], 0xFF);
    ASSERT_TRUE(SaveSnapshot(2, path("looks.jpg"), 1));
    EXPECT_EQ(readFile(folder_ / "looks.jpg")[0], 'B');
}

TEST_F(SnapshotExportTest, ColourDepthAndReductionChangeNothing)
{
    ASSERT_TRUE(SaveSnapshot(1, path("plain.bmp"), 1));
    ASSERT_TRUE(SaveSnapshot(1, path("reduced.bmp"), 1, 8, 1));
    EXPECT_EQ(readFile(folder_ / "plain.bmp"), readFile(folder_ / "reduced.bmp"));
}

TEST_F(SnapshotExportTest, TheLaterExportToOneNameWins)
{
    ASSERT_TRUE(SaveSnapshot(1, path("same"), 3));
    ASSERT_TRUE(SaveSnapshot(2, path("same"), 1));
    EXPECT_EQ(readFile(folder_ / "same").size(), 54u + 72u * 13u);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
}

TEST_F(SnapshotExportTest, FormatsOutsideTheTableIgnoreEvenABadIndex)
{
    for (const int16_t format : {int16_t{0}, int16_t{12}, int16_t{-1}})
        for (const int16_t index : {int16_t{-5}, int16_t{0}, int16_t{99}})
            EXPECT_EQ(errorOf(index, path("x"), format), 0) << format << " " << index;
    EXPECT_TRUE(fs::is_empty(folder_));
}

TEST_F(SnapshotExportTest, AnIndexOutsideTheStoreIsError9ForEveryFormat)
{
    for (int16_t format = 1; format <= 11; ++format)
        for (const int16_t index : {int16_t{-1}, int16_t{3}, int16_t{32767}})
            EXPECT_EQ(errorOf(index, path("x"), format), 9) << format << " " << index;
    EXPECT_TRUE(fs::is_empty(folder_));
}

TEST_F(SnapshotExportTest, ElementZeroHasNoPicture)
{
    EXPECT_EQ(errorOf(0, path("zero.bmp"), 1), 91);
    EXPECT_EQ(errorOf(0, path("zero.jpg"), 3), 91);
    EXPECT_EQ(errorOf(0, path("zero.gif"), 2), 0);
    EXPECT_TRUE(fs::is_empty(folder_));
}

// Every kind of name, in both formats: the outcome the host gets, and nothing written through a
// link, no partial file, nothing left behind, what may not be replaced untouched. A FIFO or a
// device would freeze the call if it were opened.
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
                // The host learns why: "Path/File access error: Read-only file system".
                if (outcome == 75) {
                    EXPECT_GT(e.description().size(), std::string("Path/File access error: ").size()) << what;
                }
            }
            EXPECT_EQ(outcome, expected) << what;
            EXPECT_EQ(target.damage(outcome == kTrue), "") << what;
        }
    for (const std::string& reason : skipped)
        std::printf("skipped %s\n", reason.c_str());
}

TEST_F(SnapshotExportTest, DispatchByCodeWritesOnlyCodes9And11)
{
    const SnapshotRecord& record = moduleState().snapshotStore.at(1);
    for (const int32_t code : {0, 1, 8, 10, 12, -1}) {
        EXPECT_FALSE(SaveFrameToFormat(record, code, path("c" + std::to_string(code))));
    }
    EXPECT_TRUE(fs::is_empty(folder_));
    EXPECT_TRUE(SaveFrameToFormat(record, 9, path("c9")));
    EXPECT_TRUE(SaveFrameToFormat(record, 11, path("c11")));
    EXPECT_EQ(readFile(folder_ / "c9")[0], 0xFF);
    EXPECT_EQ(readFile(folder_ / "c11")[0], 'B');
}

} // namespace
} // namespace didev
