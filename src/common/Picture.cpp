#include "common/Picture.h"

#include <cstring>
#include <mutex>
#include <stdexcept>
#include <unordered_map>

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

} // namespace

Picture::Picture(Token, int width, int height)
    : width_(width)
    , height_(height)
{
    if (width < 0 || height < 0)
        throw std::invalid_argument("Picture: negative size");
    pixels_ = std::make_unique_for_overwrite<uint8_t[]>(byteCount() == 0 ? 1 : byteCount());
}

Picture::~Picture()
{
    if (handle_ != 0)
        handleTable().remove(handle_);
}

PicturePtr Picture::create(int width, int height, const Filler& fill)
{
    auto picture = std::make_shared<Picture>(Token{}, width, height);
    if (fill)
        fill(picture->pixels_.get(), picture->stride());
    picture->handle_ = handleTable().add(picture);
    return picture;
}

PicturePtr Picture::fromBgrx(int width, int height, const uint8_t* bits, std::ptrdiff_t stride)
{
    return create(width, height, [&](uint8_t* target, std::ptrdiff_t targetStride) {
        if (stride == targetStride) {
            std::memcpy(target, bits, static_cast<size_t>(targetStride) * static_cast<size_t>(height));
            return;
        }
        for (int y = 0; y < height; ++y)
            std::memcpy(target + targetStride * y, bits + stride * y, static_cast<size_t>(targetStride));
    });
}

PicturePtr Picture::fromHandle(PictureHandle handle)
{
    return handle == 0 ? nullptr : handleTable().find(handle);
}

} // namespace didev
