#include "common/AutomationError.h"
#include "snapshots/ModuleState.h"
#include "support/AutomationErrors.h"

#include <gtest/gtest.h>

using namespace didev;
using didev::testing::errorNumberOf;

namespace {

std::vector<int> idsOf(const FrameStore& store)
{
    std::vector<int> ids;
    for (int i = 1; i <= store.upperBound(); ++i)
        ids.push_back(store.at(i).frameID);
    return ids;
}

} // namespace

TEST(FrameStore, FramesAreOneBasedAndRemovalsKeepTheOthersInOrder)
{
    FrameStore store;
    int16_t id = 0;
    for (bool saved : {false, true, false, false, true})
        store.append({Picture::create(2, 2, nullptr), ++id, 0.0, QString(), saved});
    const std::weak_ptr<const Picture> removed = store.at(3).picture;
    for (int outside : {0, 6})
        EXPECT_EQ(errorNumberOf([&] { store.removeAt(outside); }), 9) << outside;
    EXPECT_EQ(errorNumberOf([&] { store.at(0); }), 9) << "there is no frame 0";

    store.removeAt(3);
    EXPECT_TRUE(removed.expired()) << "a removed frame's picture is released";
    EXPECT_EQ(idsOf(store), (std::vector<int>{1, 2, 4, 5}));
    EXPECT_EQ(store.removeSavedByLogger(), 2);
    EXPECT_EQ(idsOf(store), (std::vector<int>{1, 4}));
    store.clear();
    EXPECT_TRUE(store.empty());
    EXPECT_EQ(store.removeSavedByLogger(), 0);
}
