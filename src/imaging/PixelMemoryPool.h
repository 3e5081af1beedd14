#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace didev {

// Pixel blocks of recently released sections, handed out again for sections of the same byte
// size, so exporting frame after frame does not fault fresh pages in every time. A handed-out
// block holds whatever its last user left in it.
class PixelMemoryPool {
public:
    static constexpr size_t kMaxBlocks = 4;
    static constexpr size_t kMaxBytes = size_t{64} << 20;

    static PixelMemoryPool& instance();

    // A block of exactly `size` bytes; std::bad_alloc when none can be had.
    std::unique_ptr<uint8_t[]> acquire(size_t size);
    // Keeps the block for a later acquire of the same size, within the pool's limits.
    void release(std::unique_ptr<uint8_t[]> block, size_t size) noexcept;
    // Frees every kept block.
    void trim() noexcept;
    size_t keptBytes() const noexcept;

private:
    PixelMemoryPool() = default;
    struct State;
    State& state() const noexcept;
};

} // namespace didev
