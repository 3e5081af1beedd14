#include "common/FileDescriptor.h"

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace didev {

FileDescriptor::FileDescriptor(FileDescriptor&& other) noexcept
    : fd_(other.release())
{
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept
{
    if (this != &other) {
        close();
        fd_ = other.release();
    }
    return *this;
}

int FileDescriptor::release() noexcept
{
    return std::exchange(fd_, -1);
}

int FileDescriptor::close() noexcept
{
    if (fd_ < 0)
        return 0;
    // Linux frees the descriptor even when close fails, so it is never retried.
    const int result = ::close(std::exchange(fd_, -1));
    return result == 0 || errno == EINTR ? 0 : errno;
}

int FileDescriptor::writeAll(const void* data, size_t size) const noexcept
{
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(fd_, bytes, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (written == 0)
            return ENOSPC;
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return 0;
}

int FileDescriptor::readAll(std::string& bytes) const
{
    constexpr size_t kChunk = 64 * 1024;
    for (;;) {
        const size_t used = bytes.size();
        bytes.resize(used + kChunk);
        const ssize_t got = ::read(fd_, bytes.data() + used, kChunk);
        if (got < 0 && errno == EINTR) {
            bytes.resize(used);
            continue;
        }
        bytes.resize(used + static_cast<size_t>(got < 0 ? 0 : got));
        if (got < 0)
            return errno;
        if (got == 0)
            return 0;
    }
}

} // namespace didev
