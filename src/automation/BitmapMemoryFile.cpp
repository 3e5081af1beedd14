#include "automation/BitmapMemoryFile.h"

#include "common/AutomationError.h"
#include "imaging/BitmapInfoHeader.h"
#include "imaging/cDIBSection.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>
#include <utility>

namespace didev {

namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kPixelDataOffset = kFileHeaderSize + BitmapInfoHeader::kSize;

[[noreturn]] void raiseSystemError(const char* call)
{
    throw std::system_error(errno, std::generic_category(), call);
}

class Descriptor {
public:
    explicit Descriptor(int fd) noexcept : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const noexcept { return fd_; }
    int release() noexcept { return std::exchange(fd_, -1); }

private:
    int fd_;
};

void writeAll(int fd, const uint8_t* bytes, size_t size, off_t offset)
{
    while (size > 0) {
        const ssize_t written = ::pwrite(fd, bytes, size, offset);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            raiseSystemError("pwrite");
        }
        bytes += written;
        size -= static_cast<size_t>(written);
        offset += written;
    }
}

} // namespace

BitmapMemoryFile BitmapMemoryFile::fromPicture(const PicturePtr& picture)
{
    cDIBSection section;
    section.CreateFromPicture(picture);
    const BitmapInfoHeader& header = section.header();
    const size_t imageSize = header.biSizeImage;
    const size_t fileSize = kPixelDataOffset + imageSize;

    uint8_t headers[kPixelDataOffset] = {};
    headers[0] = 'B';
    headers[1] = 'M';
    storeLittleEndian(headers + 2, static_cast<uint32_t>(fileSize));
    storeLittleEndian(headers + 10, kPixelDataOffset);
    const auto info = header.bytes();
    std::copy(info.begin(), info.end(), headers + kFileHeaderSize);

    const Descriptor writable(::memfd_create("didev-picture.bmp", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (writable.get() < 0)
        raiseSystemError("memfd_create");
    if (::ftruncate(writable.get(), static_cast<off_t>(fileSize)) != 0)
        raiseSystemError("ftruncate");
    writeAll(writable.get(), headers, sizeof headers, 0);
    if (imageSize > 0)
        writeAll(writable.get(), section.DIBSectionBitsPtr(), imageSize, kPixelDataOffset);
    if (::fcntl(writable.get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0)
        raiseSystemError("fcntl(F_ADD_SEALS)");

    // A second, read-only open of the same file: the receiver cannot even try to write.
    const std::string self = "/proc/self/fd/" + std::to_string(writable.get());
    Descriptor readOnly(::open(self.c_str(), O_RDONLY | O_CLOEXEC));
    if (readOnly.get() < 0)
        raiseSystemError("open(/proc/self/fd)");
    return BitmapMemoryFile(readOnly.release(), fileSize);
}

BitmapMemoryFile::~BitmapMemoryFile()
{
    if (descriptor_ >= 0)
        ::close(descriptor_);
}

BitmapMemoryFile::BitmapMemoryFile(BitmapMemoryFile&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1))
    , size_(std::exchange(other.size_, 0))
{
}

BitmapMemoryFile& BitmapMemoryFile::operator=(BitmapMemoryFile&& other) noexcept
{
    if (this != &other) {
        if (descriptor_ >= 0)
            ::close(descriptor_);
        descriptor_ = std::exchange(other.descriptor_, -1);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

} // namespace didev
