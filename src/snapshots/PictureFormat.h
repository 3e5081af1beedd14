#pragma once

#include <cstdint>

namespace didev {

// The module's picture-format codes, shared by the export and the picture writer.
enum class PictureFormat : int32_t {
    Jpeg = 9,
    Bitmap = 11,
};

// JPEG files are always written at this quality.
inline constexpr int32_t kJpegQuality = 90;

} // namespace didev
