#pragma once

#include "common/Picture.h"

#include <QString>

namespace didev {

// The picture in an image file (JPEG, bitmap, PNG, ...), or nothing when the file cannot be
// read as a picture.
PicturePtr loadPictureFile(const QString& fileName);

} // namespace didev
