#pragma once

#include <cstdint>

namespace didev {

// Nearest whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4, -0.5 -> 0).
double roundHalfEven(double value) noexcept;

// A Long (32-bit) from a number, halves to even; error 6 (overflow) outside the range or for NaN.
int32_t roundToLong(double value);

// An Integer (16-bit) from a number, halves to even; error 6 (overflow) outside the range or for NaN.
int16_t roundToInteger(double value);

} // namespace didev
