#include "common/HostStringArray.h"
#include "common/AutomationError.h"

#include "support/AutomationErrors.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

using namespace didev;
using didev::testing::errorNumberOf;

namespace {

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

} // namespace

TEST(HostStringArray, EntryKIsTheElementWithSubscriptKForAnyLowerBound)
{
    for (const int64_t lower : {0, 1, -5, 7, kMin, kMax - 2}) {
        HostStringArray array(static_cast<int32_t>(lower), QStringList{"a", "b", "c"});
        EXPECT_EQ(array.at(lower + 1), "b") << lower;
        array.set(lower + 2, "z");
        EXPECT_EQ(errorNumberOf([&] { array.at(lower - 1); }), 9) << lower;
        EXPECT_EQ(errorNumberOf([&] { array.set(lower + 3, "x"); }), 9) << lower;
        EXPECT_EQ(array.elements(), (QStringList{"a", "b", "z"}));
    }
    EXPECT_EQ(errorNumberOf([] { HostStringArray().at(0); }), 9);
    EXPECT_EQ(HostStringArray(kMin, 0).upperBound(), int64_t{kMin} - 1);
    EXPECT_EQ(errorNumberOf([] { HostStringArray(kMax, 2); }), 9);   // upper bound past the Long range
}
