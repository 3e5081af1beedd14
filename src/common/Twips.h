#pragma once

#include <array>
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

// A rectangle in twips, with the field names of the windows' properties. Every array the host
// hands over or reads back lists a window's as Top, Left, Width, Height.
template <typename Number>
struct TwipsRect {
    Number Left = 0;
    Number Top = 0;
    Number Width = 0;
    Number Height = 0;

    bool operator==(const TwipsRect&) const = default;
    std::array<Number, 4> inHostOrder() const { return {Top, Left, Width, Height}; }
};

} // namespace didev
