#pragma once

#include "snapshots/PictureFormat.h"

#include <QString>

#include <optional>

namespace didev {

// The filters of the viewer's save dialog, in order: filter index 1 and 2.
inline constexpr const char* kJpegFilter = "JPEG Images (*.jpg)";
inline constexpr const char* kBitmapFilter = "Bitmaps (*.bmp)";

// A file name and the format it is written in.
struct SavedFrameName {
    QString fileName;
    PictureFormat format = PictureFormat::Jpeg;
};

// The name chosen in the save dialog with the extension of the chosen filter made sure of:
// "shot1" -> "shot1.jpg", "SHOT1.JPG" kept, "a.jpg" with the bitmap filter -> "a.jpg.bmp".
// Nothing for a filter index that names no filter.
std::optional<SavedFrameName> savedFrameName(const QString& chosen, int filterIndex);

} // namespace didev
