#pragma once

#include "imaging/PixelView.h"

#include <cstdint>
#include <memory>

namespace didev {

// Names a device context or a bitmap in the process-wide graphics table; 0 names nothing.
using GraphicsHandle = uint32_t;

// The plain-copy raster operation, the only one block transfers carry out.
inline constexpr uint32_t kSourceCopy = 0x00CC0020;

// Pixel memory that can be selected into a device context: a section's buffer, a picture,
// an image or a picture box's drawn layer.
class BitmapObject {
public:
    virtual ~BitmapObject() = default;
    // The pixels now; a read-only bitmap reports writable false and is never written.
    virtual PixelView pixels() = 0;
    // Called after a block transfer has written into the bitmap.
    virtual void changed() {}
};

// A memory device context with no bitmap selected.
GraphicsHandle createMemoryContext();
// Deletes a device context; the bitmap selected into it stays. False for a bad handle.
bool deleteContext(GraphicsHandle context);

// Enters a bitmap in the table; it lives at least until deleteBitmap.
GraphicsHandle registerBitmap(std::shared_ptr<BitmapObject> bitmap);
// Removes a bitmap; false for a bad handle or while it is selected into a device context.
bool deleteBitmap(GraphicsHandle bitmap);

// Selects a bitmap (or 0 for none) into a device context and returns the one it replaces
// (0 when there was none or a handle is bad: nothing changes then).
GraphicsHandle selectBitmap(GraphicsHandle context, GraphicsHandle bitmap);
// The bitmap selected into a device context, or nothing.
std::shared_ptr<BitmapObject> selectedBitmap(GraphicsHandle context);

bool isDeviceContext(GraphicsHandle handle);
bool isBitmap(GraphicsHandle handle);

// Copies a block between the bitmaps of two device contexts, clipped to both. False when a
// context is bad or has no bitmap, or the target is read-only. A raster operation other than
// kSourceCopy raises error 5.
bool blockTransfer(GraphicsHandle target, int destX, int destY, int width, int height, GraphicsHandle source,
    int srcX, int srcY, uint32_t rasterOperation);

} // namespace didev
