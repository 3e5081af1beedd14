#include "common/Picture.h"

#include "common/BitmapLayout.h"
#include "common/FileDescriptor.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>
#include <system_error>
#include <unordered_map>
#include <utility>
#include <vector>

namespace didev {

namespace {

// Pictures are made on streaming threads as well as the UI thread, so the table locks.
class PictureHandleTable {
public:
    PictureHandle add(const PicturePtr& picture)
    {
        std::lock_guard lock(mutex_);
        do {
            ++next_;
        } while (next_ == 0 || entries_.contains(next_));
        entries_.emplace(next_, picture);
        return next_;
    }

    void remove(PictureHandle handle)
    {
        std::lock_guard lock(mutex_);
        entries_.erase(handle);
    }

    PicturePtr find(PictureHandle handle)
    {
        std::lock_guard lock(mutex_);
        const auto entry = entries_.find(handle);
        return entry == entries_.end() ? nullptr : entry->second.lock();
    }

private:
    std::mutex mutex_;
    PictureHandle next_ = 0;
    std::unordered_map<PictureHandle, std::weak_ptr<const Picture>> entries_;
};

PictureHandleTable& handleTable()
{
    static PictureHandleTable table;
    return table;
}

[[noreturn]] void raiseSystemError(int error, const char* call)
{
    throw std::system_error(error, std::generic_category(), call);
}

// A shared mapping of a whole file, unmapped when it goes unless taken.
struct Mapping {
    Mapping(size_t size, int protection, int flags, int descriptor)
        : size(size)
    {
        void* const at = ::mmap(nullptr, size, protection, MAP_SHARED | flags, descriptor, 0);
        if (at == MAP_FAILED)
            raiseSystemError(errno, "mmap");
        bytes = static_cast<uint8_t*>(at);
    }
    ~Mapping()
    {
        if (bytes)
            ::munmap(bytes, size);
    }
    Mapping(const Mapping&) = delete;
    Mapping& operator=(const Mapping&) = delete;

    uint8_t* bytes = nullptr;
    size_t size;
};

// Every stored frame keeps a descriptor; past half the process's limit only its mapping is kept,
// so a long session full of small frames still has descriptors for files, sockets and devices.
bool keepsDescriptor(int descriptor) noexcept
{
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return true;
    return static_cast<rlim_t>(descriptor) < limit.rlim_cur / 2;
}

} // namespace

Picture::Picture(Token, int width, int height)
    : width_(width)
    , height_(height)
{
    if (width < 0 || height < 0)
        throw std::invalid_argument("Picture: negative size");
    stride_ = bitmapStride(width);
}

Picture::~Picture()
{
    if (handle_ != 0)
        handleTable().remove(handle_);
    if (file_)
        ::munmap(const_cast<uint8_t*>(file_), fileSize());
    if (descriptor_ >= 0)
        ::close(descriptor_);
}

PicturePtr Picture::make(int width, int height, const RowWriter& write)
{
    auto picture = std::make_shared<Picture>(Token{}, width, height);
    const std::array<uint8_t, kBitmapHeadersSize> headers = bitmapFileHeader(width, height);
    static_assert(kBitmapHeadersSize == kPixelsOffset);
    const size_t size = picture->fileSize();

    const FileDescriptor writable(::memfd_create("didev-frame.bmp", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (!writable.valid())
        raiseSystemError(errno, "memfd_create");
    if (::ftruncate(writable.get(), static_cast<off_t>(size)) != 0)
        raiseSystemError(errno, "ftruncate");
    {
        // The pages are made in one go rather than faulted in one by one as the rows are written.
        const Mapping target(size, PROT_READ | PROT_WRITE, MAP_POPULATE, writable.get());
        std::memcpy(target.bytes, headers.data(), headers.size());
        // A new memory file reads as zeros, so the row padding needs no writing.
        if (write && picture->byteCount() != 0)
            write(target.bytes + kPixelsOffset, picture->stride_);
    }

    // Sealing needs the writable mapping gone; from here on nobody can change the file.
    if (::fcntl(writable.get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0)
        raiseSystemError(errno, "fcntl(F_ADD_SEALS)");
    // A second, read-only open of the same file: whoever gets it cannot even try to write.
    const std::string self = "/proc/self/fd/" + std::to_string(writable.get());
    FileDescriptor readOnly(::open(self.c_str(), O_RDONLY | O_CLOEXEC));
    if (!readOnly.valid())
        raiseSystemError(errno, "open(/proc/self/fd)");
    Mapping mapped(size, PROT_READ, 0, readOnly.get());
    picture->file_ = std::exchange(mapped.bytes, nullptr);
    if (keepsDescriptor(readOnly.get()))
        picture->descriptor_ = readOnly.release();
    picture->handle_ = handleTable().add(picture);
    return picture;
}

PicturePtr Picture::create(int width, int height, const Filler& fill)
{
    if (!fill)
        return make(width, height, nullptr);
    if (width < 0 || height < 0)
        throw std::invalid_argument("Picture: negative size");
    const std::ptrdiff_t stride = std::ptrdiff_t{4} * width;
    std::vector<uint8_t> bgrx(static_cast<size_t>(stride) * static_cast<size_t>(height) + 1);
    fill(bgrx.data(), stride);
    return fromBgrx(width, height, bgrx.data(), stride);
}

PicturePtr Picture::fromBgrx(int width, int height, const uint8_t* bits, std::ptrdiff_t stride)
{
    return make(width, height, [&](uint8_t* bottomRow, std::ptrdiff_t targetStride) {
        // File row r holds picture row height - 1 - r.
        for (int y = 0; y < height; ++y)
            bgrxToBgr(bits + stride * y, bottomRow + targetStride * (height - 1 - y), width);
    });
}

PicturePtr Picture::fromHandle(PictureHandle handle)
{
    return handle == 0 ? nullptr : handleTable().find(handle);
}

} // namespace didev
