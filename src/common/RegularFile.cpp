#include "common/RegularFile.h"

#include "common/FileDescriptor.h"

#include <fcntl.h>

namespace didev {

FileStamp FileStamp::of(const struct stat& status) noexcept
{
    return {status.st_dev, status.st_ino, status.st_size, status.st_mtim, status.st_ctim};
}

bool FileStamp::operator==(const FileStamp& other) const noexcept
{
    const auto same = [](const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; };
    return device == other.device && inode == other.inode && size == other.size && same(modified, other.modified)
        && same(changed, other.changed);
}

std::optional<FileStamp> regularFileStamp(const std::string& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return FileStamp::of(status);
}

std::optional<std::string> readRegularFile(const std::string& path, FileStamp* stamp)
{
    // Opening a FIFO without O_NONBLOCK waits for a writer; a device may do anything.
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat status {};
    if (!file.valid() || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    std::string bytes;
    bytes.reserve(static_cast<size_t>(status.st_size) + 1);
    if (file.readAll(bytes) != 0)
        return std::nullopt;
    if (stamp)
        *stamp = FileStamp::of(status);
    return bytes;
}

} // namespace didev
