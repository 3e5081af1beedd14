#pragma once

#include <cstdint>

namespace didev {

// The host's 16-bit Boolean: true is -1, false 0; other values are kept as given.
using HostBoolean = int16_t;
inline constexpr HostBoolean kHostTrue = -1;
inline constexpr HostBoolean kHostFalse = 0;

constexpr HostBoolean toHostBoolean(bool value) noexcept
{
    return value ? kHostTrue : kHostFalse;
}

} // namespace didev
