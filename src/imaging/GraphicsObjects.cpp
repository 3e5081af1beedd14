#include "imaging/GraphicsObjects.h"

#include "common/AutomationError.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <unordered_map>
#include <variant>

namespace didev {

namespace {

struct ContextEntry {
    GraphicsHandle selected = 0;
};

struct BitmapEntry {
    std::shared_ptr<BitmapObject> bitmap;
    int selections = 0;
};

// Contexts and bitmaps share one numbering so that a handle names exactly one object.
class GraphicsTable {
public:
    GraphicsHandle add(std::variant<ContextEntry, BitmapEntry> entry)
    {
        std::lock_guard lock(mutex_);
        do {
            ++next_;
        } while (next_ == 0 || entries_.contains(next_));
        entries_.emplace(next_, std::move(entry));
        return next_;
    }

    bool removeContext(GraphicsHandle handle)
    {
        std::lock_guard lock(mutex_);
        auto* context = find<ContextEntry>(handle);
        if (!context)
            return false;
        if (auto* bitmap = find<BitmapEntry>(context->selected))
            --bitmap->selections;
        entries_.erase(handle);
        return true;
    }

    bool removeBitmap(GraphicsHandle handle)
    {
        std::lock_guard lock(mutex_);
        auto* bitmap = find<BitmapEntry>(handle);
        if (!bitmap || bitmap->selections > 0)
            return false;
        entries_.erase(handle);
        return true;
    }

    GraphicsHandle select(GraphicsHandle contextHandle, GraphicsHandle bitmapHandle)
    {
        std::lock_guard lock(mutex_);
        auto* context = find<ContextEntry>(contextHandle);
        auto* bitmap = find<BitmapEntry>(bitmapHandle);
        if (!context || (bitmapHandle != 0 && !bitmap))
            return 0;
        const GraphicsHandle previous = context->selected;
        if (auto* old = find<BitmapEntry>(previous))
            --old->selections;
        if (bitmap)
            ++bitmap->selections;
        context->selected = bitmapHandle;
        return previous;
    }

    std::shared_ptr<BitmapObject> selectedIn(GraphicsHandle contextHandle)
    {
        std::lock_guard lock(mutex_);
        auto* context = find<ContextEntry>(contextHandle);
        if (!context)
            return nullptr;
        auto* bitmap = find<BitmapEntry>(context->selected);
        return bitmap ? bitmap->bitmap : nullptr;
    }

    template <typename Entry>
    bool holds(GraphicsHandle handle)
    {
        std::lock_guard lock(mutex_);
        return find<Entry>(handle) != nullptr;
    }

private:
    template <typename Entry>
    Entry* find(GraphicsHandle handle)
    {
        if (handle == 0)
            return nullptr;
        const auto entry = entries_.find(handle);
        return entry == entries_.end() ? nullptr : std::get_if<Entry>(&entry->second);
    }

    std::mutex mutex_;
    GraphicsHandle next_ = 0;
    std::unordered_map<GraphicsHandle, std::variant<ContextEntry, BitmapEntry>> entries_;
};

GraphicsTable& table()
{
    static GraphicsTable instance;
    return instance;
}

} // namespace

GraphicsHandle createMemoryContext()
{
    return table().add(ContextEntry{});
}

bool deleteContext(GraphicsHandle context)
{
    return table().removeContext(context);
}

GraphicsHandle registerBitmap(std::shared_ptr<BitmapObject> bitmap)
{
    if (!bitmap)
        return 0;
    return table().add(BitmapEntry{std::move(bitmap), 0});
}

bool deleteBitmap(GraphicsHandle bitmap)
{
    return table().removeBitmap(bitmap);
}

GraphicsHandle selectBitmap(GraphicsHandle context, GraphicsHandle bitmap)
{
    return table().select(context, bitmap);
}

std::shared_ptr<BitmapObject> selectedBitmap(GraphicsHandle context)
{
    return table().selectedIn(context);
}

bool isDeviceContext(GraphicsHandle handle)
{
    return table().holds<ContextEntry>(handle);
}

bool isBitmap(GraphicsHandle handle)
{
    return table().holds<BitmapEntry>(handle);
}

bool blockTransfer(GraphicsHandle target, int destX, int destY, int width, int height, GraphicsHandle source,
    int srcX, int srcY, uint32_t rasterOperation)
{
    if (rasterOperation != kSourceCopy) {
        char text[96];
        std::snprintf(text, sizeof text, "Block transfer: raster operation 0x%08X is not supported",
            static_cast<unsigned>(rasterOperation));
        throw AutomationError(5, kModuleErrorSource, text);
    }
    const auto targetBitmap = selectedBitmap(target);
    const auto sourceBitmap = selectedBitmap(source);
    if (!targetBitmap || !sourceBitmap)
        return false;
    const PixelView to = targetBitmap->pixels();
    const PixelView from = sourceBitmap->pixels();
    if (!to.writable)
        return false;
    if (to.empty() || from.empty() || width <= 0 || height <= 0)
        return true;

    // Clip the block to the source and the target, moving both corners together.
    int64_t x0 = 0, y0 = 0, x1 = width, y1 = height;
    x0 = std::max<int64_t>({x0, -static_cast<int64_t>(srcX), -static_cast<int64_t>(destX)});
    y0 = std::max<int64_t>({y0, -static_cast<int64_t>(srcY), -static_cast<int64_t>(destY)});
    x1 = std::min<int64_t>({x1, static_cast<int64_t>(from.width) - srcX, static_cast<int64_t>(to.width) - destX});
    y1 = std::min<int64_t>({y1, static_cast<int64_t>(from.height) - srcY, static_cast<int64_t>(to.height) - destY});
    if (x1 <= x0 || y1 <= y0)
        return true;
    copyPixels(to, static_cast<int>(destX + x0), static_cast<int>(destY + y0), from, static_cast<int>(srcX + x0),
        static_cast<int>(srcY + y0), static_cast<int>(x1 - x0), static_cast<int>(y1 - y0));
    targetBitmap->changed();
    return true;
}

} // namespace didev
