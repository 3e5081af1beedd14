#include "automation/EventSinkList.h"

#include <gtest/gtest.h>

using namespace didev;

TEST(EventSinkList, CookiesAreNonZeroUniqueAndAStaleOneRemovesNothing)
{
    EventSinkList list;
    const uint32_t first = list.advise(":1.5", "/a").value();
    const uint32_t second = list.advise(":1.5", "/b").value();
    EXPECT_NE(first, 0u);
    EXPECT_NE(first, second);
    EXPECT_TRUE(list.unadvise(first));
    EXPECT_FALSE(list.unadvise(first));
    const uint32_t third = list.advise(":1.6", "/a").value();
    EXPECT_NE(third, first);   // a cookie is never handed out twice
    EXPECT_FALSE(list.unadvise(0));
    ASSERT_EQ(list.sinks().size(), 2u);
    EXPECT_EQ(list.sinks()[0].path, "/b");   // advise order kept
    EXPECT_EQ(list.sinks()[1].service, ":1.6");
}

TEST(EventSinkList, TakesAtMost64AndDropsAConnectionsSinksTogether)
{
    EventSinkList list;
    for (size_t n = 0; n < EventSinkList::kMaxSinks; ++n)
        ASSERT_TRUE(list.advise(n % 2 ? ":1.7" : ":1.8", "/s").has_value()) << n;
    EXPECT_FALSE(list.advise(":1.9", "/s").has_value());
    list.unadviseService(":1.7");
    EXPECT_EQ(list.sinks().size(), EventSinkList::kMaxSinks / 2);
    EXPECT_TRUE(list.advise(":1.9", "/s").has_value());
}
