#pragma once

// Numbers as text, the way the host writes and reads them. Pure code without Qt, so the
// fuzzer builds it alone.

#include <cstdint>
#include <string>
#include <string_view>

namespace didev {

// The leading number of a text as the host's conversion reads it. Blanks, tabs and line feeds
// are skipped wherever they stand ("1 500" is 1500); then an optional sign and decimal digits
// with an optional period and an exponent introduced by E or D (either case), or, at the very
// start, "&H" with hexadecimal or "&O" with octal digits. Reading stops at the first character
// that cannot continue the number; a text without a number gives 0.
//
// "&H"/"&O" literals are typed by their value as the host types them: up to &HFFFF (&O177777)
// a 16-bit Integer, so &HFFFF is -1; up to &HFFFFFFFF a 32-bit Long, so &HFFFFFFFF is -1 and
// &H10000 is 65536; beyond 32 bits the plain value, which no Long holds.
// Never fails: a decimal number too large for a double gives an infinity.
double leadingNumber(std::string_view text) noexcept;

// The leading number rounded to a Long with halves to even; error 6 (overflow) outside the range.
int32_t readLong(std::string_view text);

// The host's standard text form of a single-precision value, without the leading blank: 7
// significant digits with trailing zeros dropped; the exponent form (1E+07, 1.5E-07) when the
// decimal exponent of the rounded value is below -4 or above 6, otherwise plain decimals, so
// whole values up to 9999999 are plain integers. -0 is "0"; NaN and the infinities are written
// "NaN", "Infinity" and "-Infinity" (read back as 0).
std::string singleText(float value);

// A Long as decimal digits, with a leading minus sign when negative and no blank.
std::string longText(int32_t value);

} // namespace didev
