#include "snapshots/SnapshotStore.h"

#include "common/AutomationError.h"

namespace didev {

SnapshotStore::SnapshotStore()
    : records_(1)
{
}

SnapshotRecord& SnapshotStore::at(int index)
{
    if (index < 0 || index > upperBound())
        raiseError(ErrorNumber::SubscriptOutOfRange);
    return records_[static_cast<size_t>(index)];
}

const SnapshotRecord& SnapshotStore::at(int index) const
{
    return const_cast<SnapshotStore*>(this)->at(index);
}

void SnapshotStore::resizePreserve(int newUpperBound)
{
    if (newUpperBound < 0)
        raiseError(ErrorNumber::SubscriptOutOfRange);
    records_.resize(static_cast<size_t>(newUpperBound) + 1);
}

void SnapshotStore::reset()
{
    records_.clear();
    records_.resize(1);
}

} // namespace didev
