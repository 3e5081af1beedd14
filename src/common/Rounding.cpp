#include "common/Rounding.h"

#include "common/AutomationError.h"

#include <cmath>
#include <limits>

namespace didev {

double roundHalfEven(double value) noexcept
{
    // The default floating-point environment rounds to nearest, ties to even.
    return std::nearbyint(value);
}

namespace {

template <typename Int>
Int roundChecked(double value)
{
    const double rounded = roundHalfEven(value);
    if (!(rounded >= static_cast<double>(std::numeric_limits<Int>::min())
            && rounded <= static_cast<double>(std::numeric_limits<Int>::max())))
        raiseError(ErrorNumber::Overflow);
    return static_cast<Int>(rounded);
}

} // namespace

int32_t roundToLong(double value)
{
    return roundChecked<int32_t>(value);
}

int16_t roundToInteger(double value)
{
    return roundChecked<int16_t>(value);
}

} // namespace didev
