#include "imaging/PixelMemoryPool.h"

#include <mutex>
#include <vector>

namespace didev {

struct PixelMemoryPool::State {
    struct Block {
        std::unique_ptr<uint8_t[]> bits;
        size_t size;
    };
    mutable std::mutex mutex;
    std::vector<Block> blocks;   // the most recently released last
    size_t bytes = 0;
};

PixelMemoryPool& PixelMemoryPool::instance()
{
    static PixelMemoryPool pool;
    return pool;
}

PixelMemoryPool::State& PixelMemoryPool::state() const noexcept
{
    static State shared;
    return shared;
}

std::unique_ptr<uint8_t[]> PixelMemoryPool::acquire(size_t size)
{
    State& s = state();
    {
        std::lock_guard lock(s.mutex);
        for (auto block = s.blocks.rbegin(); block != s.blocks.rend(); ++block)
            if (block->size == size) {
                std::unique_ptr<uint8_t[]> bits = std::move(block->bits);
                s.bytes -= size;
                s.blocks.erase(std::next(block).base());
                return bits;
            }
    }
    return std::make_unique_for_overwrite<uint8_t[]>(size);
}

void PixelMemoryPool::release(std::unique_ptr<uint8_t[]> block, size_t size) noexcept
{
    if (!block || size > kMaxBytes)
        return;
    State& s = state();
    std::unique_ptr<uint8_t[]> dropped;
    std::lock_guard lock(s.mutex);
    // The oldest blocks make room for the newest.
    while (!s.blocks.empty() && (s.blocks.size() >= kMaxBlocks || s.bytes + size > kMaxBytes)) {
        s.bytes -= s.blocks.front().size;
        s.blocks.erase(s.blocks.begin());
    }
    s.blocks.push_back({std::move(block), size});
    s.bytes += size;
}

void PixelMemoryPool::trim() noexcept
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.blocks.clear();
    s.bytes = 0;
}

size_t PixelMemoryPool::keptBytes() const noexcept
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.bytes;
}

} // namespace didev
