#include "common/AutomationError.h"
#include "snapshots/ModuleState.h"
#include "support/AutomationErrors.h"

#include <gtest/gtest.h>

using namespace didev;
using didev::testing::errorNumberOf;

namespace {

SnapshotStore storeOf(std::initializer_list<HostBoolean> savedByLogger)
{
    SnapshotStore store;
    int16_t id = 0;
    for (HostBoolean saved : savedByLogger)
        store.append({Picture::create(2, 2, nullptr), ++id, 0.0, QString(), saved});
    return store;
}

std::vector<int> idsOf(const SnapshotStore& store)
{
    std::vector<int> ids;
    for (int i = 1; i <= store.upperBound(); ++i)
        ids.push_back(store.at(i).frameID);
    return ids;
}

} // namespace

TEST(SnapshotStore, FramesAreOneBasedAndRemovalsKeepTheOthersInOrder)
{
    SnapshotStore store = storeOf({kHostFalse, kHostTrue, kHostFalse, HostBoolean{1}, kHostTrue});
    EXPECT_EQ(store.at(0).picture, nullptr) << "element 0 is never a frame";
    EXPECT_EQ(errorNumberOf([&] { store.removeAt(0); }), 9);
    EXPECT_EQ(errorNumberOf([&] { store.removeAt(6); }), 9);

    store.removeAt(3);
    EXPECT_EQ(idsOf(store), (std::vector<int>{1, 2, 4, 5}));
    // Only exactly true counts as saved.
    EXPECT_EQ(store.removeSavedByLogger(), 2);
    EXPECT_EQ(idsOf(store), (std::vector<int>{1, 4}));
    store.clear();
    EXPECT_TRUE(store.empty());
    EXPECT_EQ(store.removeSavedByLogger(), 0);
}

TEST(ClearSnapshotStore, ReleasesEveryPictureAndRestartsNumbering)
{
    ModuleState& state = moduleState();
    state.snapshotStore = storeOf({kHostFalse, kHostFalse});
    const PictureHandle handle = state.snapshotStore.at(2).picture->handle();
    state.frameCounter = 2;

    ClearSnapshotStore();

    EXPECT_EQ(state.snapshotStore.upperBound(), 0);
    EXPECT_EQ(state.frameCounter, 0);
    EXPECT_EQ(Picture::fromHandle(handle), nullptr);
}
