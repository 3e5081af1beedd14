#include "common/HostStringArray.h"

#include "common/AutomationError.h"

#include <limits>

namespace didev {

namespace {

void checkBounds(int32_t lowerBound, int64_t count)
{
    if (count < 0 || int64_t{lowerBound} + count - 1 > std::numeric_limits<int32_t>::max())
        raiseError(ErrorNumber::SubscriptOutOfRange);
}

} // namespace

HostStringArray::HostStringArray(int32_t lowerBound, int64_t count)
    : lowerBound_(lowerBound)
{
    checkBounds(lowerBound, count);
    elements_.resize(static_cast<qsizetype>(count));
}

HostStringArray::HostStringArray(int32_t lowerBound, QStringList elements)
    : lowerBound_(lowerBound)
    , elements_(std::move(elements))
{
    checkBounds(lowerBound, elements_.size());
}

bool HostStringArray::contains(int64_t subscript) const noexcept
{
    return subscript >= lowerBound_ && subscript <= upperBound();
}

qsizetype HostStringArray::indexOf(int64_t subscript) const
{
    if (!contains(subscript))
        raiseError(ErrorNumber::SubscriptOutOfRange);
    return static_cast<qsizetype>(subscript - lowerBound_);
}

const QString& HostStringArray::at(int64_t subscript) const
{
    return elements_.at(indexOf(subscript));
}

void HostStringArray::set(int64_t subscript, const QString& value)
{
    elements_[indexOf(subscript)] = value;
}

} // namespace didev
