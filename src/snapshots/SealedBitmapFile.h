#pragma once

#include "common/FileDescriptor.h"
#include "common/Picture.h"

#include <cstddef>

namespace didev {

// A picture's complete bitmap file (the bytes a bitmap export writes) in an anonymous memory
// file, sealed against writing, growing, shrinking and further sealing, and held through a
// read-only descriptor that can be handed to another process.
class SealedBitmapFile {
public:
    // Error 91 for no picture; std::system_error naming the failing call when the system
    // refuses the memory file.
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
