#include "common/AutomationError.h"
#include "state/ModuleState.h"

#include <gtest/gtest.h>

using namespace didev;

TEST(SnapshotStore, ElementZeroIsAlwaysThereAndNeverAFrame)
{
    SnapshotStore store;
    EXPECT_EQ(store.upperBound(), 0);
    EXPECT_TRUE(store.empty());
    EXPECT_EQ(store.at(0).picture, nullptr);
    EXPECT_THROW(store.at(1), AutomationError);
    EXPECT_THROW(store.at(-1), AutomationError);

    store.resizePreserve(2);
    store.at(2).frameID = 7;
    store.resizePreserve(3);
    EXPECT_EQ(store.at(2).frameID, 7);
    EXPECT_EQ(store.at(3).frameID, 0);
    store.resizePreserve(1);
    EXPECT_EQ(store.count(), 1);
    EXPECT_THROW(store.at(2), AutomationError);
}

TEST(ClearSnapshotStore, ReleasesEveryPictureAndRestartsNumbering)
{
    ModuleState& state = moduleState();
    state.snapshotStore.resizePreserve(2);
    state.snapshotStore.at(1).picture = Picture::create(2, 2, nullptr);
    state.snapshotStore.at(2).picture = Picture::create(2, 2, nullptr);
    const PictureHandle handle = state.snapshotStore.at(2).picture->handle();
    state.frameCounter = 2;

    ClearSnapshotStore();

    EXPECT_EQ(state.snapshotStore.upperBound(), 0);
    EXPECT_EQ(state.frameCounter, 0);
    EXPECT_EQ(Picture::fromHandle(handle), nullptr);
}
