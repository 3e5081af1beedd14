#pragma once

#include "common/AutomationError.h"

#include <cstdint>
#include <functional>

namespace didev::testing {

// The number of the automation error a call raises, or 0 when it raises none.
inline int32_t errorNumberOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const AutomationError& error) {
        return error.number();
    }
    return 0;
}

} // namespace didev::testing
