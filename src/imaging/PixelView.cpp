#include "imaging/PixelView.h"

#include "common/Picture.h"

#include <immintrin.h>

#include <cstring>

namespace didev {

namespace {

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

void bgrToBgrx(const uint8_t* source, uint8_t* target, int pixels) noexcept
{
    for (int x = 0; x < pixels; ++x) {
        target[4 * x] = source[3 * x];
        target[4 * x + 1] = source[3 * x + 1];
        target[4 * x + 2] = source[3 * x + 2];
        target[4 * x + 3] = 0xFF;
    }
}

ConstPixelView viewOf(const Picture& picture) noexcept
{
    return {picture.bits(), picture.width(), picture.height(), picture.stride(), PixelLayout::Bgrx32TopDown};
}

void copyPixels(const PixelView& target, int destX, int destY, const ConstPixelView& source, int srcX, int srcY,
    int width, int height)
{
    const int sourceBytes = source.bytesPerPixel();
    const int targetBytes = target.bytesPerPixel();
    const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(sourceBytes);
    // Within one surface, rows are taken in the order that never reads a row already overwritten.
    const bool backwards = source.bits == target.bits && target.row(destY) > source.row(srcY);
    for (int i = 0; i < height; ++i) {
        const int y = backwards ? height - 1 - i : i;
        const uint8_t* from = source.row(srcY + y) + static_cast<std::ptrdiff_t>(srcX) * sourceBytes;
        uint8_t* to = target.row(destY + y) + static_cast<std::ptrdiff_t>(destX) * targetBytes;
        if (sourceBytes == 3 && targetBytes == 3) {
            std::memmove(to, from, rowBytes);
        } else if (sourceBytes == 4 && targetBytes == 4) {
            std::memmove(to, from, rowBytes);
            for (int x = 0; x < width; ++x)
                to[4 * x + 3] = 0xFF;
        } else if (sourceBytes == 4) {
            bgrxToBgr(from, to, width);
        } else {
            bgrToBgrx(from, to, width);
        }
    }
}

} // namespace didev
