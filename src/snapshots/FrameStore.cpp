#include "snapshots/FrameStore.h"

#include "common/AutomationError.h"

#include <algorithm>

namespace didev {

SnapshotRecord& FrameStore::at(int index)
{
    if (index < 1 || index > upperBound())
        raiseError(ErrorNumber::SubscriptOutOfRange);
    return records_[static_cast<size_t>(index) - 1];
}

const SnapshotRecord& FrameStore::at(int index) const
{
    return const_cast<FrameStore*>(this)->at(index);
}

void FrameStore::resizePreserve(int newUpperBound)
{
    if (newUpperBound < 0)
        raiseError(ErrorNumber::SubscriptOutOfRange);
    records_.resize(static_cast<size_t>(newUpperBound));
}

void FrameStore::append(SnapshotRecord record)
{
    records_.push_back(std::move(record));
}

void FrameStore::removeAt(int index)
{
    if (index < 1 || index > upperBound())
        raiseError(ErrorNumber::SubscriptOutOfRange);
    records_.erase(records_.begin() + (index - 1));
}

int FrameStore::removeSavedByLogger()
{
    std::erase_if(records_, [](const SnapshotRecord& record) { return record.savedByLogger; });
    return upperBound();
}

void FrameStore::clear()
{
    records_.clear();
}

} // namespace didev
