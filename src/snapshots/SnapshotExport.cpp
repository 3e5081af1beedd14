#include "snapshots/SnapshotExport.h"

#include "common/AutomationError.h"
#include "imaging/BitmapFile.h"
#include "imaging/JpegWriter.h"
#include "snapshots/PictureFormat.h"

#include <QFile>

#include <array>

namespace didev {

namespace {

// Host format n (1 .. 11) is entry n - 1.
constexpr std::array<int32_t, 11> kFormatCodes = {11, 8, 9, 1, 2, 4, 3, 5, 6, 7, 10};

std::string nativeName(const QString& fileName)
{
    return QFile::encodeName(fileName).toStdString();
}

} // namespace

std::optional<int32_t> pictureFormatCode(int16_t hostFormat) noexcept
{
    if (hostFormat < 1 || hostFormat > static_cast<int16_t>(kFormatCodes.size()))
        return std::nullopt;
    return kFormatCodes[static_cast<size_t>(hostFormat - 1)];
}

bool SaveSnapshot(const FrameStore& store, int16_t index, const QString& fileName, int16_t format, int16_t, int16_t)
{
    const std::optional<int32_t> code = pictureFormatCode(format);
    if (!code)
        return false;
    // Frame 0 is the host's "no frame": a record without a picture.
    static const SnapshotRecord noFrame;
    return SaveFrameToFormat(index == 0 ? noFrame : store.at(index), *code, fileName);
}

bool SaveFrameToFormat(const SnapshotRecord& record, int32_t code, const QString& fileName)
{
    switch (static_cast<PictureFormat>(code)) {
    case PictureFormat::Jpeg:
        return SaveFrameAsJPEG(record, fileName, kJpegQuality);
    case PictureFormat::Bitmap:
        return SaveFrameAsBitmap(record, fileName);
    }
    return false;
}

bool SaveFrameAsBitmap(const SnapshotRecord& record, const QString& fileName)
{
    if (!record.picture)
        raiseError(ErrorNumber::ObjectNotSet);
    return saveBitmapFile(viewOf(*record.picture), nativeName(fileName));
}

bool SaveFrameAsJPEG(const SnapshotRecord& record, const QString& fileName, int32_t quality)
{
    if (!record.picture)
        raiseError(ErrorNumber::ObjectNotSet);
    return saveJpegFile(viewOf(*record.picture), nativeName(fileName), quality);
}

} // namespace didev
