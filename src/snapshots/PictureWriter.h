#pragma once

#include "common/Picture.h"

#include <QString>

#include <cstdint>

namespace didev {

// Writes a picture to a file as JPEG (code 9, quality 90) or as a bitmap (code 11), replacing
// what stands at the name as the export does (a link is replaced, never written through). Every
// failure, an unknown code included, is only a false result: callers report it themselves.
class PictureWriter {
public:
    bool save(const PicturePtr& picture, int32_t code, const QString& fileName) const noexcept;
    // The picture named by a handle; a handle that names none gives false.
    bool SaveStdPicture(PictureHandle handle, int32_t code, const QString& fileName) const noexcept;
};

} // namespace didev
