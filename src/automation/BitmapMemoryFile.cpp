#include "automation/BitmapMemoryFile.h"

#include "common/AutomationError.h"
#include "common/FileDescriptor.h"
#include "imaging/BitmapInfoHeader.h"
#include "imaging/PixelView.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace didev {

namespace {

constexpr int64_t kBandBytes = 256 * 1024;

[[noreturn]] void raiseSystemError(const char* call)
{
    throw std::system_error(errno, std::generic_category(), call);
}

void writeAll(const FileDescriptor& file, const uint8_t* bytes, size_t size)
{
    if (const int error = file.writeAll(bytes, size))
        throw std::system_error(error, std::generic_category(), "write");
}

// The header of a 24-bit bottom-up section, as the section class writes it.
BitmapInfoHeader sectionHeader(const Picture& picture, int64_t stride)
{
    const int64_t imageSize = stride * picture.height();
    if (imageSize > std::numeric_limits<int32_t>::max())
        raiseError(ErrorNumber::Overflow);
    BitmapInfoHeader header;
    header.biSize = BitmapInfoHeader::kSize;
    header.biWidth = picture.width();
    header.biHeight = picture.height();
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biSizeImage = static_cast<uint32_t>(imageSize);
    return header;
}

// The pixels, a band of rows at a time through a small buffer: writes into a memory file cost
// far less than faulting its pages in through a mapping, and the band stays in the cache.
void writePixels(const FileDescriptor& file, const Picture& picture, int64_t stride)
{
    const int width = picture.width();
    const int height = picture.height();
    const int bandRows = static_cast<int>(std::clamp<int64_t>(kBandBytes / stride, 1, height));
    // Zero once: the row padding is never written over.
    std::vector<uint8_t> band(static_cast<size_t>(stride) * static_cast<size_t>(bandRows));
    const PixelView source{const_cast<uint8_t*>(picture.bits()), width, height, picture.stride(),
        PixelLayout::Bgrx32TopDown, false};
    // File row r holds picture row height - 1 - r.
    for (int firstRow = 0; firstRow < height; firstRow += bandRows) {
        const int rows = std::min(bandRows, height - firstRow);
        const PixelView target{band.data(), width, rows, static_cast<std::ptrdiff_t>(stride),
            PixelLayout::Bgr24BottomUp, true};
        copyPixels(target, 0, 0, source, 0, height - firstRow - rows, width, rows);
        writeAll(file, band.data(), static_cast<size_t>(stride) * static_cast<size_t>(rows));
    }
}

} // namespace

BitmapMemoryFile BitmapMemoryFile::fromPicture(const PicturePtr& picture)
{
    if (!picture)
        raiseError(ErrorNumber::ObjectNotSet);
    const int64_t stride = (int64_t{picture->width()} * 3 + 3) & ~int64_t{3};
    const BitmapInfoHeader header = sectionHeader(*picture, stride);
    const size_t fileSize = BitmapInfoHeader::kPixelDataOffset + size_t{header.biSizeImage};

    const FileDescriptor writable(::memfd_create("didev-picture.bmp", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (writable.get() < 0)
        raiseSystemError("memfd_create");
    if (::ftruncate(writable.get(), static_cast<off_t>(fileSize)) != 0)
        raiseSystemError("ftruncate");

    const auto headers = header.fileHeaders();
    writeAll(writable, headers.data(), headers.size());
    if (header.biSizeImage > 0)
        writePixels(writable, *picture, stride);

    if (::fcntl(writable.get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0)
        raiseSystemError("fcntl(F_ADD_SEALS)");
    // A second, read-only open of the same file: the receiver cannot even try to write.
    const std::string self = "/proc/self/fd/" + std::to_string(writable.get());
    FileDescriptor readOnly(::open(self.c_str(), O_RDONLY | O_CLOEXEC));
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
