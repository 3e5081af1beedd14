#pragma once

#include <cstdint>

namespace didev {

// The host's 16-bit Boolean: true is -1, false 0; other values are kept as given.
using VbBoolean = int16_t;
inline constexpr VbBoolean vbTrue = -1;
inline constexpr VbBoolean vbFalse = 0;

constexpr VbBoolean toVbBoolean(bool value) noexcept
{
    return value ? vbTrue : vbFalse;
}

} // namespace didev
