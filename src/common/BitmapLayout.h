#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace didev {

// A bitmap file: a 14-byte file header, a 40-byte info header, then the 24-bit pixels with
// rows bottom-up, each padded to a multiple of 4 bytes. Stored frames are kept in this layout.
inline constexpr size_t kBitmapHeadersSize = 54;

// Bytes from one row of a 24-bit bitmap to the next: 3 per pixel, rounded up to a multiple of 4.
// Pixel memory beyond the 32-bit range raises error 6.
int32_t bitmapStride(int width);
uint32_t bitmapImageSize(int width, int height);

// "BM", the file size, the pixels' offset and the info header of a width x height file.
// Pixel memory beyond the 32-bit range raises error 6.
std::array<uint8_t, kBitmapHeadersSize> bitmapFileHeader(int width, int height);
size_t bitmapFileSize(int width, int height);

// One row of BGRx pixels to BGR.
void bgrxToBgr(const uint8_t* source, uint8_t* target, int pixels) noexcept;

} // namespace didev
