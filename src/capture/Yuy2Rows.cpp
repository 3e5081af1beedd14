#include "capture/Yuy2Rows.h"

#include "common/RowBands.h"

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>

// The per-pixel loops are worth vectorising wherever the compiler can.
#if defined(__GNUC__) && !defined(__clang__)
#define VIDEO_LOOP __attribute__((optimize("O3"), target_clones("avx2", "default")))
#else
#define VIDEO_LOOP
#endif

namespace didev {

namespace {

// Source positions of the `out` samples across `in` samples (at least 2), pixel centres on pixel
// centres: the first of the two neighbours (never the last sample, so the second always exists)
// and the weight of the second, of 256.
void linearTaps(int in, int out, double inPerOut, double offset, std::vector<Yuy2Scaler::Tap>& taps)
{
    taps.resize(static_cast<size_t>(out));
    for (int i = 0; i < out; ++i) {
        const double position = std::clamp((i + 0.5) * inPerOut - 0.5 + offset, 0.0, double(in - 1));
        const int first = std::min(static_cast<int>(position), in - 2);
        taps[size_t(i)] = {first, static_cast<int>((position - first) * 256 + 0.5)};
    }
}


inline uint32_t bgrx(int luma, int cb, int cr, const YuvMatrix& m)
{
    const int l = (luma - 16) * m.y + 8192;
    const int r = std::clamp((l + m.rv * cr) >> 14, 0, 255);
    const int g = std::clamp((l - m.gu * cb - m.gv * cr) >> 14, 0, 255);
    const int b = std::clamp((l + m.bu * cb) >> 14, 0, 255);
    return 0xff000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
}

// Bytes `from` on of two rows blended, the second weighing `weight` of 256.
void blendRows(const uint8_t* a, const uint8_t* b, int weight, uint8_t* out, int from, int n)
{
    const int keep = 256 - weight;
    for (int i = from; i < n; ++i)
        out[i] = static_cast<uint8_t>((a[i] * keep + b[i] * weight + 128) >> 8);
}

uint32_t wordAt(const uint8_t* bytes)
{
    uint32_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

// Two 16-bit weights in one word, as a madd takes them: the first neighbour's in the low half
// and the second's (`weight`, of 256) in the high one.
int32_t weightPair(int weight)
{
    return int32_t(uint32_t(weight) << 16 | uint32_t(256 - weight));
}

// Pixels `from` to `n` of one YUY2 row to BGRx. Each pixel reads three words: the one at its
// first luma sample holds both luma neighbours (bytes 0 and 2, whether the sample is odd or
// even), and the two chroma pairs are the words at `chroma` and after it (U in byte 1, V in
// byte 3). The weights are pairs as weightPair makes them.
void yuy2Row(const uint8_t* line, const int32_t* luma, const int32_t* lumaWeight, const int32_t* chroma,
             const int32_t* chromaWeight, const YuvMatrix& m, uint32_t* out, int from, int n)
{
    for (int i = from; i < n; ++i) {
        const uint32_t y = wordAt(line + luma[i]);
        const uint32_t c0 = wordAt(line + chroma[i]);
        const uint32_t c1 = wordAt(line + chroma[i] + 4);
        const int lw = lumaWeight[i] >> 16;
        const int cw = chromaWeight[i] >> 16;
        const int yy = (int(y & 0xff) * (256 - lw) + int((y >> 16) & 0xff) * lw + 128) >> 8;
        const int cb = ((int((c0 >> 8) & 0xff) * (256 - cw) + int((c1 >> 8) & 0xff) * cw + 128) >> 8) - 128;
        const int cr = ((int(c0 >> 24) * (256 - cw) + int(c1 >> 24) * cw + 128) >> 8) - 128;
        out[i] = bgrx(yy, cb, cr, m);
    }
}



inline void putBgr(uint8_t* out, uint32_t pixel)
{
    out[0] = static_cast<uint8_t>(pixel);
    out[1] = static_cast<uint8_t>(pixel >> 8);
    out[2] = static_cast<uint8_t>(pixel >> 16);
}

// The pairs from `first` on of a YUY2 row of `pairs` to 24-bit BGR, the chroma sited as in
// yuy2RowAsIs.
void yuy2PairsToBgr(const uint8_t* line, const YuvMatrix& m, uint8_t* out, int first, int pairs)
{
    for (int i = first; i + 1 < pairs; ++i) {
        const uint8_t* pair = line + 4 * i;
        putBgr(out + 6 * i, bgrx(pair[0], pair[1] - 128, pair[3] - 128, m));
        putBgr(out + 6 * i + 3, bgrx(pair[2], (pair[1] + pair[5] + 1) / 2 - 128, (pair[3] + pair[7] + 1) / 2 - 128, m));
    }
    const int last = pairs - 1;
    const uint8_t* pair = line + 4 * last;
    putBgr(out + 6 * last, bgrx(pair[0], pair[1] - 128, pair[3] - 128, m));
    putBgr(out + 6 * last + 3, bgrx(pair[2], pair[1] - 128, pair[3] - 128, m));
}

// Byte shuffles of one 128-bit lane (8 pixels) for the AVX2 row: the lane's pixels as (luma,
// chroma) byte pairs, the even pixels' chroma from the row and the odd ones' from the mean with
// the next pair; then B, G, R planes (from B|G and R|R packs) to 24 bytes of BGR.
struct Yuy2ShuffleMasks {
    std::array<int8_t, 32> lumaV, meanV, lumaU, meanU, bgrFromBg, bgrFromR, tailFromBg, tailFromR;
};

constexpr Yuy2ShuffleMasks yuy2ShuffleMasks()
{
    Yuy2ShuffleMasks masks{};
    for (int lane = 0; lane < 32; lane += 16) {
        for (int p = 0; p < 8; ++p) {
            const int pair = 4 * (p / 2);
            const bool odd = p % 2 == 1;
            masks.lumaV[lane + 2 * p] = masks.lumaU[lane + 2 * p] = static_cast<int8_t>(pair + (odd ? 2 : 0));
            masks.meanV[lane + 2 * p] = masks.meanU[lane + 2 * p] = -1;
            masks.lumaV[lane + 2 * p + 1] = odd ? int8_t{-1} : static_cast<int8_t>(pair + 3);
            masks.meanV[lane + 2 * p + 1] = odd ? static_cast<int8_t>(pair + 3) : int8_t{-1};
            masks.lumaU[lane + 2 * p + 1] = odd ? int8_t{-1} : static_cast<int8_t>(pair + 1);
            masks.meanU[lane + 2 * p + 1] = odd ? static_cast<int8_t>(pair + 1) : int8_t{-1};
        }
        for (int o = 0; o < 16; ++o) {
            for (const int byte : {o, o + 16}) {
                const int pixel = byte / 3;
                const int channel = byte % 3;
                const bool inRange = byte < 24;
                auto& fromBg = byte < 16 ? masks.bgrFromBg : masks.tailFromBg;
                auto& fromR = byte < 16 ? masks.bgrFromR : masks.tailFromR;
                fromBg[lane + o] = inRange && channel < 2 ? static_cast<int8_t>(pixel + 8 * channel) : int8_t{-1};
                fromR[lane + o] = inRange && channel == 2 ? static_cast<int8_t>(pixel) : int8_t{-1};
            }
        }
    }
    return masks;
}

constexpr Yuy2ShuffleMasks kYuy2Masks = yuy2ShuffleMasks();

__attribute__((target("avx2"))) inline __m256i maskOf(const std::array<int8_t, 32>& bytes)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes.data()));
}

// Two 16-bit coefficients for _mm256_madd_epi16: `low` times the first of each pair, `high` the second.
__attribute__((target("avx2"))) inline __m256i coefficients(int low, int high)
{
    return _mm256_set1_epi32(static_cast<int>((uint32_t(uint16_t(high)) << 16) | uint16_t(low)));
}

// Sixteen pixels at a time, with the same integer arithmetic as the scalar loop, so the same bytes:
// madd sums luma and chroma terms in 32 bits, and the packs clamp to 0..255. The row's last
// pair and what is left over go to the scalar loop. Returns the pairs done.
__attribute__((target("avx2"))) int yuy2ToBgrAvx2(const uint8_t* line, const YuvMatrix& m, uint8_t* out, int pairs)
{
    const __m256i lumaV = maskOf(kYuy2Masks.lumaV), meanV = maskOf(kYuy2Masks.meanV);
    const __m256i lumaU = maskOf(kYuy2Masks.lumaU), meanU = maskOf(kYuy2Masks.meanU);
    const __m256i bgrFromBg = maskOf(kYuy2Masks.bgrFromBg), bgrFromR = maskOf(kYuy2Masks.bgrFromR);
    const __m256i tailFromBg = maskOf(kYuy2Masks.tailFromBg), tailFromR = maskOf(kYuy2Masks.tailFromR);
    const __m256i red = coefficients(m.y, m.rv);
    const __m256i greenU = coefficients(m.y, -m.gu);
    const __m256i greenV = coefficients(0, -m.gv);
    const __m256i blueHalf = coefficients(m.y, m.bu - m.bu / 2);
    const __m256i blueRest = coefficients(0, m.bu / 2);
    // The offsets of luma (16) and chroma (128) and the rounding half, folded into one constant each.
    const __m256i redBase = _mm256_set1_epi32(8192 - 16 * m.y - 128 * m.rv);
    const __m256i greenBase = _mm256_set1_epi32(8192 - 16 * m.y + 128 * (m.gu + m.gv));
    const __m256i blueBase = _mm256_set1_epi32(8192 - 16 * m.y - 128 * m.bu);
    const __m256i zero = _mm256_setzero_si256();
    int i = 0;
    // Reads 4 bytes past its 16 pixels (the next pair, for the odd pixels' chroma).
    for (; i + 9 <= pairs; i += 8) {
        const uint8_t* in = line + 4 * i;
        const __m256i row = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
        const __m256i mean = _mm256_avg_epu8(row, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 4)));
        const __m256i yv = _mm256_or_si256(_mm256_shuffle_epi8(row, lumaV), _mm256_shuffle_epi8(mean, meanV));
        const __m256i yu = _mm256_or_si256(_mm256_shuffle_epi8(row, lumaU), _mm256_shuffle_epi8(mean, meanU));
        __m256i channel[3][2];   // B, G, R of the lane's first and last four pixels
        for (int half = 0; half < 2; ++half) {
            const __m256i v = half == 0 ? _mm256_unpacklo_epi8(yv, zero) : _mm256_unpackhi_epi8(yv, zero);
            const __m256i u = half == 0 ? _mm256_unpacklo_epi8(yu, zero) : _mm256_unpackhi_epi8(yu, zero);
            const __m256i b = _mm256_add_epi32(_mm256_add_epi32(_mm256_madd_epi16(u, blueHalf), _mm256_madd_epi16(u, blueRest)), blueBase);
            const __m256i g = _mm256_add_epi32(_mm256_add_epi32(_mm256_madd_epi16(u, greenU), _mm256_madd_epi16(v, greenV)), greenBase);
            const __m256i r = _mm256_add_epi32(_mm256_madd_epi16(v, red), redBase);
            channel[0][half] = _mm256_srai_epi32(b, 14);
            channel[1][half] = _mm256_srai_epi32(g, 14);
            channel[2][half] = _mm256_srai_epi32(r, 14);
        }
        const __m256i b16 = _mm256_packs_epi32(channel[0][0], channel[0][1]);
        const __m256i g16 = _mm256_packs_epi32(channel[1][0], channel[1][1]);
        const __m256i r16 = _mm256_packs_epi32(channel[2][0], channel[2][1]);
        const __m256i bg = _mm256_packus_epi16(b16, g16);
        const __m256i rr = _mm256_packus_epi16(r16, r16);
        const __m256i head = _mm256_or_si256(_mm256_shuffle_epi8(bg, bgrFromBg), _mm256_shuffle_epi8(rr, bgrFromR));
        const __m256i tail = _mm256_or_si256(_mm256_shuffle_epi8(bg, tailFromBg), _mm256_shuffle_epi8(rr, tailFromR));
        uint8_t* const to = out + 6 * i;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm256_castsi256_si128(head));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(to + 16), _mm256_castsi256_si128(tail));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 24), _mm256_extracti128_si256(head, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(to + 40), _mm256_extracti128_si256(tail, 1));
    }
    return i;
}

bool hasAvx2()
{
    static const bool available = __builtin_cpu_supports("avx2");
    return available;
}

// How the two source rows of a scaled row mix: the first alone (the second's weight 0), half
// each (128), a quarter of the second (64, as every row at two thirds of the height), or by any
// other weight. The kernels blend the rows' bytes as they load them, with the same bytes as
// blendRows, so no blended row is written and read again.
enum class RowMix { One, Half, Quarter, Weighed };

// The two source rows of a scaled row, the second weighing `weight` of 256 (0 to 255).
struct SourceRows {
    const uint8_t* first;
    const uint8_t* second;
    int weight;

    // The rows of `tap` at `first`, rows `stride` apart; three quarters of the second are a
    // quarter of the first.
    static SourceRows of(const Yuy2Scaler::Tap& tap, const uint8_t* first, ptrdiff_t stride)
    {
        if (tap.weight == 256)
            return {first + stride, first + stride, 0};
        if (tap.weight == 192)
            return {first + stride, first, 64};
        return {first, first + stride, tap.weight};
    }

    RowMix mix() const
    {
        switch (weight) {
        case 0:
            return RowMix::One;
        case 128:
            return RowMix::Half;
        case 64:
            return RowMix::Quarter;
        default:
            return RowMix::Weighed;
        }
    }
};

// `run` with the rows' mix as a compile-time constant (std::integral_constant).
template <typename Run>
int withMix(RowMix mix, Run&& run)
{
    switch (mix) {
    case RowMix::One:
        return run(std::integral_constant<RowMix, RowMix::One>());
    case RowMix::Half:
        return run(std::integral_constant<RowMix, RowMix::Half>());
    case RowMix::Quarter:
        return run(std::integral_constant<RowMix, RowMix::Quarter>());
    case RowMix::Weighed:
        break;
    }
    return run(std::integral_constant<RowMix, RowMix::Weighed>());
}

// The bytes of `a` and `b` mixed as blendRows mixes them. a + (b - a) * weight / 256, rounded,
// is one rounding multiply of 16-bit lanes by `scale` (the weight times 128); half each is the
// rounding average of the bytes themselves, and a quarter of b the average of a and that, less
// the one where both averages rounded up and (3a + b + 2) / 4 does not.
template <RowMix mix>
__attribute__((target("avx2"))) inline __m256i mixed(__m256i a, __m256i b, __m256i scale)
{
    if constexpr (mix == RowMix::One)
        return a;
    const __m256i half = _mm256_avg_epu8(a, b);
    if constexpr (mix == RowMix::Half)
        return half;
    if constexpr (mix == RowMix::Quarter) {
        const __m256i bothUp = _mm256_and_si256(_mm256_xor_si256(a, b), _mm256_xor_si256(a, half));
        return _mm256_sub_epi8(_mm256_avg_epu8(a, half), _mm256_and_si256(bothUp, _mm256_set1_epi8(1)));
    }
    const __m256i zero = _mm256_setzero_si256();
    const __m256i aLow = _mm256_unpacklo_epi8(a, zero), aHigh = _mm256_unpackhi_epi8(a, zero);
    const __m256i low = _mm256_add_epi16(aLow, _mm256_mulhrs_epi16(_mm256_sub_epi16(_mm256_unpacklo_epi8(b, zero), aLow), scale));
    const __m256i high = _mm256_add_epi16(aHigh, _mm256_mulhrs_epi16(_mm256_sub_epi16(_mm256_unpackhi_epi8(b, zero), aHigh), scale));
    return _mm256_packus_epi16(low, high);
}

__attribute__((target("avx2"))) inline __m256i mixScale(const SourceRows& rows)
{
    return _mm256_set1_epi16(static_cast<short>(rows.weight << 7));
}

// The first `n` bytes of rows mixed by any weight into `out`, 32 at a time. Returns the bytes done.
__attribute__((target("avx2"))) int mixRowsAvx2(const SourceRows& rows, uint8_t* out, int n)
{
    const __m256i scale = mixScale(rows);
    int i = 0;
    for (; i + 32 <= n; i += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows.first + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows.second + i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), mixed<RowMix::Weighed>(a, b, scale));
    }
    return i;
}

__attribute__((target("avx2"))) inline __m256i load(const int32_t* at)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}

// (first, second) 16-bit neighbours weighed by weightPair words, rounded to 0..255.
__attribute__((target("avx2"))) inline __m256i weigh(__m256i pairs, __m256i weights)
{
    return _mm256_srli_epi32(_mm256_add_epi32(_mm256_madd_epi16(pairs, weights), _mm256_set1_epi32(128)), 8);
}

// Eight pixels to BGRx from their neighbours as 16-bit (first, second) pairs, each 32-bit lane
// one pixel, and the weight pairs: one madd per channel weighs the neighbours, madds on
// (luma, chroma) pairs do the colour matrix, with the same integer arithmetic as yuy2Row, and
// the packs clamp to 0..255.
__attribute__((target("avx2"))) inline __m256i bgrxOf(__m256i y, __m256i u, __m256i v, __m256i lumaWeights,
                                                      __m256i chromaWeights, const YuvMatrix& m)
{
    // B, G, R, X planes of four pixels per lane to BGRx pixels.
    const __m256i interleave = _mm256_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15, 0, 4, 8, 12, 1,
                                                5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
    // The offsets of luma (16) and chroma (128) and the rounding half, one constant per channel.
    const __m256i redBase = _mm256_set1_epi32(8192 - 16 * m.y - 128 * m.rv);
    const __m256i greenBase = _mm256_set1_epi32(8192 - 16 * m.y + 128 * (m.gu + m.gv));
    const __m256i blueBase = _mm256_set1_epi32(8192 - 16 * m.y - 128 * m.bu);
    const __m256i yy = weigh(y, lumaWeights);
    const __m256i yu = _mm256_or_si256(yy, _mm256_slli_epi32(weigh(u, chromaWeights), 16));
    const __m256i yv = _mm256_or_si256(yy, _mm256_slli_epi32(weigh(v, chromaWeights), 16));
    const __m256i r = _mm256_add_epi32(_mm256_madd_epi16(yv, coefficients(m.y, m.rv)), redBase);
    const __m256i g = _mm256_add_epi32(
        _mm256_add_epi32(_mm256_madd_epi16(yu, coefficients(m.y, -m.gu)), _mm256_madd_epi16(yv, coefficients(0, -m.gv))),
        greenBase);
    const __m256i b = _mm256_add_epi32(_mm256_add_epi32(_mm256_madd_epi16(yu, coefficients(m.y, m.bu - m.bu / 2)),
                                                        _mm256_madd_epi16(yu, coefficients(0, m.bu / 2))),
                                       blueBase);
    const __m256i bg = _mm256_packs_epi32(_mm256_srai_epi32(b, 14), _mm256_srai_epi32(g, 14));
    const __m256i rx = _mm256_packs_epi32(_mm256_srai_epi32(r, 14), _mm256_set1_epi32(255));
    return _mm256_shuffle_epi8(_mm256_packus_epi16(bg, rx), interleave);
}

// The source bytes of 8 output columns at a time by byte shuffles instead of gathers, which
// are slow on many CPUs: each four columns' neighbours lie in the 32 source bytes from
// their start, picked by six shuffles (luma, U, V from the first and from the second 16).
constexpr int kWindowColumns = 8;
constexpr int kWindowPicks = 6 * 32;

// Where a column's two neighbours in one channel lie in its row, and for a multiply-add of
// bytes their 7-bit weights (the first's in the low byte).
struct BytePair {
    int first, second;
    int weights = 0;
};
using ColumnBytes = std::array<BytePair, 3>;   // luma, U, V

// The windows of a row of `rowBytes` for `columns` output columns, `perWindow` (4 or 8) to a
// window, each column's bytes picked into 16 / `perWindow` bytes of its lane, the second
// neighbour's half of them after the first's; false (and nothing) when some window's columns
// span more than 32 bytes.
bool windowsOf(size_t columns, int perWindow, int rowBytes, const std::function<ColumnBytes(size_t)>& bytesOf,
               std::vector<int32_t>& starts, std::vector<int8_t>& picks)
{
    const auto none = [&] {
        starts.clear();
        picks.clear();
        return false;
    };
    if (rowBytes < 32)
        return none();
    const size_t groups = columns / size_t(2 * perWindow);
    const int columnBytes = 16 / perWindow;
    starts.assign(2 * groups, 0);
    picks.assign(groups * kWindowPicks, -1);
    for (size_t half = 0; half < 2 * groups; ++half) {
        const size_t column = size_t(perWindow) * half;
        const ColumnBytes first = bytesOf(column);
        const int start = std::min({first[0].first, first[1].first, first[2].first, rowBytes - 32});
        starts[half] = start;
        int8_t* const pick = picks.data() + (half / 2) * kWindowPicks + (half % 2) * 16;
        for (int k = 0; k < perWindow; ++k) {
            const ColumnBytes bytes = bytesOf(column + size_t(k));
            for (int channel = 0; channel < 3; ++channel) {
                for (int which = 0; which < 2; ++which) {
                    const int source = (which == 0 ? bytes[size_t(channel)].first : bytes[size_t(channel)].second) - start;
                    if (source < 0 || source >= 32)
                        return none();
                    const int at = k * columnBytes + which * columnBytes / 2;
                    pick[channel * 64 + (source < 16 ? 0 : 32) + at] = static_cast<int8_t>(source % 16);
                }
            }
        }
    }
    return true;
}

__attribute__((target("avx2"))) inline __m256i twoLanes(const uint8_t* first, const uint8_t* second)
{
    return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(first))),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(second)), 1);
}

// The 32-byte windows of a vector's two halves, from `starts`: their first 16 bytes a lane each
// in `low`, the next 16 in `high`.
struct Windows {
    __m256i low, high;
};

// 16 bytes from `from` on in each of the two windows at `starts`, of the rows mixed.
template <RowMix mix>
__attribute__((target("avx2"))) inline __m256i mixedLanes(const SourceRows& rows, __m256i scale, const int32_t* starts, int from)
{
    const __m256i first = twoLanes(rows.first + starts[0] + from, rows.first + starts[1] + from);
    if constexpr (mix == RowMix::One)
        return first;
    return mixed<mix>(first, twoLanes(rows.second + starts[0] + from, rows.second + starts[1] + from), scale);
}

template <RowMix mix>
__attribute__((target("avx2"))) inline Windows windowsAt(const SourceRows& rows, __m256i scale, const int32_t* starts)
{
    return {mixedLanes<mix>(rows, scale, starts, 0), mixedLanes<mix>(rows, scale, starts, 16)};
}

__attribute__((target("avx2"))) inline __m256i picked(const Windows& windows, const int8_t* picks)
{
    return _mm256_or_si256(
        _mm256_shuffle_epi8(windows.low, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(picks))),
        _mm256_shuffle_epi8(windows.high, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(picks + 32))));
}

// Where the row is made too much smaller for the windows, each pixel's six bytes (both
// neighbours of luma, U and V) lie in the 16 from a start of its own: the chroma pair of its
// first luma sample is at most two bytes before it, and at the row's end four.
constexpr int kPickColumns = 8;
constexpr int kPickBytes = 16;

// A pixel's bytes from its start as a shuffle makes them its words (luma, U, V), each the two
// neighbours as 16-bit halves, the first in the low one. False when they do not lie in 16 bytes.
bool pixelPicks(int luma, int chroma, int start, int8_t* pick)
{
    const int bytes[] = {luma, luma + 2, chroma + 1, chroma + 5, chroma + 3, chroma + 7};
    std::fill(pick, pick + kPickBytes, int8_t{-1});
    for (int k = 0; k < 6; ++k) {
        if (bytes[k] < start || bytes[k] >= start + kPickBytes)
            return false;
        pick[2 * k] = static_cast<int8_t>(bytes[k] - start);
    }
    return true;
}

// The luma, U and V words of eight pixels, each 128-bit lane four: the bytes of each pixel and
// of the one four on in a vector, shuffled into their words, and the words of four pixels
// transposed so that each channel's lie side by side.
struct PixelWords {
    __m256i luma, u, v;
};

template <RowMix mix>
__attribute__((target("avx2"))) inline PixelWords pickedWords(const uint8_t* line, const uint8_t* other, __m256i scale,
                                                              const int32_t* starts, const int8_t* picks)
{
    __m256i words[4];   // luma, U, V, nothing of pixels k and k + 4
    for (int k = 0; k < 4; ++k) {
        const __m256i bytes = mixed<mix>(twoLanes(line + starts[k], line + starts[k + 4]),
                                         twoLanes(other + starts[k], other + starts[k + 4]), scale);
        words[k] = _mm256_shuffle_epi8(bytes, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(picks + 2 * kPickBytes * k)));
    }
    const __m256i lumaU01 = _mm256_unpacklo_epi32(words[0], words[1]);
    const __m256i lumaU23 = _mm256_unpacklo_epi32(words[2], words[3]);
    const __m256i v01 = _mm256_unpackhi_epi32(words[0], words[1]);
    const __m256i v23 = _mm256_unpackhi_epi32(words[2], words[3]);
    return {_mm256_unpacklo_epi64(lumaU01, lumaU23), _mm256_unpackhi_epi64(lumaU01, lumaU23), _mm256_unpacklo_epi64(v01, v23)};
}

// Words of bytes mixed as `mixed` mixes bytes by any weight.
__attribute__((target("avx2"))) inline __m256i mixedWords(__m256i a, __m256i b, __m256i scale)
{
    return _mm256_add_epi16(a, _mm256_mulhrs_epi16(_mm256_sub_epi16(b, a), scale));
}

// Eight pixels of a scaled row at a time from the picks. Rows mixed by any weight are mixed in
// the words, once the bytes are picked, with the same rounding multiply as on bytes; the other
// mixes are cheaper on the loaded bytes. Returns the pixels done.
template <RowMix mix>
__attribute__((target("avx2"))) int yuy2RowPicksAvx2(const SourceRows rows, const int32_t* starts, const int8_t* picks,
                                                     const int32_t* lumaWeight, const int32_t* chromaWeight,
                                                     const YuvMatrix m, uint32_t* out, int n)
{
    const __m256i scale = mixScale(rows);
    int i = 0;
    for (; i + kPickColumns <= n; i += kPickColumns, starts += kPickColumns, picks += kPickColumns * kPickBytes) {
        PixelWords words;
        if constexpr (mix == RowMix::Weighed) {
            const PixelWords first = pickedWords<RowMix::One>(rows.first, rows.first, scale, starts, picks);
            const PixelWords second = pickedWords<RowMix::One>(rows.second, rows.second, scale, starts, picks);
            words = {mixedWords(first.luma, second.luma, scale), mixedWords(first.u, second.u, scale),
                     mixedWords(first.v, second.v, scale)};
        } else {
            words = pickedWords<mix>(rows.first, rows.second, scale, starts, picks);
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                            bgrxOf(words.luma, words.u, words.v, load(lumaWeight + i), load(chromaWeight + i), m));
    }
    return i;
}

// Eight pixels of a scaled row at a time from windows as windowsOf makes them. Returns the pixels
// done. The matrix comes by value: a copy no store to `out` can alias, so its
// coefficients stay in registers.
template <RowMix mix>
__attribute__((target("avx2"))) int yuy2RowWindowsAvx2(const SourceRows rows, const int32_t* starts, const int8_t* picks,
                                                       const int32_t* lumaWeight, const int32_t* chromaWeight,
                                                       const YuvMatrix m, uint32_t* out, int n)
{
    const __m256i scale = mixScale(rows);
    int i = 0;
    for (; i + kWindowColumns <= n; i += kWindowColumns, starts += 2, picks += kWindowPicks) {
        const Windows windows = windowsAt<mix>(rows, scale, starts);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                            bgrxOf(picked(windows, picks), picked(windows, picks + 64), picked(windows, picks + 128),
                                   load(lumaWeight + i), load(chromaWeight + i), m));
    }
    return i;
}

// Sixteen pixels of a scaled row at a time, each 128-bit lane eight of them out of the 32
// source bytes from its window's start: one shuffle per channel puts both neighbours of each
// pixel side by side in a 16-bit lane, one multiply-add of 7-bit weights weighs them, and the
// colour matrix runs on 16-bit lanes in 1/32 levels. A weight of 128 does not fit a signed
// byte: the neighbour it falls on is then taken twice, at 64 each.
constexpr int kPairColumns = 16;

// The bytes of a channel's two neighbours, `step` apart, the second weighing `weight256`.
BytePair bytePair(int first, int step, int weight256)
{
    const int weight = (weight256 + 1) / 2;
    if (weight == 0 || weight == 128) {
        const int at = weight == 0 ? first : first + step;
        return {at, at, 64 | 64 << 8};
    }
    return {first, first + step, (128 - weight) | weight << 8};
}

// A coefficient of 1/16384 in every 16-bit lane as one of 1/8192.
__attribute__((target("avx2"))) inline __m256i halved(int coefficient)
{
    return _mm256_set1_epi16(static_cast<short>((coefficient + 1) / 2));
}

// Returns the pixels done. The matrix's coefficients are halved to Q13, as the weighed
// samples come 128 times their value.
template <RowMix mix>
__attribute__((target("avx2"))) int yuy2RowPairsAvx2(const SourceRows rows, const int32_t* starts, const int8_t* picks,
                                                     const int16_t* lumaPairs, const int16_t* chromaPairs,
                                                     const YuvMatrix m, uint32_t* out, int n)
{
    const __m256i scale = mixScale(rows);
    const int lumaScale = (m.y + 1) / 2;
    const __m256i luma = halved(m.y), rv = halved(m.rv), gu = halved(m.gu), gv = halved(m.gv), bu = halved(m.bu);
    // Less the luma offset of 16 and plus the rounding half, in 1/32 levels.
    const __m256i lumaBase = _mm256_set1_epi16(static_cast<short>(16 - (2048 * lumaScale + 16384) / 32768));
    const __m256i chromaZero = _mm256_set1_epi16(128 << 7);
    const __m256i opaque = _mm256_set1_epi16(255);
    int i = 0;
    for (; i + kPairColumns <= n; i += kPairColumns, starts += 2, picks += kWindowPicks) {
        const Windows windows = windowsAt<mix>(rows, scale, starts);
        const __m256i lumaWeights = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lumaPairs + i));
        const __m256i chromaWeights = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(chromaPairs + i));
        const __m256i y = _mm256_add_epi16(
            _mm256_mulhrs_epi16(_mm256_maddubs_epi16(picked(windows, picks), lumaWeights), luma), lumaBase);
        const __m256i cb = _mm256_sub_epi16(_mm256_maddubs_epi16(picked(windows, picks + 64), chromaWeights), chromaZero);
        const __m256i cr = _mm256_sub_epi16(_mm256_maddubs_epi16(picked(windows, picks + 128), chromaWeights), chromaZero);
        const __m256i r = _mm256_srai_epi16(_mm256_add_epi16(y, _mm256_mulhrs_epi16(cr, rv)), 5);
        const __m256i g = _mm256_srai_epi16(
            _mm256_sub_epi16(_mm256_sub_epi16(y, _mm256_mulhrs_epi16(cb, gu)), _mm256_mulhrs_epi16(cr, gv)), 5);
        const __m256i b = _mm256_srai_epi16(_mm256_add_epi16(y, _mm256_mulhrs_epi16(cb, bu)), 5);
        // B|R and G|X bytes per lane, interleaved to BGRX and stored a lane (four pixels) at a
        // time: cheaper than putting the lanes' halves in order across lanes first.
        const __m256i br = _mm256_packus_epi16(b, r);
        const __m256i gx = _mm256_packus_epi16(g, opaque);
        const __m256i bg = _mm256_unpacklo_epi8(br, gx);
        const __m256i rx = _mm256_unpackhi_epi8(br, gx);
        const __m256i front = _mm256_unpacklo_epi16(bg, rx);
        const __m256i back = _mm256_unpackhi_epi16(bg, rx);
        auto* const to = reinterpret_cast<__m128i*>(out + i);
        _mm_storeu_si128(to, _mm256_castsi256_si128(front));
        _mm_storeu_si128(to + 1, _mm256_castsi256_si128(back));
        _mm_storeu_si128(to + 2, _mm256_extracti128_si256(front, 1));
        _mm_storeu_si128(to + 3, _mm256_extracti128_si256(back, 1));
    }
    return i;
}

} // namespace

std::optional<YuvMatrix> matrixOf(const GstVideoInfo& info)
{
    if (info.colorimetry.range == GST_VIDEO_COLOR_RANGE_0_255)
        return std::nullopt;
    switch (info.colorimetry.matrix) {
    case GST_VIDEO_COLOR_MATRIX_BT601:
        return YuvMatrix{19077, 26149, 6419, 13320, 33050};
    case GST_VIDEO_COLOR_MATRIX_BT709:
        return YuvMatrix{19077, 29372, 3494, 8731, 34610};
    default:
        return std::nullopt;
    }
}

namespace {

// One YUY2 row at its own size to BGRx: each pair's chroma for its first pixel, the mean of its
// and the next pair's for the second (the last pair has none after it).
VIDEO_LOOP void yuy2RowAsIs(const uint8_t* __restrict line, const YuvMatrix m, uint32_t* __restrict out, int pairs)
{
    for (int i = 0; i + 1 < pairs; ++i) {
        const uint8_t* pair = line + 4 * i;
        const int cb = pair[1] - 128;
        const int cr = pair[3] - 128;
        out[2 * i] = bgrx(pair[0], cb, cr, m);
        out[2 * i + 1] = bgrx(pair[2], (pair[1] + pair[5] + 1) / 2 - 128, (pair[3] + pair[7] + 1) / 2 - 128, m);
    }
    const uint8_t* last = line + 4 * (pairs - 1);
    out[2 * pairs - 2] = bgrx(last[0], last[1] - 128, last[3] - 128, m);
    out[2 * pairs - 1] = bgrx(last[2], last[1] - 128, last[3] - 128, m);
}

} // namespace

void yuy2RowToBgr(const uint8_t* line, const YuvMatrix& m, uint8_t* out, int pairs)
{
    const int done = hasAvx2() ? yuy2ToBgrAvx2(line, m, out, pairs) : 0;
    yuy2PairsToBgr(line, m, out, done, pairs);
}

void Yuy2Scaler::scale(const GstVideoFrame& frame, const YuvMatrix& matrix, QImage& image, bool shareRows)
{
    const int inWidth = GST_VIDEO_FRAME_WIDTH(&frame);
    const int inHeight = GST_VIDEO_FRAME_HEIGHT(&frame);
    const int width = image.width();
    const int height = image.height();
    const auto* bits = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
    const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
    uint8_t* const target = image.bits();
    const qsizetype targetStride = image.bytesPerLine();
    const auto targetRow = [&](int row) { return reinterpret_cast<uint32_t*>(target + row * targetStride); };
    if (width == inWidth && height == inHeight && inWidth % 2 == 0) {
        const auto convertRows = [&](int first, int end) {
            for (int row = first; row < end; ++row)
                yuy2RowAsIs(bits + ptrdiff_t(row) * stride, matrix, targetRow(row), inWidth / 2);
        };
        if (shareRows)
            inSharedRowBands(height, targetStride, convertRows);
        else
            convertRows(0, height);
        return;
    }
    const int rowBytes = inWidth * 2;
    if (QSize(inWidth, inHeight) != in_ || QSize(width, height) != out_) {
        in_ = QSize(inWidth, inHeight);
        out_ = QSize(width, height);
        const double inPerOut = double(inWidth) / width;
        std::vector<Tap> luma;
        std::vector<Tap> chroma;
        linearTaps(inWidth, width, inPerOut, 0.0, luma);
        // One chroma pair per two pixels, sited with the first of them.
        linearTaps(inWidth / 2, width, inPerOut / 2, 0.25, chroma);
        lumaOffset_.resize(size_t(width));
        lumaWeight_.resize(size_t(width));
        chromaOffset_.resize(size_t(width));
        chromaWeight_.resize(size_t(width));
        for (size_t x = 0; x < size_t(width); ++x) {
            lumaOffset_[x] = 2 * luma[x].first;
            lumaWeight_[x] = weightPair(luma[x].weight);
            chromaOffset_[x] = 4 * chroma[x].first;
            chromaWeight_[x] = weightPair(chroma[x].weight);
        }
        linearTaps(inHeight, height, double(inHeight) / height, 0.0, rowTaps_);
        const auto pairsOf = [&](size_t x) {
            return ColumnBytes{bytePair(lumaOffset_[x], 2, lumaWeight_[x] >> 16),
                               bytePair(chromaOffset_[x] + 1, 4, chromaWeight_[x] >> 16),
                               bytePair(chromaOffset_[x] + 3, 4, chromaWeight_[x] >> 16)};
        };
        if (windowsOf(size_t(width), 8, rowBytes, pairsOf, pairStart_, pairPick_) && !pairStart_.empty()) {
            lumaPair_.resize(pairStart_.size() * 8);
            chromaPair_.resize(lumaPair_.size());
            for (size_t x = 0; x < lumaPair_.size(); ++x) {
                const ColumnBytes pairs = pairsOf(x);
                lumaPair_[x] = static_cast<int16_t>(pairs[0].weights);
                chromaPair_[x] = static_cast<int16_t>(pairs[1].weights);
            }
            windowStart_.clear();
            windowPick_.clear();
        } else {
            windowsOf(size_t(width), 4, rowBytes, [&](size_t x) {
                const int l = lumaOffset_[x];
                const int c = chromaOffset_[x];
                return ColumnBytes{BytePair{l, l + 2}, BytePair{c + 1, c + 5}, BytePair{c + 3, c + 7}};
            }, windowStart_, windowPick_);
        }
        pickStart_.clear();
        pickBytes_.clear();
        if (pairStart_.empty() && windowStart_.empty() && rowBytes >= kPickBytes) {
            // Per eight columns, the starts in order and the shuffles of columns k and k + 4 side by side.
            const size_t columns = size_t(width) / kPickColumns * kPickColumns;
            pickStart_.resize(columns);
            pickBytes_.resize(columns * kPickBytes);
            for (size_t x = 0; x < columns; ++x) {
                const int start = std::min({lumaOffset_[x], chromaOffset_[x], rowBytes - kPickBytes});
                const size_t k = x % kPickColumns;
                int8_t* const pick = pickBytes_.data() + (x - k) * kPickBytes + (k % 4) * 2 * kPickBytes + (k / 4) * kPickBytes;
                pickStart_[x] = start;
                if (!pixelPicks(lumaOffset_[x], chromaOffset_[x], start, pick)) {
                    pickStart_.clear();
                    pickBytes_.clear();
                    break;
                }
            }
        }
    }
    blended_.resize(size_t(rowBytes));
    for (int row = 0; row < height; ++row) {
        SourceRows rows = SourceRows::of(rowTaps_[size_t(row)], bits + ptrdiff_t(rowTaps_[size_t(row)].first) * stride, stride);
        int done = 0;
        if (hasAvx2()) {
            // Four columns' windows reach well past the bytes the columns read: by any weight,
            // mixing the windows would cost more than mixing the row, which is then mixed first.
            if (pairStart_.empty() && !windowStart_.empty() && rows.mix() == RowMix::Weighed) {
                blendRows(rows.first, rows.second, rows.weight, blended_.data(), mixRowsAvx2(rows, blended_.data(), rowBytes), rowBytes);
                rows = {blended_.data(), blended_.data(), 0};
            }
            done = withMix(rows.mix(), [&](auto mix) {
                if (!pairStart_.empty())
                    return yuy2RowPairsAvx2<mix()>(rows, pairStart_.data(), pairPick_.data(), lumaPair_.data(),
                                                   chromaPair_.data(), matrix, targetRow(row), width);
                if (!windowStart_.empty())
                    return yuy2RowWindowsAvx2<mix()>(rows, windowStart_.data(), windowPick_.data(), lumaWeight_.data(),
                                                     chromaWeight_.data(), matrix, targetRow(row), width);
                if (!pickStart_.empty())
                    return yuy2RowPicksAvx2<mix()>(rows, pickStart_.data(), pickBytes_.data(), lumaWeight_.data(),
                                                   chromaWeight_.data(), matrix, targetRow(row), width);
                return 0;
            });
            if (done == width)
                continue;
        }
        // The pixels left, one by one, from the rows mixed into one from the first byte they read on.
        const uint8_t* line = rows.first;
        if (rows.weight != 0) {
            const int from = std::min(lumaOffset_[size_t(done)], chromaOffset_[size_t(done)]);
            blendRows(rows.first, rows.second, rows.weight, blended_.data(), from, rowBytes);
            line = blended_.data();
        }
        yuy2Row(line, lumaOffset_.data(), lumaWeight_.data(), chromaOffset_.data(), chromaWeight_.data(), matrix,
                targetRow(row), done, width);
    }
}

} // namespace didev
