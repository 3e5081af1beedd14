#include "automation/EventSinkList.h"

#include <gtest/gtest.h>

using namespace didev;

// The limit of 64 is the service's (ReliabilityTest); here the cookies and the order.
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

    // A connection that leaves takes all its sinks along.
    list.advise(":1.5", "/c");
    list.unadviseService(":1.5");
    ASSERT_EQ(list.sinks().size(), 1u);
    EXPECT_EQ(list.sinks()[0].service, ":1.6");
}
