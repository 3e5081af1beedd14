#pragma once

#include "common/FileDescriptor.h"
#include "common/Picture.h"

#include <cstddef>

namespace didev {

// A read-only descriptor of a picture's sealed bitmap file, to be handed to another process.
// Each is an open of its own, so a receiver reading it in order does not move the position of
// any other receiver's descriptor.
class SealedBitmapFile {
public:
    // Error 91 for no picture; std::system_error naming the failing call when the system
    // refuses the descriptor.
    static SealedBitmapFile fromPicture(const PicturePtr& picture);

    // Stays owned here; the bus duplicates it when it is sent.
    int descriptor() const noexcept { return file_.get(); }
    size_t size() const noexcept { return size_; }

private:
    SealedBitmapFile(FileDescriptor file, size_t size) noexcept : file_(std::move(file)), size_(size) {}

    FileDescriptor file_;
    size_t size_ = 0;
};

} // namespace didev
