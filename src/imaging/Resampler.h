#pragma once

#include <cstddef>
#include <cstdint>

namespace didev {

// 24-bit pixel rows in memory order: 3 bytes per pixel, `stride` bytes from one row to the next.
struct Bgr24Rows {
    uint8_t* bits = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;
};

// Bilinear resampling of `source` into all of `target`, in memory row order. Scales are
// (size - 1) / new size held as 32-bit floats, positions scale x index as 32-bit floats, the
// weighted sums formed in double precision from float operands and rounded halves to even,
// first between the two rows, then between the two columns. Padding bytes of the target are
// not touched. A source less than 2 x 2 pixels raises error 9, as the second row or pixel
// it would need lies outside it.
void resampleBilinear(const Bgr24Rows& source, const Bgr24Rows& target);
// The same without vector instructions (what machines without AVX2 run).
void resampleBilinearPortable(const Bgr24Rows& source, const Bgr24Rows& target);

} // namespace didev
