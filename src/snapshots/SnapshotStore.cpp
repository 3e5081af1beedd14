#include "snapshots/SnapshotStore.h"

#include "common/AutomationError.h"

#include <algorithm>

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

void SnapshotStore::append(SnapshotRecord record)
{
    records_.push_back(std::move(record));
}

void SnapshotStore::removeAt(int index)
{
    if (index < 1 || index > upperBound())
        raiseError(ErrorNumber::SubscriptOutOfRange);
    records_.erase(records_.begin() + index);
}

int SnapshotStore::removeSavedByLogger()
{
    const auto saved = [](const SnapshotRecord& record) { return record.savedByLogger == kHostTrue; };
    records_.erase(std::remove_if(records_.begin() + 1, records_.end(), saved), records_.end());
    return upperBound();
}

void SnapshotStore::clear()
{
    records_.clear();
    records_.resize(1);
}

} // namespace didev
