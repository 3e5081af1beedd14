#include "imaging/JpegLibrary.h"

#include "common/AutomationError.h"
#include "imaging/ReadOnlyFile.h"
#include "imaging/SystemErrorText.h"
#include "imaging/cDIBSection.h"

#include <turbojpeg.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

[[noreturn]] void raiseAccessError(int errorNumber)
{
    throw AutomationError(ErrorNumber::PathFileAccess, kModuleErrorSource,
        standardErrorText(ErrorNumber::PathFileAccess) + ": " + systemErrorText(errorNumber));
}

// Deletes a file (not a folder) of exactly that name, when there is one.
void deleteExisting(const std::string& fileName)
{
    struct stat status {};
    if (fileName.empty() || ::lstat(fileName.c_str(), &status) != 0 || S_ISDIR(status.st_mode))
        return;
    if (isReadOnlyFile(fileName))
        raiseAccessError(EACCES);
    if (::unlink(fileName.c_str()) != 0 && errno != ENOENT)
        raiseAccessError(errno);
}

bool writeWholeFile(const std::string& fileName, const unsigned char* data, size_t size)
{
    const int fd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    bool ok = true;
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            ok = false;
            break;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return ::close(fd) == 0 && ok;
}

} // namespace

bool SaveDIBAsJPEG(cDIBSection& section, const std::string& fileName, int32_t quality)
{
    CompressorHandle compressor(tjInitCompress(), &tjDestroy);
    if (!compressor)
        raiseJpegError("Failed to initialise the IJL library: ", kFailureStatus);

    deleteExisting(fileName);

    const int width = section.Width();
    const int height = section.Height();
    const int pitch = section.BytesPerScanLine();
    // The section's rows go to the codec as they lie: bottom-up, padded, blue-green-red.
    unsigned char* jpeg = nullptr;
    unsigned long jpegSize = 0;
    const int status = tjCompress2(compressor.get(), section.DIBSectionBitsPtr(), width, pitch, height, TJPF_BGR,
        &jpeg, &jpegSize, TJSAMP_420, quality, TJFLAG_BOTTOMUP);
    const CompressedBuffer compressed(jpeg, &tjFree);
    compressor.reset();

    if (status != 0 || !compressed || !writeWholeFile(fileName, compressed.get(), jpegSize))
        raiseJpegError("Failed to save to JPG ", kFailureStatus);
    return true;
}

} // namespace didev
