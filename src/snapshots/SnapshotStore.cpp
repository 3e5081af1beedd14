#include "snapshots/SnapshotStore.h"

#include "common/AutomationError.h"

#include <algorithm>

namespace didev {

SnapshotRecord& SnapshotStore::at(int index)
{
    if (index < 1 || index > upperBound())
        raiseError(ErrorNumber::SubscriptOutOfRange);
    return records_[static_cast<size_t>(index) - 1];
}

const SnapshotRecord& SnapshotStore::at(int index) const
{
    return const_cast<SnapshotStore*>(this)->at(index);
}

void SnapshotStore::resizePreserve(int newUpperBound)
{
    if (newUpperBound < 0)
        raiseError(ErrorNumber::SubscriptOutOfRange);
    records_.resize(static_cast<size_t>(newUpperBound));
}

void SnapshotStore::append(SnapshotRecord record)
{
    records_.push_back(std::move(record));
}

void SnapshotStore::removeAt(int index)
{
    if (index < 1 || index > upperBound())
        raiseError(ErrorNumber::SubscriptOutOfRange);
    records_.erase(records_.begin() + (index - 1));
}

int SnapshotStore::removeSavedByLogger()
{
    std::erase_if(records_, [](const SnapshotRecord& record) { return record.savedByLogger; });
    return upperBound();
}

void SnapshotStore::clear()
{
    records_.clear();
}

} // namespace didev
