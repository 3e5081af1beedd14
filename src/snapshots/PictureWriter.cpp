#include "snapshots/PictureWriter.h"

#include "imaging/JpegLibrary.h"
#include "imaging/cDIBSection.h"
#include "snapshots/PictureFormat.h"

#include <QFile>

namespace didev {

bool PictureWriter::save(const PicturePtr& picture, int32_t code, const QString& fileName) const noexcept
{
    try {
        if (!picture)
            return false;
        const std::string name = QFile::encodeName(fileName).toStdString();
        cDIBSection section;
        switch (static_cast<PictureFormat>(code)) {
        case PictureFormat::Jpeg:
            section.CreateFromPicture(picture);
            return SaveDIBAsJPEG(section, name, kJpegQuality);
        case PictureFormat::Bitmap:
            section.CreateFromPicture(picture);
            return section.SavePicture(name);
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
