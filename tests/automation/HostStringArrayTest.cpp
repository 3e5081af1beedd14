#include "automation/HostStringArray.h"
#include "common/AutomationError.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

using namespace didev;

namespace {

int32_t errorNumberOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const AutomationError& error) {
        return error.number();
    }
    return 0;
}

} // namespace

TEST(HostStringArray, EntryKIsTheElementWithSubscriptKForAnyLowerBound)
{
    constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    for (const int32_t lower : {0, 1, -5, 7, kMin, kMax - 2}) {
        HostStringArray array(lower, QStringList{"a", "b", "c"});
        EXPECT_EQ(array.upperBound(), int64_t{lower} + 2);
        EXPECT_EQ(array.at(int64_t{lower} + 1), "b") << lower;
        array.set(int64_t{lower} + 2, "z");
        EXPECT_EQ(array.elements(), (QStringList{"a", "b", "z"}));
        EXPECT_EQ(errorNumberOf([&] { array.at(int64_t{lower} - 1); }), 9) << lower;
        EXPECT_EQ(errorNumberOf([&] { array.set(int64_t{lower} + 3, "x"); }), 9) << lower;
        EXPECT_EQ(array.elements(), (QStringList{"a", "b", "z"}));   // a failed write changes nothing
    }
}

TEST(HostStringArray, EmptyArrayHasNoSubscriptAndBoundsPastTheLongRangeFail)
{
    const HostStringArray empty;
    EXPECT_EQ(empty.upperBound(), -1);
    EXPECT_EQ(errorNumberOf([&] { empty.at(0); }), 9);
    EXPECT_EQ(HostStringArray(std::numeric_limits<int32_t>::min(), 0).upperBound(),
        int64_t{std::numeric_limits<int32_t>::min()} - 1);
    EXPECT_EQ(errorNumberOf([] { HostStringArray(std::numeric_limits<int32_t>::max(), 2); }), 9);
    EXPECT_EQ(errorNumberOf([] { HostStringArray(0, -1); }), 9);
    EXPECT_EQ(HostStringArray(std::numeric_limits<int32_t>::max(), 1).at(std::numeric_limits<int32_t>::max()), "");
}
