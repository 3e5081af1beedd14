// libFuzzer target over the number reader and the single-precision text form.
// The input is a host text; its first four bytes are also taken as the bits of a Single.

#include "automation/NumberText.h"
#include "common/AutomationError.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

[[noreturn]] void fail(const char* what, std::string_view text)
{
    std::fprintf(stderr, "invariant broken: %s for \"%.*s\"\n", what, static_cast<int>(text.size()), text.data());
    std::abort();
}

// A Long or error 6, and the Long is the nearest whole number to the value read.
void checkLong(std::string_view text, double value)
{
    try {
        const int32_t rounded = didev::readLong(text);
        if (std::abs(rounded - value) > 0.5)
            fail("readLong is not the nearest whole number", text);
    } catch (const didev::AutomationError& error) {
        if (error.number() != 6)
            fail("readLong raised an error other than overflow", text);
        if (std::abs(value) < 2147483647.0)
            fail("readLong overflowed inside the Long range", text);
    }
}

// The text form reads back to the value within single precision, and stays short and blank-free.
void checkSingleText(float value)
{
    const std::string text = didev::singleText(value);
    if (text.empty() || text.size() > 13 || text.find_first_of(" \t\n") != std::string::npos)
        fail("malformed single text", text);
    const double back = didev::leadingNumber(text);
    if (!std::isfinite(value)) {
        if (back != 0)
            fail("non-finite single does not read back as 0", text);
        return;
    }
    if (std::abs(back - value) > std::abs(static_cast<double>(value)) * 5e-7)
        fail("single text does not read back within single precision", text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const double value = didev::leadingNumber(text);
    if (std::isnan(value))
        fail("the reader gave NaN", text);
    checkLong(text, value);
    checkSingleText(static_cast<float>(value));
    if (size >= sizeof(float)) {
        float bits = 0;
        std::memcpy(&bits, data, sizeof bits);
        checkSingleText(bits);
    }
    return 0;
}
