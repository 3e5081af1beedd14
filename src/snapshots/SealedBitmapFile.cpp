#include "snapshots/SealedBitmapFile.h"

#include "common/AutomationError.h"

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

// A new open of a descriptor's file, with a file position of its own.
FileDescriptor readOnlyOpen(int descriptor)
{
    const std::string self = "/proc/self/fd/" + std::to_string(descriptor);
    FileDescriptor file(::open(self.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.valid())
        raiseSystemError(errno, "open(/proc/self/fd)");
    return file;
}

// For a picture that kept no descriptor: its file's bytes in a new sealed memory file.
FileDescriptor sealedCopy(const Picture& picture)
{
    const FileDescriptor writable(::memfd_create("didev-frame.bmp", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (!writable.valid())
        raiseSystemError(errno, "memfd_create");
    if (const int error = writable.writeAll(picture.fileBytes(), picture.fileSize()); error != 0)
        raiseSystemError(error, "write");
    if (::fcntl(writable.get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0)
        raiseSystemError(errno, "fcntl(F_ADD_SEALS)");
    return readOnlyOpen(writable.get());
}

} // namespace

SealedBitmapFile SealedBitmapFile::fromPicture(const PicturePtr& picture)
{
    if (!picture)
        raiseError(ErrorNumber::ObjectNotSet);
    FileDescriptor file = picture->descriptor() >= 0 ? readOnlyOpen(picture->descriptor()) : sealedCopy(*picture);
    return SealedBitmapFile(std::move(file), picture->fileSize());
}

} // namespace didev
