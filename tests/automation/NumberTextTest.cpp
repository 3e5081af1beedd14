#include "automation/NumberText.h"
#include "support/AutomationErrors.h"
#include "common/AutomationError.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

using namespace didev;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

} // namespace

TEST(LeadingNumber, ReadsTheNumberTheHostReads)
{
    const struct { std::string text; double expected; } cases[] = {
        {"1 500", 1500}, {" \t\n+7", 7}, {"  -12.5x", -12.5}, {"1,000", 1}, {"1.2.3", 1.2}, {"1D3", 1000},
        {"1 e 3", 1000}, {"1e+", 1}, {"-.5", -0.5}, {"", 0}, {"+-1", 0}, {"0x10", 0}, {"& H 1 0", 16},
        {"&HFFFF", -1}, {"&H8000", -32768}, {"&H10000", 65536}, {"&HFFFFFFFF", -1}, {"&O18", 1}, {"-&H10", 0},
        {"1e400", kInf}, {"1e-400", 0},
        {"9007199254740993", 9007199254740992.0},   // ties go to even
        // Digits past the ones kept must still break an exact tie.
        {"9007199254740993." + std::string(800, '0') + "1", 9007199254740994.0},
        {"0." + std::string(500, '0') + "1e501", 1}, {"1" + std::string(1000, '0'), kInf},
        {"&H" + std::string(300, 'F'), kInf},
    };
    for (const auto& c : cases)
        EXPECT_EQ(leadingNumber(c.text), c.expected) << '"' << c.text.substr(0, 40) << '"';
}

TEST(SingleText, SevenSignificantDigitsAndTheExponentFormOutside)
{
    const struct { float value; const char* expected; } cases[] = {
        {-3.5f, "-3.5"}, {1.0f / 3.0f, "0.3333333"}, {9999999.0f, "9999999"}, {10000000.0f, "1E+07"},
        {16777217.0f, "1.677722E+07"}, {0.0001f, "0.0001"}, {0.00001f, "1E-05"}, {-0.0f, "0"},
        {std::numeric_limits<float>::quiet_NaN(), "NaN"}, {-std::numeric_limits<float>::infinity(), "-Infinity"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(singleText(c.value), c.expected) << c.value;
}
