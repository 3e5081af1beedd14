#include "snapshots/PictureWriter.h"

#include "imaging/BitmapFile.h"
#include "imaging/JpegWriter.h"
#include "snapshots/PictureFormat.h"

#include <QFile>

namespace didev {

bool PictureWriter::save(const PicturePtr& picture, int32_t code, const QString& fileName) const noexcept
{
    try {
        if (!picture)
            return false;
        const std::string name = QFile::encodeName(fileName).toStdString();
        switch (static_cast<PictureFormat>(code)) {
        case PictureFormat::Jpeg:
            return saveJpegFile(viewOf(*picture), name, kJpegQuality);
        case PictureFormat::Bitmap:
            return saveBitmapFile(viewOf(*picture), name);
        }
        return false;
    } catch (...) {
        return false;
    }
}

bool PictureWriter::SaveStdPicture(PictureHandle handle, int32_t code, const QString& fileName) const noexcept
{
    return save(Picture::fromHandle(handle), code, fileName);
}

} // namespace didev
