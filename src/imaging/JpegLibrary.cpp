#include "imaging/JpegLibrary.h"

#include "common/AutomationError.h"
#include "common/ReplacingFileWriter.h"
#include "imaging/cDIBSection.h"

#include <turbojpeg.h>

#include <cstdio>
#include <memory>

namespace didev {

namespace {

// The status handed on when the codec or the file write fails.
constexpr int kFailureStatus = -1;

using CompressorHandle = std::unique_ptr<void, decltype(&tjDestroy)>;
using CompressedBuffer = std::unique_ptr<unsigned char, decltype(&tjFree)>;

std::string jpegErrorSource()
{
    return executableName() + ".mIntelJPEGLibrary";
}

[[noreturn]] void raiseJpegError(const std::string& description, int status)
{
    throw AutomationError(ErrorNumber::JpegLibrary, jpegErrorSource(), description + std::to_string(status));
}

} // namespace

bool SaveDIBAsJPEG(cDIBSection& section, const std::string& fileName, int32_t quality)
{
    CompressorHandle compressor(tjInitCompress(), &tjDestroy);
    if (!compressor) {
        std::fprintf(stderr, "%s: tjInitCompress: %s\n", executableName().c_str(), tjGetErrorStr2(nullptr));
        raiseJpegError("Failed to initialise the IJL library: ", kFailureStatus);
    }

    // Where the old file would have been deleted, a name that may not be replaced is refused.
    ReplacingFileWriter file(fileName);
    if (const auto& failure = file.failure()) {
        if (failure->kind == ReplacingFileWriter::Failure::Kind::Refused || failure->accessDenied())
            raiseError(ErrorNumber::PathFileAccess, failure->reason());
        raiseJpegError("Failed to save to JPG ", kFailureStatus);
    }

    const int width = section.Width();
    const int height = section.Height();
    const int pitch = section.BytesPerScanLine();
    // The section's rows go to the codec as they lie: bottom-up, padded, blue-green-red.
    unsigned char* jpeg = nullptr;
    unsigned long jpegSize = 0;
    const int status = tjCompress2(compressor.get(), section.DIBSectionBitsPtr(), width, pitch, height, TJPF_BGR,
        &jpeg, &jpegSize, TJSAMP_420, quality, TJFLAG_BOTTOMUP);
    const CompressedBuffer compressed(jpeg, &tjFree);
    if (status != 0 || !compressed) {
        std::fprintf(stderr, "%s: cannot write %s: tjCompress2: %s\n", executableName().c_str(), fileName.c_str(),
            tjGetErrorStr2(compressor.get()));
        raiseJpegError("Failed to save to JPG ", kFailureStatus);
    }
    compressor.reset();

    if (!file.write(compressed.get(), jpegSize) || !file.commit())
        raiseJpegError("Failed to save to JPG ", kFailureStatus);
    return true;
}

} // namespace didev
