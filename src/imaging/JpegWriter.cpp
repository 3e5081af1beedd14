#include "imaging/JpegWriter.h"

#include "common/AutomationError.h"
#include "common/ReplacingFileWriter.h"

#include <turbojpeg.h>

#include <cstdio>
#include <memory>

namespace didev {

namespace {

// The status the host sees when the codec or the file write fails.
constexpr int kFailureStatus = -1;

using Compressor = std::unique_ptr<void, decltype(&tjDestroy)>;
using CompressedBuffer = std::unique_ptr<unsigned char, decltype(&tjFree)>;

[[noreturn]] void raiseJpegError(const std::string& description)
{
    throw AutomationError(ErrorNumber::JpegLibrary, executableName() + ".mIntelJPEGLibrary",
        description + std::to_string(kFailureStatus));
}

Compressor startCompressor()
{
    Compressor compressor(tjInitCompress(), &tjDestroy);
    if (!compressor) {
        std::fprintf(stderr, "%s: tjInitCompress: %s\n", executableName().c_str(), tjGetErrorStr2(nullptr));
        raiseJpegError("Failed to initialise the IJL library: ");
    }
    return compressor;
}

// `target` names the file in the log line of a failure.
std::vector<uint8_t> compress(const Compressor& compressor, ConstPixelView pixels, int quality, const std::string& target)
{
    const bool bottomUp = pixels.layout == PixelLayout::Bgr24BottomUp;
    unsigned char* jpeg = nullptr;
    unsigned long jpegSize = 0;
    const int status = tjCompress2(compressor.get(), pixels.bits, pixels.width, static_cast<int>(pixels.stride),
        pixels.height, bottomUp ? TJPF_BGR : TJPF_BGRX, &jpeg, &jpegSize, TJSAMP_420, quality,
        bottomUp ? TJFLAG_BOTTOMUP : 0);
    const CompressedBuffer compressed(jpeg, &tjFree);
    if (status != 0 || !compressed) {
        std::fprintf(stderr, "%s: %s%s%stjCompress2: %s\n", executableName().c_str(), target.empty() ? "" : "cannot write ",
            target.c_str(), target.empty() ? "" : ": ", tjGetErrorStr2(compressor.get()));
        raiseJpegError("Failed to save to JPG ");
    }
    return std::vector<uint8_t>(compressed.get(), compressed.get() + jpegSize);
}

} // namespace

std::vector<uint8_t> encodeJpeg(ConstPixelView pixels, int quality)
{
    return compress(startCompressor(), pixels, quality, {});
}

bool saveJpegFile(ConstPixelView pixels, const std::string& fileName, int quality)
{
    const Compressor compressor = startCompressor();
    // Where the old file would have been deleted, a name that may not be replaced is refused.
    ReplacingFileWriter file(fileName);
    if (const auto& failure = file.failure()) {
        if (failure->kind == ReplacingFileWriter::Failure::Kind::Refused || failure->accessDenied())
            raiseError(ErrorNumber::PathFileAccess, failure->reason());
        raiseJpegError("Failed to save to JPG ");
    }
    const std::vector<uint8_t> jpeg = compress(compressor, pixels, quality, fileName);
    if (!file.write(jpeg.data(), jpeg.size()) || !file.commit())
        raiseJpegError("Failed to save to JPG ");
    return true;
}

} // namespace didev
