#include "snapshots/SealedBitmapFile.h"

#include "common/AutomationError.h"
#include "imaging/BitmapFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

namespace didev {

namespace {

[[noreturn]] void raiseSystemError(int error, const char* call)
{
    throw std::system_error(error, std::generic_category(), call);
}

} // namespace

SealedBitmapFile SealedBitmapFile::fromPicture(const PicturePtr& picture)
{
    if (!picture)
        raiseError(ErrorNumber::ObjectNotSet);
    const size_t fileSize = bitmapFileSize(picture->width(), picture->height());

    const FileDescriptor writable(::memfd_create("didev-picture.bmp", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (!writable.valid())
        raiseSystemError(errno, "memfd_create");
    if (::ftruncate(writable.get(), static_cast<off_t>(fileSize)) != 0)
        raiseSystemError(errno, "ftruncate");
    // Writes into a memory file cost far less than faulting its pages in through a mapping.
    int writeError = 0;
    writeBitmapFile(viewOf(*picture), [&](const uint8_t* bytes, size_t size) {
        writeError = writable.writeAll(bytes, size);
        return writeError == 0;
    });
    if (writeError != 0)
        raiseSystemError(writeError, "write");

    if (::fcntl(writable.get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0)
        raiseSystemError(errno, "fcntl(F_ADD_SEALS)");
    // A second, read-only open of the same file: the receiver cannot even try to write.
    const std::string self = "/proc/self/fd/" + std::to_string(writable.get());
    FileDescriptor readOnly(::open(self.c_str(), O_RDONLY | O_CLOEXEC));
    if (!readOnly.valid())
        raiseSystemError(errno, "open(/proc/self/fd)");
    return SealedBitmapFile(std::move(readOnly), fileSize);
}

} // namespace didev
