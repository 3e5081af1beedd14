#include "common/AutomationError.h"
#include "imaging/TempFolderTest.h"
#include "snapshots/PictureWriter.h"
#include "snapshots/SnapshotExport.h"
#include "state/ModuleState.h"
#include "support/FileTargets.h"
#include "support/NoisePicture.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

namespace didev {
namespace {

namespace fs = std::filesystem;

using testing::noisePicture;

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

// The writer the printing and the viewer use: the export's files, every failure only false.
using PictureWriterTest = TempFolderTest;

TEST_F(PictureWriterTest, WritesCodes9And11AndAnyFailureIsOnlyFalse)
{
    const PicturePtr picture = noisePicture(8, 8, 4);
    const fs::path locked = folder_ / "locked";
    std::ofstream(locked) << "kept";
    fs::permissions(locked, fs::perms::owner_read);
    const auto name = [&](const char* file) { return QString::fromStdString((folder_ / file).string()); };
    const struct {
        const char* what;
        PicturePtr picture;
        int32_t code;
        QString fileName;
        bool written;
    } cases[] = {
        {"jpeg", picture, 9, name("w.jpg"), true},
        {"bitmap", picture, 11, name("w.bmp"), true},
        {"unknown code", picture, 8, name("a"), false},
        {"code 1", picture, 1, name("b"), false},
        {"no picture", nullptr, 9, name("c"), false},
        {"missing folder, bitmap", picture, 11, name("none/d"), false},
        {"missing folder, jpeg", picture, 9, name("none/e"), false},
        {"read-only, bitmap", picture, 11, name("locked"), false},
        {"read-only, jpeg", picture, 9, name("locked"), false},
    };
    const PictureWriter writer;
    for (const auto& c : cases)
        EXPECT_EQ(writer.save(c.picture, c.code, c.fileName), c.written) << c.what;
    EXPECT_EQ(readFile(locked).size(), 4u);
    EXPECT_EQ(readFile(folder_ / "w.jpg")[0], 0xFF);
    EXPECT_EQ(readFile(folder_ / "w.bmp").size(), 54u + 24u * 8u);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 3);
}

} // namespace
} // namespace didev
