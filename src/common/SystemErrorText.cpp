#include "common/SystemErrorText.h"

#include <cstring>

namespace didev {

std::string systemErrorText(int errorNumber)
{
    char buffer[256];
    // The GNU variant returns either the buffer or a static text.
    const char* text = strerror_r(errorNumber, buffer, sizeof buffer);
    return text ? std::string(text) : std::string();
}

} // namespace didev
