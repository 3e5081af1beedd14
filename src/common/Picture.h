#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace didev {

class Picture;
using PicturePtr = std::shared_ptr<const Picture>;

// Non-zero while the picture it names lives; 0 never names a picture.
using PictureHandle = uint32_t;

// An immutable picture, kept as its complete 24-bit bitmap file (headers, then BGR rows
// bottom-up, each padded to a multiple of 4 bytes) in an anonymous memory file. The file is
// written once, sealed against any change, and mapped read-only, so the same bytes are painted,
// exported and handed to another process without a copy. It is shared by reference and
// registered in a process-wide handle table for as long as it lives, so the host can name it by
// a handle.
class Picture {
public:
    // Fills 32-bit BGRx pixels, rows top-down, before the picture is made from them; `fill`
    // gets the first row and the stride.
    using Filler = std::function<void(uint8_t* bits, std::ptrdiff_t stride)>;
    // Writes the file's rows `first` to `end` as 24-bit BGR, from `rows` on, `stride` bytes apart;
    // the file's row 0 is the bottom row of the picture. The padding at each row's end is left
    // alone: the picture zeroes it. Called for bands of rows, from several threads at once.
    using RowWriter = std::function<void(uint8_t* rows, std::ptrdiff_t stride, int first, int end)>;

    // The picture `write` fills in its file, its bands shared among the cores; black without a
    // writer. A picture too large for a bitmap file raises error 6; the system refusing the
    // memory file raises std::system_error naming the call.
    static PicturePtr make(int width, int height, const RowWriter& write);

    // Black without a filler; for tests and tools, which draw in BGRx (errors as make's).
    static PicturePtr create(int width, int height, const Filler& fill);
    // The picture of BGRx rows, top-down, of the given stride, converted in one pass.
    static PicturePtr fromBgrx(int width, int height, const uint8_t* bits, std::ptrdiff_t stride);
    // Has the file of a width x height picture made ahead, on a thread of its own, so that the
    // next picture of that size finds it ready: a grab asks for its successor's this way.
    static void prepareNext(int width, int height);
    // Waits until the files asked for are made and those of gone pictures handed back: the
    // process's memory then holds the live pictures and one or two files made ahead, whose
    // bytes it returns.
    static size_t settleFiles();
    // The live picture of a handle, or nothing for 0 and for a handle whose picture is gone.
    static PicturePtr fromHandle(PictureHandle handle);

    ~Picture();
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    int width() const noexcept { return width_; }
    int height() const noexcept { return height_; }
    // Bytes from one row to the next (3 per pixel, padded to a multiple of 4).
    std::ptrdiff_t stride() const noexcept { return stride_; }
    size_t byteCount() const noexcept { return static_cast<size_t>(stride_) * static_cast<size_t>(height_); }
    // The first row in memory, which is the bottom row of the picture.
    const uint8_t* bits() const noexcept { return file_ + kPixelsOffset; }
    // Row y as seen, 0 being the top row.
    const uint8_t* row(int y) const noexcept { return bits() + stride_ * (height_ - 1 - y); }
    PictureHandle handle() const noexcept { return handle_; }

    // The whole bitmap file.
    const uint8_t* fileBytes() const noexcept { return file_; }
    size_t fileSize() const noexcept { return kPixelsOffset + byteCount(); }
    // A read-only descriptor of the sealed file, or -1 where the process ran short of
    // descriptors when the picture was made and only the mapping was kept.
    int descriptor() const noexcept { return descriptor_; }

private:
    static constexpr size_t kPixelsOffset = 54;
    struct Token {};

public:
    Picture(Token, int width, int height);

private:
    int width_;
    int height_;
    std::ptrdiff_t stride_ = 0;
    const uint8_t* file_ = nullptr;
    int descriptor_ = -1;
    PictureHandle handle_ = 0;
};

} // namespace didev
