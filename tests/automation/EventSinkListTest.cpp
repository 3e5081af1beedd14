#include "automation/EventSinkList.h"

#include <gtest/gtest.h>

using namespace didev;

TEST(EventSinkList, CookiesAreNonZeroUniqueAndAStaleOneRemovesNothing)
{
    EventSinkList list;
    const uint32_t first = list.advise(":1.5", "/a");
    const uint32_t second = list.advise(":1.5", "/b");
    EXPECT_NE(first, 0u);
    EXPECT_NE(first, second);
    EXPECT_TRUE(list.unadvise(first));
    EXPECT_FALSE(list.unadvise(first));
    const uint32_t third = list.advise(":1.6", "/a");
    EXPECT_NE(third, first);   // a cookie is never handed out twice
    EXPECT_FALSE(list.unadvise(0));
    ASSERT_EQ(list.sinks().size(), 2u);
    EXPECT_EQ(list.sinks()[0].path, "/b");   // advise order kept
    EXPECT_EQ(list.sinks()[1].service, ":1.6");
}
