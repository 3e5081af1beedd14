#include "common/BitmapLayout.h"

#include "common/AutomationError.h"

#include <immintrin.h>

#include <cstring>
#include <limits>

namespace didev {

namespace {

constexpr uint32_t kInfoHeaderSize = 40;

void storeLittleEndian(uint8_t* at, uint32_t value, int bytes) noexcept
{
    for (int i = 0; i < bytes; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Sixteen pixels (64 bytes) to 48 bytes: each group of four loses its fourth bytes in one
// shuffle, and the three 12-byte results are joined into three full stores.
__attribute__((target("ssse3"))) int bgrxToBgrSsse3(const uint8_t* source, uint8_t* target, int pixels) noexcept
{
    const __m128i drop = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    int x = 0;
    for (; x + 16 <= pixels; x += 16) {
        const __m128i a = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 4 * x)), drop);
        const __m128i b = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 4 * x + 16)), drop);
        const __m128i c = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 4 * x + 32)), drop);
        const __m128i d = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 4 * x + 48)), drop);
        uint8_t* out = target + 3 * x;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_or_si128(a, _mm_slli_si128(b, 12)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_or_si128(_mm_srli_si128(b, 4), _mm_slli_si128(c, 8)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32), _mm_or_si128(_mm_srli_si128(c, 8), _mm_slli_si128(d, 4)));
    }
    return x;
}

bool hasSsse3() noexcept
{
    static const bool available = __builtin_cpu_supports("ssse3");
    return available;
}

} // namespace

int32_t bitmapStride(int width)
{
    const int64_t stride = (int64_t{width} * 3 + 3) & ~int64_t{3};
    if (stride > std::numeric_limits<int32_t>::max())
        raiseError(ErrorNumber::Overflow);
    return static_cast<int32_t>(stride);
}

uint32_t bitmapImageSize(int width, int height)
{
    const int64_t size = int64_t{bitmapStride(width)} * height;
    if (size > std::numeric_limits<int32_t>::max() || size < std::numeric_limits<int32_t>::min())
        raiseError(ErrorNumber::Overflow);
    return static_cast<uint32_t>(static_cast<int32_t>(size));
}

std::array<uint8_t, kBitmapHeadersSize> bitmapFileHeader(int width, int height)
{
    const uint32_t imageSize = bitmapImageSize(width, height);
    std::array<uint8_t, kBitmapHeadersSize> out{};
    uint8_t* const info = out.data() + kBitmapHeadersSize - kInfoHeaderSize;
    out[0] = 'B';
    out[1] = 'M';
    storeLittleEndian(out.data() + 2, static_cast<uint32_t>(kBitmapHeadersSize) + imageSize, 4);
    storeLittleEndian(out.data() + 10, static_cast<uint32_t>(kBitmapHeadersSize), 4);
    storeLittleEndian(info, kInfoHeaderSize, 4);
    storeLittleEndian(info + 4, static_cast<uint32_t>(width), 4);
    storeLittleEndian(info + 8, static_cast<uint32_t>(height), 4);
    storeLittleEndian(info + 12, 1, 2);    // planes
    storeLittleEndian(info + 14, 24, 2);   // bits per pixel
    storeLittleEndian(info + 20, imageSize, 4);
    return out;
}

size_t bitmapFileSize(int width, int height)
{
    return kBitmapHeadersSize + bitmapImageSize(width, height);
}

void bgrxToBgr(const uint8_t* source, uint8_t* target, int pixels) noexcept
{
    int x = hasSsse3() ? bgrxToBgrSsse3(source, target, pixels) : 0;
    // Four pixels (16 bytes) become three 32-bit words (12 bytes).
    for (; x + 4 <= pixels; x += 4) {
        uint32_t p[4];
        std::memcpy(p, source + 4 * x, sizeof p);
        const uint32_t words[3] = {
            (p[0] & 0x00FFFFFFu) | (p[1] << 24),
            ((p[1] >> 8) & 0x0000FFFFu) | (p[2] << 16),
            ((p[2] >> 16) & 0x000000FFu) | (p[3] << 8),
        };
        std::memcpy(target + 3 * x, words, sizeof words);
    }
    for (; x < pixels; ++x) {
        target[3 * x] = source[4 * x];
        target[3 * x + 1] = source[4 * x + 1];
        target[3 * x + 2] = source[4 * x + 2];
    }
}

} // namespace didev
