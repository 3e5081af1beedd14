#include "imaging/Resampler.h"

#include "common/AutomationError.h"

#include <immintrin.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace didev {

namespace {

// Nearest integer, halves to even, for |value| < 2^51: adding 1.5 x 2^52 leaves no fraction
// bits, so the addition itself rounds in the default mode; the subtraction is exact.
inline double roundEven(double value) noexcept
{
    constexpr double kShift = 6755399441055744.0;
    return (value + kShift) - kShift;
}

struct Step {
    int index;        // floor of the position
    double weight;    // the fraction, as the float it was held in
};

// Position i x scale as a float, its floor and fraction.
Step stepAt(float scale, int i) noexcept
{
    const float position = scale * static_cast<float>(i);
    const int index = static_cast<int>(position);   // position >= 0: truncation is floor
    return Step{index, static_cast<double>(position - static_cast<float>(index))};
}

struct Column {
    int offset;       // 3 x ix
    double left;      // 1 - dx
    double right;     // dx
};

// Blends of bytes never leave 0 .. 255, so the results are stored as bytes without a clamp
// (the horizontal step clamps anyway, as the arithmetic asks).
void blendRowsPortable(const uint8_t* upper, const uint8_t* lower, double top, double bottom, uint8_t* out,
    int count) noexcept
{
    for (int c = 0; c < count; ++c)
        out[c] = static_cast<uint8_t>(static_cast<int>(roundEven(top * upper[c] + bottom * lower[c])));
}

void blendColumnsPortable(const uint8_t* blended, const Column* columns, uint8_t* out, int width) noexcept
{
    for (int x = 0; x < width; ++x, out += 3) {
        const uint8_t* l = blended + columns[x].offset;
        const double wl = columns[x].left;
        const double wr = columns[x].right;
        for (int c = 0; c < 3; ++c)
            out[c] = static_cast<uint8_t>(std::clamp(static_cast<int>(roundEven(wl * l[c] + wr * l[c + 3])), 0, 255));
    }
}

// The same sums four at a time. The double-to-integer conversion rounds in the default mode,
// halves to even, and packing with unsigned saturation is the clamp to 0 .. 255.
__attribute__((target("avx2"))) inline __m256d lowFourBytes(__m128i bytes) noexcept
{
    return _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(bytes));
}

__attribute__((target("avx2"))) inline __m128i blendFour(__m256d first, __m256d second, __m256d wFirst,
    __m256d wSecond) noexcept
{
    return _mm256_cvtpd_epi32(_mm256_add_pd(_mm256_mul_pd(wFirst, first), _mm256_mul_pd(wSecond, second)));
}

__attribute__((target("avx2"))) void blendRowsAvx2(const uint8_t* upper, const uint8_t* lower, double top,
    double bottom, uint8_t* out, int count) noexcept
{
    const __m256d wTop = _mm256_set1_pd(top);
    const __m256d wBottom = _mm256_set1_pd(bottom);
    int c = 0;
    for (; c + 16 <= count; c += 16) {
        const __m128i up = _mm_loadu_si128(reinterpret_cast<const __m128i*>(upper + c));
        const __m128i down = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lower + c));
        const __m128i r0 = blendFour(lowFourBytes(up), lowFourBytes(down), wTop, wBottom);
        const __m128i r1 = blendFour(lowFourBytes(_mm_srli_si128(up, 4)), lowFourBytes(_mm_srli_si128(down, 4)), wTop, wBottom);
        const __m128i r2 = blendFour(lowFourBytes(_mm_srli_si128(up, 8)), lowFourBytes(_mm_srli_si128(down, 8)), wTop, wBottom);
        const __m128i r3 = blendFour(lowFourBytes(_mm_srli_si128(up, 12)), lowFourBytes(_mm_srli_si128(down, 12)), wTop, wBottom);
        const __m128i bytes = _mm_packus_epi16(_mm_packus_epi32(r0, r1), _mm_packus_epi32(r2, r3));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + c), bytes);
    }
    blendRowsPortable(upper + c, lower + c, top, bottom, out + c, count - c);
}

// One pixel per step: blue, green, red and one spare lane. `blended` has 4 readable bytes
// past the last blend; the spare lane's byte lands on the next pixel, which is written after.
__attribute__((target("avx2"))) void blendColumnsAvx2(const uint8_t* blended, const Column* columns, uint8_t* out,
    int width) noexcept
{
    int x = 0;
    for (; x + 1 < width; ++x, out += 3) {
        const uint8_t* l = blended + columns[x].offset;
        int32_t left;
        int32_t right;
        __builtin_memcpy(&left, l, sizeof left);
        __builtin_memcpy(&right, l + 3, sizeof right);
        const __m128i words = blendFour(lowFourBytes(_mm_cvtsi32_si128(left)), lowFourBytes(_mm_cvtsi32_si128(right)),
            _mm256_set1_pd(columns[x].left), _mm256_set1_pd(columns[x].right));
        const __m128i bytes = _mm_packus_epi16(_mm_packus_epi32(words, words), _mm_setzero_si128());
        const int32_t pixel = _mm_cvtsi128_si32(bytes);
        __builtin_memcpy(out, &pixel, sizeof pixel);
    }
    // The last pixel of a row must not touch the padding after it.
    blendColumnsPortable(blended, columns + x, out, width - x);
}

bool hasAvx2() noexcept
{
    static const bool available = __builtin_cpu_supports("avx2");
    return available;
}

void resample(const ConstPixelView& source, const PixelView& target, bool useAvx2)
{
    if (target.width <= 0 || target.height <= 0)
        return;
    if (!source.bits || source.width < 2 || source.height < 2)
        raiseError(ErrorNumber::SubscriptOutOfRange);

    const float xScale = static_cast<float>(static_cast<double>(source.width - 1) / target.width);
    const float yScale = static_cast<float>(static_cast<double>(source.height - 1) / target.height);

    // Positions grow with the index, so the last ones show whether every neighbour exists.
    if (stepAt(xScale, target.width - 1).index + 1 >= source.width
        || stepAt(yScale, target.height - 1).index + 1 >= source.height)
        raiseError(ErrorNumber::SubscriptOutOfRange);

    std::vector<Column> columns(static_cast<size_t>(target.width));
    int lastPixel = 0;
    for (int x = 0; x < target.width; ++x) {
        const Step step = stepAt(xScale, x);
        columns[static_cast<size_t>(x)] = Column{3 * step.index, 1.0 - step.weight, step.weight};
        lastPixel = step.index + 1;
    }

    // The two-row blend of a source pixel is the same for every target pixel that uses it in a
    // row, so it is formed once per row, as bytes, for the span of pixels the row reaches.
    const int blendBytes = 3 * (lastPixel + 1);
    std::vector<uint8_t> blended(static_cast<size_t>(blendBytes) + 4);

    for (int y = 0; y < target.height; ++y) {
        const Step row = stepAt(yScale, y);
        const uint8_t* upper = source.bits + source.stride * row.index;
        uint8_t* out = target.bits + target.stride * y;
        if (useAvx2) {
            blendRowsAvx2(upper, upper + source.stride, 1.0 - row.weight, row.weight, blended.data(), blendBytes);
            blendColumnsAvx2(blended.data(), columns.data(), out, target.width);
        } else {
            blendRowsPortable(upper, upper + source.stride, 1.0 - row.weight, row.weight, blended.data(), blendBytes);
            blendColumnsPortable(blended.data(), columns.data(), out, target.width);
        }
    }
}

} // namespace

void resampleBilinear(ConstPixelView source, const PixelView& target)
{
    resample(source, target, hasAvx2());
}

void resampleBilinearPortable(ConstPixelView source, const PixelView& target)
{
    resample(source, target, false);
}

Bitmap24 resampled(ConstPixelView source, int width, int height)
{
    if (width <= 0 || height <= 0)
        return {};
    // Rows are taken in the memory order of the 24-bit bitmap, whatever the source's layout.
    if (source.layout != PixelLayout::Bgr24BottomUp || (width == source.width && height == source.height)) {
        Bitmap24 bitmap = Bitmap24::from(source);
        return width == source.width && height == source.height ? bitmap : resampled(std::as_const(bitmap).view(), width, height);
    }
    Bitmap24 target(width, height);
    resampleBilinear(source, target.view());
    return target;
}

} // namespace didev
