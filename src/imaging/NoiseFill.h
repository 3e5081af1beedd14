#pragma once

#include "imaging/PixelView.h"

#include <cstdint>

namespace didev {

// Fills every pixel with noise, grey (blue = green = red) or blue 0 with random green and red;
// row padding is left alone. The same seed gives the same noise.
void fillNoise(PixelView pixels, bool grey, uint32_t seed);

// A seed that changes once a second: the seconds since midnight (UTC).
uint32_t secondsSinceMidnight();

} // namespace didev
