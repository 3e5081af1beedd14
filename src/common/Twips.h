#pragma once

#include <cstdint>

namespace didev {

inline constexpr int kTwipsPerInch = 1440;

// Twips per pixel for a screen of the given logical resolution (15 at 96 DPI).
constexpr double twipsPerPixel(double logicalDpi) noexcept
{
    return kTwipsPerInch / logicalDpi;
}

// Pixels to twips and back, rounded to whole units with halves to even.
int32_t pixelsToTwips(double pixels, double twipsPerPixel);
int32_t twipsToPixels(double twips, double twipsPerPixel);

} // namespace didev
