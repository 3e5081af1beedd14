#include "common/Picture.h"

#include "common/BitmapLayout.h"
#include "common/FileDescriptor.h"
#include "common/RowBands.h"

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
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
    Mapping() noexcept = default;
    Mapping(size_t size, int protection, int flags, int descriptor)
        : size(size)
    {
        void* const at = ::mmap(nullptr, size, protection, MAP_SHARED | flags, descriptor, 0);
        if (at == MAP_FAILED)
            raiseSystemError(errno, "mmap");
        bytes = static_cast<uint8_t*>(at);
    }
    Mapping(Mapping&& other) noexcept
        : bytes(std::exchange(other.bytes, nullptr))
        , size(other.size)
    {
    }
    Mapping& operator=(Mapping&& other) noexcept
    {
        if (this != &other) {
            unmap();
            bytes = std::exchange(other.bytes, nullptr);
            size = other.size;
        }
        return *this;
    }
    ~Mapping() { unmap(); }

    void unmap() noexcept
    {
        if (bytes)
            ::munmap(bytes, size);
        bytes = nullptr;
    }

    uint8_t* bytes = nullptr;
    size_t size = 0;
};

// A new memory file open for sealing, written with pwrite: a writable mapping would have to go
// before the file is sealed, and unmapping a frame's pages costs as much as a third of writing them.
struct BlankFile {
    FileDescriptor file;
    size_t size = 0;
};

// Pages are made in steps of this many bytes, so that a thread making them ahead can stop in
// between for a picture being written, whose rows take the cores and the memory bus.
constexpr size_t kPagesStepBytes = 1 << 20;

// A new memory file of `size` bytes, without pages yet.
BlankFile emptyFile(size_t size)
{
    BlankFile blank;
    blank.file = FileDescriptor(::memfd_create("didev-frame.bmp", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (!blank.file.valid())
        raiseSystemError(errno, "memfd_create");
    if (::ftruncate(blank.file.get(), static_cast<off_t>(size)) != 0)
        raiseSystemError(errno, "ftruncate");
    blank.size = size;
    return blank;
}

// The pages of `blank`'s bytes `from` to `from + size` made in one go rather than one by one as
// the rows are written. Best effort: those left are made as they are written.
void makePages(BlankFile& blank, size_t from, size_t size) noexcept
{
    ::fallocate(blank.file.get(), 0, static_cast<off_t>(from), static_cast<off_t>(size));
}

BlankFile blankFile(size_t size)
{
    BlankFile blank = emptyFile(size);
    makePages(blank, 0, size);
    return blank;
}

// Writes `size` bytes at `offset` of `file`; 0 or the error.
int writeAt(int file, const uint8_t* bytes, size_t size, size_t offset) noexcept
{
    while (size > 0) {
        const ssize_t written = ::pwrite(file, bytes, size, static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return written < 0 ? errno : ENOSPC;
        bytes += written;
        size -= static_cast<size_t>(written);
        offset += static_cast<size_t>(written);
    }
    return 0;
}

// A picture's file as it goes: its read-only mapping and its descriptor (-1 when none was kept).
struct SpentFile {
    const uint8_t* bytes;
    size_t size;
    int descriptor;

    // Handing the pages back to the system costs about as much as making them.
    void release() const noexcept
    {
        if (bytes)
            ::munmap(const_cast<uint8_t*>(bytes), size);
        if (descriptor >= 0)
            ::close(descriptor);
    }
};

SpentFile spentOf(BlankFile&& blank) noexcept
{
    return {nullptr, 0, blank.file.release()};
}

// Set once the thread below is gone, for pictures that outlive it at the process's exit.
constinit std::atomic<bool> blankFilesGone{false};

// Making a memory file's pages costs about as much as writing them, so the next picture's file is
// made on a thread of its own while the last one is filled and used: a grab finds the file of a
// frame of the camera's size ready. Files are kept of the size last asked for: one, or two once
// grabs came faster than files were made. The same thread hands the files of pictures that went
// back to the system, so neither a grab that replaces a frame nor a discard of many waits for that.
class BlankFiles {
public:
    BlankFiles() = default;
    BlankFiles(const BlankFiles&) = delete;
    BlankFiles& operator=(const BlankFiles&) = delete;
    ~BlankFiles()
    {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        if (maker_.joinable())
            maker_.join();
        blankFilesGone = true;
        for (const SpentFile& spent : spent_)
            spent.release();
    }

    void release(const SpentFile& spent)
    {
        {
            std::lock_guard lock(mutex_);
            if (stopping_ || !startMaker()) {
                spent.release();
                return;
            }
            spent_.push_back(spent);
        }
        wake_.notify_all();
    }

    BlankFile take(size_t size)
    {
        std::unique_lock lock(mutex_);
        const auto readyOne = [&] { return !ready_.empty() && ready_.back().size == size; };
        if (!readyOne() && wanted_ == size)
            depth_ = kDeepest;   // grabs come faster than files are made
        if (!readyOne() && making_ == size) {
            // A file under way is nearer done than a new one: it is handed over between two steps
            // and its pages left are made here, at the grab's own priority.
            handOver_ = true;
            ++waiting_;
            wake_.notify_all();
            wake_.wait(lock, [&] { return handed_ || readyOne() || making_ != size; });
            --waiting_;
            handOver_ = false;
            if (handed_) {
                BlankFile made = std::move(*handed_);
                const size_t from = handedFrom_;
                handed_.reset();
                lock.unlock();
                makePages(made, from, size - from);
                return made;
            }
        }
        if (!readyOne()) {
            lock.unlock();
            return blankFile(size);
        }
        BlankFile made = std::move(ready_.back());
        ready_.pop_back();
        return made;
    }

    // Files of gone pictures are handed back, and new files made, only while no picture is being
    // written, so that a grab has the other cores to itself: between these two calls.
    void writing()
    {
        std::lock_guard lock(mutex_);
        ++writing_;
    }
    void written()
    {
        {
            std::lock_guard lock(mutex_);
            --writing_;
        }
        wake_.notify_all();
    }

    // Returns once the files asked for are ready and the spent ones handed back, with the bytes
    // of those ready.
    size_t settle()
    {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] {
            return stopping_ || !maker_.joinable()
                || (making_ == 0 && freeing_ == 0 && spent_.empty() && (wanted_ == 0 || ready_.size() >= depth_));
        });
        size_t bytes = 0;
        for (const BlankFile& file : ready_)
            bytes += file.size;
        return bytes;
    }

    // Files of `size` are to be kept ready from now on.
    void prepare(size_t size)
    {
        {
            std::lock_guard lock(mutex_);
            if (!startMaker())
                return;
            if (size != wanted_) {
                for (BlankFile& other : ready_)
                    spent_.push_back(spentOf(std::move(other)));
                ready_.clear();
                depth_ = 1;
            }
            wanted_ = size;
        }
        wake_.notify_all();
    }

private:
    static constexpr size_t kDeepest = 2;

    // With the lock held; false when no thread is to be had (the work is then done where it is asked).
    bool startMaker()
    {
        if (!maker_.joinable()) {
            try {
                maker_ = std::thread([this] { makeAhead(); });
            } catch (const std::system_error&) {
                return false;
            }
        }
        return true;
    }

    void makeAhead()
    {
        // Runs only on a core nothing else wants: woken by a grab on the grab's own core, it does
        // not take that core from the grab, and a core it runs on counts as free for the grab's
        // helpers. A grab that needs the file under way takes it over (see take()), so it never
        // waits for this thread on a busy machine.
        const sched_param idle{};
        pthread_setschedparam(pthread_self(), SCHED_IDLE, &idle);
        std::unique_lock lock(mutex_);
        for (;;) {
            // While a picture is written, only a file a grab waits for is made.
            const auto making = [this] { return wanted_ != 0 && ready_.size() < depth_ && (writing_ == 0 || waiting_ > 0); };
            wake_.wait(lock, [&] { return stopping_ || making() || (writing_ == 0 && !spent_.empty()); });
            if (stopping_)
                return;
            if (!making()) {
                // One at a time: a grab that starts meanwhile waits for one file at most.
                const SpentFile spent = spent_.back();
                spent_.pop_back();
                ++freeing_;
                lock.unlock();
                spent.release();
                lock.lock();
                --freeing_;
                wake_.notify_all();
                continue;
            }
            const size_t size = wanted_;
            making_ = size;
            lock.unlock();
            std::optional<BlankFile> made;
            try {
                made = emptyFile(size);
            } catch (const std::exception&) {
                // Out of memory or descriptors: the next picture makes its own file and says why.
            }
            bool stop = false;
            bool handedOver = false;
            for (size_t from = 0; made && from < size && !stop; from += kPagesStepBytes) {
                const size_t step = std::min(kPagesStepBytes, size - from);
                makePages(*made, from, step);
                lock.lock();
                wake_.wait(lock, [this] { return stopping_ || writing_ == 0 || waiting_ > 0; });
                stop = stopping_;
                if (handOver_ && !stop) {
                    handed_ = std::move(*made);
                    handedFrom_ = from + step;
                    handOver_ = false;
                    handedOver = true;
                    stop = true;
                }
                lock.unlock();
            }
            lock.lock();
            making_ = 0;
            if (handedOver)
                made.reset();
            else if (!made)
                wanted_ = 0;
            else if (size == wanted_)
                ready_.push_back(std::move(*made));
            else
                spent_.push_back(spentOf(std::move(*made)));
            wake_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<BlankFile> ready_;   // of size wanted_
    std::vector<SpentFile> spent_;
    size_t wanted_ = 0;
    size_t making_ = 0;
    size_t depth_ = 1;
    int writing_ = 0;
    int waiting_ = 0;   // in take(), for a file under way
    bool handOver_ = false;   // a grab waits to take over the file under way
    std::optional<BlankFile> handed_;
    size_t handedFrom_ = 0;   // the handed file's pages from here on are not made yet
    int freeing_ = 0;   // spent files being handed back
    bool stopping_ = false;
    std::thread maker_;
};

BlankFiles& blankFiles()
{
    static BlankFiles files;
    return files;
}

// While it lives, spent files wait, and files are made ahead only for a grab that waits for one.
class PictureBeingWritten {
public:
    PictureBeingWritten() { blankFiles().writing(); }
    ~PictureBeingWritten() { blankFiles().written(); }
    PictureBeingWritten(const PictureBeingWritten&) = delete;
    PictureBeingWritten& operator=(const PictureBeingWritten&) = delete;
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
    const SpentFile spent{file_, fileSize(), descriptor_};
    // Every picture with a file was made through the thread's owner, which is therefore alive
    // unless the process is exiting.
    if (!file_ || blankFilesGone)
        spent.release();
    else
        blankFiles().release(spent);
}

size_t Picture::settleFiles()
{
    return blankFiles().settle();
}

PicturePtr Picture::make(int width, int height, const RowWriter& write)
{
    auto picture = std::make_shared<Picture>(Token{}, width, height);
    const std::array<uint8_t, kBitmapHeadersSize> headers = bitmapFileHeader(width, height);
    static_assert(kBitmapHeadersSize == kPixelsOffset);
    const size_t size = picture->fileSize();

    const PictureBeingWritten writing;
    BlankFile blank = blankFiles().take(size);
    int error = writeAt(blank.file.get(), headers.data(), headers.size(), 0);
    // A new memory file reads as zeros: rows only a black picture has are not written.
    if (error == 0 && write && picture->byteCount() != 0) {
        const std::ptrdiff_t stride = picture->stride_;
        const size_t padding = static_cast<size_t>(stride) - 3 * static_cast<size_t>(width);
        std::atomic<int> failure{0};
        inSharedRowBands(height, stride, [&](int first, int end) {
            // Each band is written in the cache first, then into the file in one call.
            thread_local std::vector<uint8_t> band;
            const size_t bytes = static_cast<size_t>(stride) * static_cast<size_t>(end - first);
            if (band.size() < bytes)
                band.resize(bytes);
            write(band.data(), stride, first, end);
            for (int r = 0; padding != 0 && r < end - first; ++r)
                std::memset(band.data() + stride * (r + 1) - static_cast<std::ptrdiff_t>(padding), 0, padding);
            const int bandError = writeAt(blank.file.get(), band.data(), bytes, kPixelsOffset + static_cast<size_t>(stride) * first);
            if (bandError != 0)
                failure = bandError;
        });
        error = failure;
    }
    if (error != 0)
        raiseSystemError(error, "pwrite");
    // From here on nobody can change the file.
    if (::fcntl(blank.file.get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0)
        raiseSystemError(errno, "fcntl(F_ADD_SEALS)");
    // A second, read-only open of the same file: whoever gets it cannot even try to write.
    const std::string self = "/proc/self/fd/" + std::to_string(blank.file.get());
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
    return make(width, height, [&](uint8_t* rows, std::ptrdiff_t targetStride, int first, int end) {
        // File row r holds picture row height - 1 - r.
        for (int r = first; r < end; ++r)
            bgrxToBgr(bits + stride * (height - 1 - r), rows + targetStride * (r - first), width);
    });
}

void Picture::prepareNext(int width, int height)
{
    blankFiles().prepare(bitmapFileSize(width, height));
}

PicturePtr Picture::fromHandle(PictureHandle handle)
{
    return handle == 0 ? nullptr : handleTable().find(handle);
}

} // namespace didev
