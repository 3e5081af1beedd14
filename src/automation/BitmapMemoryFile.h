#pragma once

#include "common/Picture.h"

#include <cstddef>

namespace didev {

// A picture's complete 24-bit bitmap file (the bytes a bitmap save writes) in an anonymous
// memory file, sealed against writing, growing, shrinking and further sealing, and held
// through a read-only descriptor that can be handed to another process.
class BitmapMemoryFile {
public:
    // Error 91 for no picture; std::system_error naming the failing call when the system
    // refuses the memory file.
    static BitmapMemoryFile fromPicture(const PicturePtr& picture);

    ~BitmapMemoryFile();
    BitmapMemoryFile(BitmapMemoryFile&& other) noexcept;
    BitmapMemoryFile& operator=(BitmapMemoryFile&& other) noexcept;
    BitmapMemoryFile(const BitmapMemoryFile&) = delete;
    BitmapMemoryFile& operator=(const BitmapMemoryFile&) = delete;

    // Stays owned here; the bus duplicates it when it is sent.
    int descriptor() const noexcept { return descriptor_; }
    size_t size() const noexcept { return size_; }

private:
    BitmapMemoryFile(int descriptor, size_t size) noexcept : descriptor_(descriptor), size_(size) {}

    int descriptor_ = -1;
    size_t size_ = 0;
};

} // namespace didev
