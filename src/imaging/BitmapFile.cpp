#include "imaging/BitmapFile.h"

#include "common/AutomationError.h"
#include "common/ReplacingFileWriter.h"
#include "common/SystemErrorText.h"
#include "imaging/Bitmap24.h"

#include <algorithm>
#include <vector>

namespace didev {

namespace {

// A band of converted rows stays in the cache on its way out.
constexpr std::ptrdiff_t kBandBytes = 256 * 1024;

} // namespace

bool writeBitmapFile(ConstPixelView pixels, const ByteSink& write)
{
    if (!pixels.bits && pixels.width > 0 && pixels.height > 0)
        return false;
    const auto headers = bitmapFileHeader(pixels.width, pixels.height);
    if (!write(headers.data(), headers.size()))
        return false;
    if (pixels.empty())
        return true;
    const std::ptrdiff_t stride = bitmapStride(pixels.width);
    if (pixels.layout == PixelLayout::Bgr24BottomUp && pixels.stride == stride)
        return write(pixels.bits, static_cast<size_t>(stride) * static_cast<size_t>(pixels.height));

    const int height = pixels.height;
    const int bandRows = static_cast<int>(std::clamp<std::ptrdiff_t>(kBandBytes / stride, 1, height));
    // Zeroed once: the row padding is never written over.
    std::vector<uint8_t> band(static_cast<size_t>(stride) * static_cast<size_t>(bandRows));
    // File row r holds picture row height - 1 - r.
    for (int firstRow = 0; firstRow < height; firstRow += bandRows) {
        const int rows = std::min(bandRows, height - firstRow);
        const PixelView target{band.data(), pixels.width, rows, stride, PixelLayout::Bgr24BottomUp};
        copyPixels(target, 0, 0, pixels, 0, height - firstRow - rows, pixels.width, rows);
        if (!write(band.data(), static_cast<size_t>(stride) * static_cast<size_t>(rows)))
            return false;
    }
    return true;
}

bool saveBitmapFile(ConstPixelView pixels, const std::string& fileName)
{
    // Too large a picture is refused before anything at the name is touched.
    bitmapImageSize(pixels.width, pixels.height);
    ReplacingFileWriter file(fileName);
    if (const auto& failure = file.failure()) {
        if (failure->kind == ReplacingFileWriter::Failure::Kind::Refused)
            raiseError(ErrorNumber::PathFileAccess, failure->reason());
        throw AutomationError(ErrorNumber::BitmapFileNotCreated, executableName() + ".cDIBSection256",
            systemErrorText(failure->error));
    }
    return writeBitmapFile(pixels, [&](const uint8_t* bytes, size_t size) { return file.write(bytes, size); })
        && file.commit();
}

} // namespace didev
