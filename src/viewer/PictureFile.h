#pragma once

#include "common/Picture.h"

#include <QByteArray>

namespace didev {

// The picture in the bytes of an image file (JPEG, bitmap, PNG, ...), or nothing when they
// are not a picture.
PicturePtr decodedPicture(const QByteArray& fileBytes);

} // namespace didev
