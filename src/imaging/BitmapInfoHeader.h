#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

namespace didev {

// The 40-byte header of a device-independent bitmap, as it is written to a bitmap file.
struct BitmapInfoHeader {
    static constexpr uint32_t kSize = 40;
    // A bitmap file starts with a 14-byte file header, then this header, then the pixels.
    static constexpr uint32_t kFileHeaderSize = 14;
    static constexpr uint32_t kPixelDataOffset = kFileHeaderSize + kSize;

    uint32_t biSize = 0;
    int32_t biWidth = 0;
    int32_t biHeight = 0;
    uint16_t biPlanes = 0;
    uint16_t biBitCount = 0;
    uint32_t biCompression = 0;
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;

    // Little-endian bytes in field order, without padding.
    std::array<uint8_t, kSize> bytes() const noexcept;
    // The first kPixelDataOffset bytes of the bitmap file of these pixels: "BM", the file size,
    // the pixels' offset, then this header.
    std::array<uint8_t, kPixelDataOffset> fileHeaders() const noexcept;
};

// Little-endian stores into a byte buffer.
inline void storeLittleEndian(uint8_t* at, uint32_t value) noexcept
{
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
    at[2] = static_cast<uint8_t>(value >> 16);
    at[3] = static_cast<uint8_t>(value >> 24);
}

inline void storeLittleEndian(uint8_t* at, uint16_t value) noexcept
{
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

inline std::array<uint8_t, BitmapInfoHeader::kSize> BitmapInfoHeader::bytes() const noexcept
{
    std::array<uint8_t, kSize> out{};
    storeLittleEndian(out.data() + 0, biSize);
    storeLittleEndian(out.data() + 4, static_cast<uint32_t>(biWidth));
    storeLittleEndian(out.data() + 8, static_cast<uint32_t>(biHeight));
    storeLittleEndian(out.data() + 12, biPlanes);
    storeLittleEndian(out.data() + 14, biBitCount);
    storeLittleEndian(out.data() + 16, biCompression);
    storeLittleEndian(out.data() + 20, biSizeImage);
    storeLittleEndian(out.data() + 24, static_cast<uint32_t>(biXPelsPerMeter));
    storeLittleEndian(out.data() + 28, static_cast<uint32_t>(biYPelsPerMeter));
    storeLittleEndian(out.data() + 32, biClrUsed);
    storeLittleEndian(out.data() + 36, biClrImportant);
    return out;
}

inline std::array<uint8_t, BitmapInfoHeader::kPixelDataOffset> BitmapInfoHeader::fileHeaders() const noexcept
{
    std::array<uint8_t, kPixelDataOffset> out{};
    out[0] = 'B';
    out[1] = 'M';
    storeLittleEndian(out.data() + 2, kPixelDataOffset + biSizeImage);
    storeLittleEndian(out.data() + 10, kPixelDataOffset);
    const auto info = bytes();
    std::copy(info.begin(), info.end(), out.begin() + kFileHeaderSize);
    return out;
}

} // namespace didev
