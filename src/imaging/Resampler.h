#pragma once

#include "imaging/Bitmap24.h"
#include "imaging/PixelView.h"

namespace didev {

// The picture bilinearly resampled to width x height, in the memory row order of its 24-bit
// bitmap; the same size gives an exact copy, a size of 0 or less an empty bitmap. Scales are
// (size - 1) / new size held as 32-bit floats, positions scale x index as 32-bit floats, the
// weighted sums formed in double precision from float operands and rounded halves to even,
// first between the two rows, then between the two columns. A source less than 2 x 2 pixels
// raises error 9, as the second row or pixel it would need lies outside it.
Bitmap24 resampled(ConstPixelView source, int width, int height);

// The resampling itself between two 24-bit views, in memory row order; padding bytes of the
// target are not touched.
void resampleBilinear(ConstPixelView source, const PixelView& target);
// The same without vector instructions (what machines without AVX2 run).
void resampleBilinearPortable(ConstPixelView source, const PixelView& target);

} // namespace didev
